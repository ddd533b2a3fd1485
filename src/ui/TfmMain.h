#pragma once

#include "TProduction.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>

class QAction;
class TTrayIcon;

// The main window. Owns the production; every member runs on the UI thread.
class TfmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    std::string AppDir;
    std::string FHelpFile;
    std::unique_ptr<TProduction> Production;

    QAction* actHelp = nullptr;
    QAction* actRestore = nullptr;
    QAction* actExit = nullptr;
    TTrayIcon* TrayIcon = nullptr;

    void CueStateChanged(const std::string& uid);
    void CurrentCueChanged(int32_t oldNumber, int32_t newNumber);
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

    bool FFormShown = false;
};
