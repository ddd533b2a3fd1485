#include "TShowKeeper.h"

#include "EXMLParseError.h"
#include "SettingsFile.h"
#include "SettingsMessages.h"
#include "TProduction.h"
#include "TSettingsLocation.h"

#include <filesystem>
#include <utility>

namespace fs = std::filesystem;

TShowKeeper::TShowKeeper(TProduction& production, TSaveWorker::TWriter writer, QObject* parent)
    : QObject(parent), FProduction(production), FAutoSave([this] { AutoSave(); }, AutoSaveWait) {
    FWorker = std::make_unique<TSaveWorker>(
        std::move(writer), [this](const TSaveWorker::TResult& result) {
            QMetaObject::invokeMethod(
                this, [this, result] { Written(result); }, Qt::QueuedConnection);
        });
}

TShowKeeper::TShowKeeper(TProduction& production, QObject* parent)
    : TShowKeeper(production, WriteFileAtomically, parent) {}

TShowKeeper::~TShowKeeper() = default;

// A file that cannot be read is reported; start-up goes on with the defaults.
void TShowKeeper::Open(const TSettingsLocation& location) {
    FProduction.FileName = location.FileName;
    TakeDocument(location.FileName);
    ReportDanglingLink(location.FileName);
    try {
        location.Load(FProduction);
    } catch (const EXMLParseError& error) {
        if (OnStartUpProblem)
            OnStartUpProblem(LoadErrorText(error));
    }
    FSavedText = FProduction.SaveToText();
    ReopenShow();
}

const std::string& TShowKeeper::ShowPath() const {
    return FProduction.Shows.Open.empty() ? FProduction.FileName : FProduction.Shows.Open;
}

bool TShowKeeper::OpenShow(const std::string& path, std::string& failure) {
    const std::string file = fs::absolute(path).lexically_normal().string();
    if (file == FProduction.Shows.Open)
        return true;
    SavePendingChange();
    if (!TakeShowFile(file, failure))
        return false;
    PostSettings();
    return true;
}

// Settings.xml names the show already. One that cannot be opened is told; the show then starts
// empty in Settings.xml.
void TShowKeeper::ReopenShow() {
    const std::string path = std::exchange(FProduction.Shows.Open, {});
    std::string failure;
    if (!path.empty() && !TakeShowFile(path, failure) && OnStartUpProblem)
        OnStartUpProblem(failure);
}

bool TShowKeeper::TakeShowFile(const std::string& file, std::string& failure) {
    std::unique_ptr<TShowLock> lock = TakeShow(file, failure);
    if (!lock)
        return false;
    try {
        if (!FProduction.LoadShowFromFile(file)) {
            failure = ShowOpenErrorText(file, "the file does not exist");
            return false;
        }
    } catch (const EXMLParseError& error) {
        failure = ShowOpenErrorText(file, error.what());
        return false;
    }
    FShowLock = std::move(lock);
    FProduction.Shows.Open = file;
    FProduction.Shows.Remember(file);
    FSavedText = DocumentText();
    return true;
}

bool TShowKeeper::SaveShowAs(const std::string& path, std::string& failure) {
    const std::string file = fs::absolute(path).lexically_normal().string();
    if (file != FProduction.Shows.Open) {
        std::unique_ptr<TShowLock> lock = TakeShow(file, failure);
        if (!lock)
            return false;
        SavePendingChange();
        FShowLock = std::move(lock);
        FProduction.Shows.Open = file;
        FProduction.Shows.Remember(file);
        PostSettings();
    }
    SaveNow();
    return true;
}

void TShowKeeper::NewShow() {
    SavePendingChange();
    FShowLock.reset();
    FProduction.Shows.Open.clear();
    FProduction.Cues.Clear();
    if (FWrites)
        Post(CurrentText());
}

std::unique_ptr<TShowLock> TShowKeeper::TakeShow(const std::string& path,
                                                 std::string& failure) const {
    if (path == FProduction.FileName) {
        failure = ShowOpenErrorText(path, "it is the settings file of this Trelmo");
        return nullptr;
    }
    auto lock = std::make_unique<TShowLock>(path);
    if (lock->State() != TShowLock::TState::Taken)
        return lock;
    failure = ShowInUseText(path, lock->Holder());
    return nullptr;
}

void TShowKeeper::PostSettings() {
    if (!FWrites)
        return;
    if (OnCaptureFormState)
        OnCaptureFormState();
    FWorker->Post(Job(FProduction.FileName, FProduction.SaveToText()));
}

void TShowKeeper::SavePendingChange() {
    if (!FAutoSave.Pending())
        return;
    FAutoSave.Cancel();
    AutoSave();
}

std::string TShowKeeper::DocumentText() const {
    const std::string& show = FProduction.Shows.Open;
    return show.empty() ? FProduction.SaveToText() : FProduction.ShowText(show);
}

