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
// change and saves at close. The show lives in Settings.xml, or in a show file that the
// operator opened (TProduction::Shows), which is then the file saved as you go; Settings.xml
// names it and is written when another show is opened and at close. The document's text is made on
// the window's thread; writing, syncing and renaming happen on a worker (TSaveWorker), whose result
// comes back to the window's thread by a queued call. Only the process that holds the document's
// lock writes it. Window's thread only.
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
    // it into the production, and reopens the show file it names; what goes wrong goes to
    // OnStartUpProblem.
    void Open(const TSettingsLocation& location);
    // The show file at `path` replaces the show (the caller has stopped its cues and forgotten
    // what referred to them), is saved as you go from now on, and Settings.xml names it. What
    // was changed in the show before is saved first. False with the reason and nothing changed
    // when the file cannot be read or another Trelmo has it open.
    bool OpenShow(const std::string& path, std::string& failure);
    // Saves the show to the show file `path` and keeps it there from now on; false with the
    // reason when another Trelmo has that file open.
    bool SaveShowAs(const std::string& path, std::string& failure);
    // An empty show that lives in Settings.xml; the show file before is saved first and closed.
    void NewShow();
    // The file that the show is saved to: the show file open, else Settings.xml.
    const std::string& ShowPath() const;
    // Something that is saved has changed: saved as you go after AutoSaveWait.
    void Changed();
    // Saves now whatever was saved last (Retry), and Settings.xml when its last save failed.
    void SaveNow();
    // Saves from now on to `path`, which the operator chose (the document's drive is gone, its
    // folder cannot be written to), and saves there at once: the show file when one is open.
    // False with the reason when another Trelmo holds `path`.
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
    void ReopenShow();
    // Hands a change that waits for its save to the worker now.
    void SavePendingChange();
    // Takes the show file at `path` for this process; null with the reason when another has it.
    std::unique_ptr<TShowLock> TakeShow(const std::string& path, std::string& failure) const;
    // Reads the show file at `file` into the production and keeps it from now on; false with
    // the reason and nothing changed when it cannot be read or another Trelmo has it.
    bool TakeShowFile(const std::string& file, std::string& failure);
    // Settings.xml with its show history, while a show file is open.
    void PostSettings();
    std::string DocumentText() const;
    void ReportDanglingLink(const std::string& path);
    void AutoSave();
    std::string CurrentText();
    void Post(std::string text);
    TSaveWorker::TJob Job(const std::string& path, std::string text) const;
    void Written(const TSaveWorker::TResult& result);
    bool Account(const TSaveWorker::TResult& result);
    void SideWritten(const TSaveWorker::TResult& result);
    // Whether a save handed to the worker has not come back yet.
    bool Writing() const { return FPostedNumber > FWrittenNumber; }

    TProduction& FProduction;
    TAutoSave FAutoSave;
    std::unique_ptr<TShowLock> FLock;
    // The open show file's.
    std::unique_ptr<TShowLock> FShowLock;
    bool FWrites = true;
    // The document as last read or written, and as last handed to the worker: a save that
    // would change nothing is left out.
    std::string FSavedText;
    std::string FPostedText;
    uint64_t FPostedNumber = 0;
    uint64_t FWrittenNumber = 0;
    bool FFailed = false;
    // The last save of another file than the show's (Settings.xml while a show file is open)
    // failed.
    bool FSideFailed = false;
    // Last, so that it stops before the rest goes.
    std::unique_ptr<TSaveWorker> FWorker;
};
