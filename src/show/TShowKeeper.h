#pragma once

#include "TAutoSave.h"
#include "TSaveWorker.h"
#include "TShowLock.h"

#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TProduction;
class TSettingsLocation;

// Keeps the show on disk: reads Settings.xml at start-up, saves as you go a second after a
// change and saves at close. The document's text is made on the window's thread; writing,
// syncing and renaming happen on a worker (TSaveWorker), whose result comes back to the
// window's thread by a queued call. Only the process that holds the document's lock writes it.
// Window's thread only.
class TShowKeeper : public QObject {
    Q_OBJECT

public:
    // Changes are written this long after the first of them, so a crash loses at most this much.
    static constexpr std::chrono::seconds AutoSaveWait{1};

    // writer: replaces a file (WriteFileAtomically; tests hand in others).
    explicit TShowKeeper(TProduction& production, TSaveWorker::TWriter writer,
                         QObject* parent = nullptr);
    explicit TShowKeeper(TProduction& production, QObject* parent = nullptr);
    // Waits for the saves handed to the worker.
    ~TShowKeeper() override;

    // Called before each save, to put the window's geometry into the production.
    std::function<void()> OnCaptureFormState;
    // Something that the operator must hear of at start-up.
    std::function<void(const std::string& text)> OnStartUpProblem;
    // A save as you go failed, or the document cannot be saved by this process (Writes() is
    // false), with the text to show; an empty text: saving works again.
    std::function<void(const std::string& text)> OnSaveProblem;

    // Start-up: takes the document for this process, removes what interrupted saves left, reads
    // it into the production; what goes wrong goes to OnStartUpProblem.
    void Open(const TSettingsLocation& location);
    // Something that is saved has changed: saved as you go after AutoSaveWait.
    void Changed();
    // Saves now whatever was saved last (Retry).
    void SaveNow();
    // Saves from now on to `path`, which the operator chose (the document's drive is gone, its
    // folder cannot be written to), and saves there at once. False with the reason when another
    // Trelmo holds `path`.
    bool SaveTo(const std::string& path, std::string& failure);
    // The save at close: waits for the worker and writes the document even when unchanged;
    // false with the reason when it failed, which the caller tells (not OnSaveProblem). True
    // without writing when another process holds it.
    bool SaveAtClose(std::string& failure);

    // False when another running Trelmo writes the document: this one never saves it.
    bool Writes() const { return FWrites; }
    bool SavePending() const { return FAutoSave.Pending(); }
    // How many saves have been handed to the worker.
    uint64_t SavesPosted() const { return FPostedNumber; }
    // A save as you go has failed and no later one has succeeded.
    bool SaveFailed() const { return FFailed; }

private:
    void TakeDocument(const std::string& path);
    void ReportDanglingLink(const std::string& path);
    void AutoSave();
    std::string CurrentText();
    void Post(std::string text);
    void Written(const TSaveWorker::TResult& result);
    bool Account(const TSaveWorker::TResult& result);
    // Whether a save handed to the worker has not come back yet.
    bool Writing() const { return FPostedNumber > FWrittenNumber; }

    TProduction& FProduction;
    TAutoSave FAutoSave;
    std::unique_ptr<TShowLock> FLock;
    bool FWrites = true;
    // The document as last read or written, and as last handed to the worker: a save that
    // would change nothing is left out.
    std::string FSavedText;
    std::string FPostedText;
    uint64_t FPostedNumber = 0;
    uint64_t FWrittenNumber = 0;
    bool FFailed = false;
    // Last, so that it stops before the rest goes.
    std::unique_ptr<TSaveWorker> FWorker;
};