// Another Trelmo that holds the document keeps it, and this one says so for as long as it
// runs. Where no lock can be made, saves are still tried: one that fails there says so.
void TShowKeeper::TakeDocument(const std::string& path) {
    FLock = std::make_unique<TShowLock>(path);
    if (FLock->State() == TShowLock::TState::Taken) {
        FWrites = false;
        const std::string text = ShowTakenText(path, FLock->Holder());
        if (OnStartUpProblem)
            OnStartUpProblem(text);
        if (OnSaveProblem)
            OnSaveProblem(text);
        return;
    }
    if (FLock->State() == TShowLock::TState::Held)
        RemoveStaleTemporaries(path);
}

void TShowKeeper::ReportDanglingLink(const std::string& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec) && !fs::exists(path, ec) && OnStartUpProblem)
        OnStartUpProblem(DanglingLinkText(path, LinkTarget(path)));
}

void TShowKeeper::Changed() {
    if (FWrites)
        FAutoSave.Changed();
}

void TShowKeeper::AutoSave() {
    std::string text = CurrentText();
    if (text != (Writing() ? FPostedText : FSavedText))
        Post(std::move(text));
}

void TShowKeeper::SaveNow() {
    FAutoSave.Cancel();
    if (FWrites)
        Post(CurrentText());
    if (FSideFailed && !FProduction.Shows.Open.empty())
        PostSettings();
}

bool TShowKeeper::SaveTo(const std::string& path, std::string& failure) {
    if (!FProduction.Shows.Open.empty())
        return SaveShowAs(path, failure);
    auto lock = std::make_unique<TShowLock>(path);
    if (lock->State() == TShowLock::TState::Taken) {
        failure = ShowTakenText(path, lock->Holder());
        return false;
    }
    FLock = std::move(lock);
    FWrites = true;
    FProduction.FileName = path;
    SaveNow();
    return true;
}

bool TShowKeeper::SaveAtClose(std::string& failure) {
    FAutoSave.Cancel();
    if (!FWrites)
        return true;
    Post(CurrentText());
    const TSaveWorker::TResult result = FWorker->WaitFor(FPostedNumber);
    Account(result);
    failure = result.Failure;
    if (!result.Ok || FProduction.Shows.Open.empty())
        return result.Ok;
    const TSaveWorker::TResult settings =
        FWorker->WaitFor(FWorker->Post(Job(FProduction.FileName, FProduction.SaveToText())));
    failure = settings.Failure;
    return settings.Ok;
}

std::string TShowKeeper::CurrentText() {
    if (OnCaptureFormState)
        OnCaptureFormState();
    return DocumentText();
}

void TShowKeeper::Post(std::string text) {
    FPostedText = text;
    FPostedNumber = FWorker->Post(Job(ShowPath(), std::move(text)));
}

// An unreadable file that the save replaces is kept first.
TSaveWorker::TJob TShowKeeper::Job(const std::string& path, std::string text) const {
    const bool keepFirst = FProduction.UnkeptFile() == path;
    return {path, std::move(text), keepFirst ? path : std::string(),
            keepFirst ? FProduction.UnkeptFolder() : std::string()};
}

// Results come in the order of the saves; one that was overtaken by a newer save changes no
// problem shown, the newest one decides.
void TShowKeeper::Written(const TSaveWorker::TResult& result) {
    if (!Account(result))
        return;
    if (result.Job.Path != ShowPath()) {
        SideWritten(result);
        return;
    }
    if (result.Number != FPostedNumber || (result.Ok && !FFailed))
        return;
    FFailed = !result.Ok;
    if (OnSaveProblem)
        OnSaveProblem(FFailed ? AutoSaveErrorText(result.Job.Path, result.Failure) : std::string());
}

// Settings.xml while a show file is open, or the show file left: a failure is told like one of
// the show's, and the next save of Settings.xml (a change of show, Retry, the close) tries again.
void TShowKeeper::SideWritten(const TSaveWorker::TResult& result) {
    if (result.Ok == !FSideFailed)
        return;
    FSideFailed = !result.Ok;
    if (OnSaveProblem && !FFailed)
        OnSaveProblem(FSideFailed ? AutoSaveErrorText(result.Job.Path, result.Failure)
                                  : std::string());
}

// False for a result that has been accounted for already.
bool TShowKeeper::Account(const TSaveWorker::TResult& result) {
    if (result.Number <= FWrittenNumber)
        return false;
    FWrittenNumber = result.Number;
    if (result.Ok && result.Job.Path == ShowPath()) {
        FSavedText = result.Job.Text;
        if (!result.Job.UnkeptFile.empty() && FProduction.UnkeptFile() == result.Job.UnkeptFile)
            FProduction.UnkeptFileKept();
    }
    return true;
}
