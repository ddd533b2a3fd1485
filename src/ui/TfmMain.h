#pragma once

#include "TAppInstances.h"
#include "TAudioLibrary.h"
#include "TCommandList.h"
#include "TImageList.h"
#include "TMainActionsHost.h"
#include "TOpenFileRequest.h"
#include "TProduction.h"

#include <QMainWindow>
#include <QMessageBox>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QToolBar;
class TAudioEngine;
class TCueGrid;
class TMainActions;
class TSettingsLocation;
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
    // Created once by ActionList1; the toolbar and the tray menu share them.
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
    QToolBar* ToolBar1 = nullptr;
    TCueGrid* grSounds = nullptr;
    TTrayIcon* TrayIcon = nullptr;

    // Asks the operator for an audio file; nothing when cancelled. Tests answer it themselves.
    std::function<std::optional<QString>(const TOpenFileRequest& request)> OpenFileDialog;
    // Shows an error in a box captioned "Trelmo" once the current event has been handled.
    std::function<void(const QString& text)> ErrorBox;

    void RefreshGrid() override;
    void RefreshRow(int32_t row);
    void RefreshRowState(int32_t row);
    void UpdateActions();
    // Repaints the row of that very cue; UIDs may repeat.
    void CueStateChanged(const TCue& cue);
    // Sends the cue's state changes to CueStateChanged.
    void BindCueStateChange(TCue& cue) override;
    void CurrentCueChanged(int32_t oldNumber, int32_t newNumber);
    void AppInstances1CmdLineReceived(const std::vector<std::string>& CmdLine);
    int32_t ParseCommandLine(const std::vector<std::string>& CmdLine);

    void actRestoreExecute();
    void actExitExecute();

    // GO: plays the current cue and makes the next one current (the last one stays current).
    void Go();
    // Silences everything at once.
    void Panic();
    // Makes cue `number` current, as a click in its row does; a number beyond the list changes
    // nothing.
    void SelectCue(int32_t number);

    // The first show runs FormShow before the window is created, so that the saved position is
    // taken as the frame's: once the window exists, Qt would put its inside there while the
    // frame is not known yet, and the window would creep up by its title bar every run.
    void setVisible(bool visible) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TCueList& Cues() override;
    int32_t CurrentRow() const override;
    std::optional<QString> AskForAudioFile(const TOpenFileRequest& request) override;
    std::string HelpFile() const override;

    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void LoadSettings(const TSettingsLocation& settings);
    void SaveSettings();
    void InitAudioDevices();
    void ShowError(const std::string& text);
    void ShowMessage(const std::string& text);
    void ShowBox(QMessageBox::Icon icon, const std::string& text);

    void CreateActions();
    void CreateGrid();
    void ShowErrorBox(const QString& text);
    void grSoundsSelectCell(int32_t row);
    void grSoundsRowMoved(int32_t from, int32_t to);
    void grSoundsDblClickCell(int32_t row, int col);
    void grSoundsFilesDropped(int32_t row, const QStringList& files);
    void ShowOutputs();

    void ConnectAppInstances(std::unique_ptr<TAppInstances> appInstances);
    void ReceiveCmdLine(const std::vector<std::string>& CmdLine);
    void RunHeldCmdLines();

    void CueEnded(const std::string& uid, HSTREAM stream, bool failed);
    static void CueEndSync(HSYNC sync, HSTREAM stream, uint32_t data, void* user);

    TMainActions* ActionList1 = nullptr;
    bool FFormShown = false;
    std::unique_ptr<TCommandList> FCommands;
    // Argument lists that arrived before FormCreate had finished, run right after it.
    std::vector<std::vector<std::string>> FHeldCmdLines;
    bool FFormCreated = false;
    // Outlives Production: the cues free their streams when released.
    std::unique_ptr<TAudioEngine> FAudio;
};
