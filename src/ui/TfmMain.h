#pragma once

#include "TAppInstances.h"
#include "TAudioLibrary.h"
#include "TCueSettings.h"
#include "TImageList.h"
#include "TMainActions.h"
#include "TMainActionsHost.h"
#include "TMessageStrip.h"
#include "TOpenFileRequest.h"
#include "TProduction.h"
#include "TShowClock.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QToolBar;
class TAudioEngine;
class TCueCommand;
class TCueGrid;
class TCueUndoStack;
class TSettingsLocation;
class TShowControl;
class TShowDocument;
class TShowKeeper;
class TCollectShow;
class TProblemReporter;
class TRunningPanel;
class QSplitter;
class TFindMissingFiles;
class TLevelControls;
class TStageZoom;
class TShowFiles;
class TShowKeys;
class TTrayIcon;

// The main window. Owns the production; every member runs on the UI thread.
class TfmMain : public QMainWindow, private TMainActionsHost {
    Q_OBJECT

public:
    // audio: the engine the cues play through, owned from here on (start-up builds it on the
    // sound server; tests hand in one on the offline output). appInstances: the single-instance
    // component that passed the start-up check, if any.
    explicit TfmMain(std::unique_ptr<TAudioEngine> audio,
                     std::unique_ptr<TAppInstances> appInstances = nullptr,
                     QWidget* parent = nullptr);
    ~TfmMain() override;

    std::string AppDir;
    // Trelmo.chm beside the executable, or the installed manual when there is none.
    std::string FHelpFile;
    std::unique_ptr<TProduction> Production;
    std::unique_ptr<TAppInstances> AppInstances1;

    const TImageList ImageList1;
    // The window's commands; the toolbar and the tray menu share them.
    TMainActions* ActionList1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    TCueGrid* grSounds = nullptr;
    // Above the grid: the problems that arose while the show runs.
    TMessageStrip* MessageStrip = nullptr;
    // Tells the operator what went wrong: in MessageStrip, or in a box.
    TProblemReporter* Problems = nullptr;
    // Settings.xml, the show files and the title; exists from creation until destruction.
    TShowDocument* Document = nullptr;
    TTrayIcon* TrayIcon = nullptr;
    // New, Open, Save Show As and the recent shows; exists from the end of the constructor.
    TShowFiles* ShowFiles = nullptr;
    TFindMissingFiles* FindMissingFiles = nullptr;
    TCollectShow* CollectShow = nullptr;
    // Every change of the cue list, to be taken back and made again.
    TCueUndoStack* UndoStack = nullptr;
    // The master level and the volume scale (kept in the show's settings), and the live level
    // and its Keep for the running cues.
    TLevelControls* Levels = nullptr;
    // The text size for the stage, one for the grid and the running cues; kept with the window.
    TStageZoom* Zoom = nullptr;
    // Beside the grid: GO, the standby cue and the cues that run; exists from the end of the
    // constructor. actRunningCues, its toggle, is in the show menu.
    TRunningPanel* RunningPanel = nullptr;
    QAction* actRunningCues = nullptr;

    // Asks the operator for audio files; none when cancelled. Tests answer it themselves.
    std::function<QStringList(const TOpenFileRequest& request)> OpenFileDialog;
    // Shows an error in a box captioned "Trelmo" once the current event has been handled.
    std::function<void(const QString& text)> ErrorBox;
    // Reads and writes Settings.xml; exists from creation until destruction.
    std::unique_ptr<TShowKeeper> Keeper;
    // Asks where to save the show instead of its Settings.xml; empty when cancelled. Tests
    // answer it themselves.
    std::function<QString(const QString& current)> SaveFileDialog;
    // Asks a question of the operator (close while cues play, leave a show); true for yes.
    // Tests answer it themselves.
    std::function<bool(const QString& question)> ConfirmClose;

    // A problem that arose while the show runs (kind: what it is about, e.g. "save"), shown in
    // the message strip and on standard error with no box, so that the keys keep working; an
    // empty text: the problem is gone. With `retry`, the strip offers a Retry button.
    void SetProblem(const QString& kind, const QString& text, std::function<void()> retry = {});

    void RefreshGrid() override;
    void RefreshRow(int32_t row);
    void RefreshRowState(int32_t row);
    void UpdateActions();
    // Repaints the row of that very cue; UIDs may repeat.
    void CueStateChanged(const TCue& cue);
    // Sends the cue's state changes to CueStateChanged.
    void BindCueStateChange(TCue& cue) override;
    void ShowChangedList(int32_t row) override;
    // Closes at the end of the session: without asking, whatever plays.
    void EndSession();
    void CurrentCueChanged(int32_t oldNumber, int32_t newNumber);
    void AppInstances1CmdLineReceived(const std::vector<std::string>& CmdLine);
    // The running of the show; exists from the end of the constructor until the destructor.
    TShowControl& Show() override { return *FShow; }
    // Whether the window has been shown once.
    bool FormShown() const { return FFormShown; }

    void actRestoreExecute();
    void actExitExecute();

    // The first show runs FormShow before the window is created, so that the saved position is
    // taken as the frame's: once the window exists, Qt would put its inside there while the
    // frame is not known yet, and the window would creep up by its title bar every run.
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TCueList& Cues() override;
    TCueNumber CurrentRow() const override;
    QStringList AskForAudioFiles(const TOpenFileRequest& request) override;
    TCueUndoStack& History() override;
    // Records a change of the cue list that has just been made.
    void PushCommand(std::unique_ptr<TCueCommand> command);
    std::string HelpFile() const override;

    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void LoadSettings(const TSettingsLocation& settings);
    void SaveSettings();
    bool CloseAllowed();
    void InitAudioDevices();

    void CreateActions();
    void CreateGrid();
    void CreateStageControls();
    // The levels and the text size of the settings just loaded.
    void ApplyStageSettings();
    void CreateRunningPanel();
    void grSoundsSelectCell(int32_t row);
    void grSoundsRowMoved(int32_t from, int32_t to);
    void grSoundsDblClickCell(int32_t row, int col);
    void grSoundsFilesDropped(int32_t row, const QStringList& files);
    void ShowOutputs();
    void grSoundsCueEdited(TCue& cue, const TCueSettings& before);

    void ConnectAppInstances(std::unique_ptr<TAppInstances> appInstances);
    void ReceiveCmdLine(const std::vector<std::string>& CmdLine);
    void RunHeldCmdLines();
    // GO or a selection made cue `number` the standby cue: its row becomes current, in view.
    void ShowStandby(int32_t number);

    TShowKeys* ShowKeys = nullptr;
    // The grid and the running cues, side by side.
    QSplitter* FSplitter = nullptr;
    TShowClock FClock;
    std::unique_ptr<TShowControl> FShow;
    bool FFormShown = false;
    // Argument lists that arrived before FormCreate had finished, run right after it.
    std::vector<std::vector<std::string>> FHeldCmdLines;
    bool FFormCreated = false;
    // Outlives Production: the cues free their streams when released.
    std::unique_ptr<TAudioEngine> FAudio;
    bool FSessionEnding = false;
};
