#pragma once

#include "TMainActionsHost.h"
#include "TOpenFileRequest.h"

#include <QObject>
#include <QStringList>

class QAction;
class QMenu;
class QToolBar;
class QWidget;
class TCue;
class TImageList;

// ActionList1: creates the main window's commands once, with caption and picture, runs
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
    QAction* actAddFiles = nullptr;
    QAction* actDeleteCue = nullptr;
    QAction* actUndo = nullptr;
    QAction* actRedo = nullptr;
    QAction* actSelectAudioFile = nullptr;
    QAction* actHelp = nullptr;
    QAction* actRestore = nullptr;
    QAction* actExit = nullptr;
    // The show menu: New Show, Open Show, the recent shows, Save Show As (TShowFiles runs them),
    // Save Show As with Media (TCollectShow),
    // Find Missing Files (TFindMissingFiles).
    QAction* actNewShow = nullptr;
    QAction* actOpenShow = nullptr;
    QAction* actSaveShowAs = nullptr;
    QAction* actCollectShow = nullptr;
    QAction* actFindMissingFiles = nullptr;
    QMenu* ShowMenu = nullptr;
    QMenu* RecentShowsMenu = nullptr;

    // ToolBar1: Show menu | Stop All | Play, Pause, Stop | Insert, Add Files, Delete | Undo, Redo
    // | Help, text beside icon; the show menu, Add Files, Undo and Redo show their pictures only,
    // so that every button fits in the narrowest window.
    QToolBar* CreateToolBar();
    void UpdateActions();

    void actPlayExecute();
    void actPauseExecute();
    void actStopExecute();
    void actStopAllExecute();
    void actInsertCueExecute();
    void actAddFilesExecute();
    void actDeleteCueExecute();
    void actUndoExecute();
    void actRedoExecute();
    void actSelectAudioFileExecute();
    void actHelpExecute();

    // The platform's open-file dialog, modal over the window; no file when cancelled.
    static QStringList ShowOpenFileDialog(QWidget* parent, const TOpenFileRequest& request);

private:
    QAction* CreateAction(const char* caption, int picture, void (TMainActions::*handler)());
    void CreateShowMenu();
    // The current row's cue while it plays or is paused, otherwise the cue started last.
    TCue* PauseStopTarget() const;
    QStringList ChooseFiles(const TOpenFileRequest& request);
    void ShowWhereTheHelpIs(const QString& file);

    QWidget& FWindow;
    const TImageList& FImages;
    TMainActionsHost& FHost;
    // Where Add Files starts: the folder of the last file chosen in any file dialog.
    QString FLastFolder;
};
