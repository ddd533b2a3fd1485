#pragma once

#include "TProduction.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>

class QAction;

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
    void LoadSettings();
    void SaveSettings();
    void ShowError(const std::string& text);

    bool FFormShown = false;
};
