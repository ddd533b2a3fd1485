#pragma once

#include "TImageList.h"
#include "TOpenFileRequest.h"
#include "TProduction.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QToolBar;
class TCueGrid;
class TMainActions;

// The main window. Owns the production; every member runs on the UI thread.
class TfmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    std::string AppDir;
    std::string FHelpFile;
    std::unique_ptr<TProduction> Production;

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

    // Asks the operator for an audio file; nothing when cancelled. Tests answer it themselves.
    std::function<std::optional<QString>(const TOpenFileRequest& request)> OpenFileDialog;
    // Shows an error in a box captioned "Trelmo" once the current event has been handled.
    std::function<void(const QString& text)> ErrorBox;

    void RefreshGrid();
    void RefreshRow(int32_t row);
    void RefreshRowState(int32_t row);
    void UpdateActions();
    void CueStateChanged(const std::string& uid);
    void CurrentCueChanged(int32_t oldNumber, int32_t newNumber);

    void actRestoreExecute();
    void actExitExecute();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();

    void CreateGrid();
    void ShowErrorBox(const QString& text);
    void grSoundsSelectCell(int32_t row);
    void grSoundsRowMoved(int32_t from, int32_t to);
    void grSoundsDblClickCell(int32_t row, int col);

    TMainActions* ActionList1 = nullptr;
    bool FFormShown = false;
};
