#pragma once

#include "TShowCollector.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QProgressDialog;
class QTimer;
class QWidget;
class TCueUndoStack;
class TProduction;
class TShowKeeper;

// Save Show As with Media: copies every cue's audio file into the folder "media" beside the new
// show file, in the background with a progress window that can cancel, then points the cues at
// the copies (one undoable step) and saves the show there. A failed or cancelled copy leaves
// the show, its file and its cues as they were. UI thread only.
class TCollectShow : public QObject {
    Q_OBJECT

public:
    // Everything handed in outlives this object. `tell`: the result, or why nothing was done;
    // `changed`: the show was saved with its media.
    TCollectShow(QWidget& window, TShowKeeper& keeper, TProduction& production,
                 TCueUndoStack& history, std::function<void(const QString& text)> tell,
                 std::function<void()> changed);
    ~TCollectShow() override;

    // Asks where to save the show; empty when cancelled. Tests answer it.
    std::function<QString(const QString& suggested)> ChooseShowToSave;
    // Copies one file (TShowCollector::CopyFile; tests hand in others).
    TShowCollector::TCopier Copier = TShowCollector::CopyFile;

    void Run();
    bool Copying() const { return FCollector != nullptr; }
    void Cancel();

private:
    void Start(const std::string& path);
    void Poll();
    void Finish();
    void CloseProgress();

    QWidget& FWindow;
    TShowKeeper& FKeeper;
    TProduction& FProduction;
    TCueUndoStack& FHistory;
    const std::function<void(const QString& text)> FTell;
    const std::function<void()> FChanged;
    std::unique_ptr<TShowCollector> FCollector;
    std::vector<TShowCollector::TCopy> FCopies;
    std::string FPath;
    // The show file open when the copying began; another one open at its end is not saved.
    std::string FShowAtStart;
    QProgressDialog* FProgress = nullptr;
    QTimer* FPoll = nullptr;
};
