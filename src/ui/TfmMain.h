#pragma once

#include "TAppInstances.h"
#include "TAudioLibrary.h"
#include "TCommandList.h"
#include "TProduction.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class TTrayIcon;
class TAudioEngine;

// The main window. Owns the production; every member runs on the UI thread.
class TfmMain : public QMainWindow {
    Q_OBJECT

public:
    // appInstances: the single-instance component that passed the start-up check, if any.
    explicit TfmMain(std::unique_ptr<TAppInstances> appInstances = nullptr,
                     QWidget* parent = nullptr);
    ~TfmMain() override;

    std::string AppDir;
    std::string FHelpFile;
    std::unique_ptr<TProduction> Production;
    std::unique_ptr<TAppInstances> AppInstances1;

    QAction* actHelp = nullptr;
    QAction* actRestore = nullptr;
    QAction* actExit = nullptr;
    TTrayIcon* TrayIcon = nullptr;

    void CueStateChanged(const std::string& uid);
    void CurrentCueChanged(int32_t oldNumber, int32_t newNumber);
    void AppInstances1CmdLineReceived(const std::vector<std::string>& CmdLine);
    int32_t ParseCommandLine(const std::vector<std::string>& CmdLine);
    void actRestoreExecute();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateTrayActions();
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void LoadSettings();
    void SaveSettings();
    void ShowError(const std::string& text);

    void ConnectAppInstances(std::unique_ptr<TAppInstances> appInstances);
    void ReceiveCmdLine(const std::vector<std::string>& CmdLine);
    void RunHeldCmdLines();
    void InitAudioDevices();
    void CueEnded(const std::string& uid, HSTREAM stream, bool failed);
    static void CueEndSync(HSYNC sync, HSTREAM stream, uint32_t data, void* user);

    bool FFormShown = false;
    std::unique_ptr<TCommandList> FCommands;
    // Argument lists that arrived before FormCreate had finished, run right after it.
    std::vector<std::vector<std::string>> FHeldCmdLines;
    bool FFormCreated = false;
    // Outlives Production: the cues free their streams when released.
    std::unique_ptr<TAudioEngine> FAudio;
};
