#pragma once

#include "TOpenFileRequest.h"

#include <QObject>
#include <QStringList>

class QAction;
class QToolBar;
class TCue;
class TfmMain;

// ActionList1: creates the main window's commands once, with caption and picture, into the
// window's act... members, runs their handlers and decides in UpdateActions which are enabled.
// UI thread only.
class TMainActions : public QObject {
    Q_OBJECT

public:
    explicit TMainActions(TfmMain& form);

    // ToolBar1: Stop All | Play, Pause, Stop | Insert, Add Files, Delete | Undo, Redo | Help,
    // text beside icon; Add Files, Undo and Redo show their pictures only, so that every button
    // fits in the narrowest window.
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
    TCue* CueOfCurrentRow() const;
    QStringList ChooseFiles(const TOpenFileRequest& request);

    TfmMain& FForm;
    // Where Add Files starts: the folder of the last file chosen in any file dialog.
    QString FLastFolder;
};
