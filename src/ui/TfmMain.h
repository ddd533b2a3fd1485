#pragma once

#include "TAudioLibrary.h"
#include "TProduction.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>

class QAction;
class TAudioEngine;

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

    void CueStateChanged(const std::string& uid);
    void CurrentCueChanged(int32_t oldNumber, int32_t newNumber);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void InitAudioDevices();
    void CueEnded(const std::string& uid, HSTREAM stream, bool failed);
    static void CueEndSync(HSYNC sync, HSTREAM stream, uint32_t data, void* user);

    bool FFormShown = false;
    // Outlives Production: the cues free their streams when released.
    std::unique_ptr<TAudioEngine> FAudio;
};
