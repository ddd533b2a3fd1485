#pragma once

#include "TFileSearch.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QProgressDialog;
class QTimer;
class QWidget;
class TCueList;
class TCueUndoStack;

// Find Missing Files: asks for a folder, searches it in the background with a progress window
// that can cancel and does not take the keys from the window, then relinks every cue whose
// missing file was found there in one undoable step. UI thread only.
class TFindMissingFiles : public QObject {
    Q_OBJECT

public:
    // Everything handed in outlives this object. `tell`: the result, or why nothing was done;
    // `changed`: cues were relinked.
    TFindMissingFiles(QWidget& window, TCueList& cues, TCueUndoStack& history,
                      std::function<void(const QString& text)> tell, std::function<void()> changed);
    ~TFindMissingFiles() override;

    // Asks for the folder to search; empty when cancelled. Tests answer it.
    std::function<QString()> ChooseFolder;

    void Run();
    bool Searching() const { return FSearch != nullptr; }
    void Cancel();

private:
    void Start(const QString& folder);
    void ShowProgress();
    void Finish();

    QWidget& FWindow;
    TCueList& FCues;
    TCueUndoStack& FHistory;
    const std::function<void(const QString& text)> FTell;
    const std::function<void()> FChanged;
    std::unique_ptr<TFileSearch> FSearch;
    QProgressDialog* FProgress = nullptr;
    QTimer* FPoll = nullptr;
};
