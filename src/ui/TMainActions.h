#pragma once

#include "TMainActionsHost.h"
#include "TOpenFileRequest.h"

#include <QObject>

#include <optional>

class QAction;
class QToolBar;
class QWidget;
class TCue;
class TImageList;

// ActionList1: creates the main window's ten commands once, with caption and picture, runs
// their handlers and decides in UpdateActions which are enabled. Restore and Exit are run by the
// window itself. UI thread only.
class TMainActions : public QObject {
    Q_OBJECT

public:
    // The actions and the toolbar are children of `window`; `host` is the window's side of the
    // commands. Both outlive the actions.
    TMainActions(QWidget& window, const TImageList& images, TMainActionsHost& host);

    QAction* actPlay = nullptr;
    QAction* actPause = nullptr;
    QAction* actStop = nullptr;
    QAction* actStopAll = nullptr;
    QAction* actInsertCue = nullptr;
    QAction* actDeleteCue = nullptr;
    QAction* actSelectAudioFile = nullptr;
    QAction* actHelp = nullptr;
    QAction* actRestore = nullptr;
    QAction* actExit = nullptr;

    // ToolBar1: Stop All | Play, Pause, Stop | Insert, Delete | Help, text beside icon.
    QToolBar* CreateToolBar();
    void UpdateActions();

    void actPlayExecute();
    void actPauseExecute();
    void actStopExecute();
    void actStopAllExecute();
    void actInsertCueExecute();
    void actDeleteCueExecute();
    void actSelectAudioFileExecute();
    void actHelpExecute();

    // The platform's open-file dialog, modal over the window; nothing when cancelled.
    static std::optional<QString> ShowOpenFileDialog(QWidget* parent,
                                                     const TOpenFileRequest& request);

private:
    QAction* CreateAction(const char* caption, int picture, void (TMainActions::*handler)());
    TCue* CueOfCurrentRow() const;

    QWidget& FWindow;
    const TImageList& FImages;
    TMainActionsHost& FHost;
};
