#pragma once

#include "TOpenFileRequest.h"

#include <QObject>

#include <optional>

class QAction;
class QToolBar;
class TCue;
class TfmMain;

// ActionList1: creates the main window's ten commands once, with caption and picture, into the
// window's act... members, runs their handlers and decides in UpdateActions which are enabled.
// UI thread only.
class TMainActions : public QObject {
    Q_OBJECT

public:
    explicit TMainActions(TfmMain& form);

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

    TfmMain& FForm;
};
