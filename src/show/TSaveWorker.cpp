#include "TSaveWorker.h"

#include "SettingsFile.h"

#include <filesystem>

TSaveWorker::TSaveWorker(TWriter writer, std::function<void(const TResult& result)> onWritten)
    : FWriter(std::move(writer)), FOnWritten(std::move(onWritten)), FThread([this] { Run(); }) {}

TSaveWorker::~TSaveWorker() {
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FWake.notify_one();
    FThread.join();
}

uint64_t TSaveWorker::Post(TJob job) {
    uint64_t number = 0;
    {
        std::lock_guard lock(FMutex);
        number = ++FPosted;
        if (!FPending.empty() && FPending.back().second.Path == job.Path)
            FPending.back() = {number, std::move(job)};
        else
            FPending.emplace_back(number, std::move(job));
    }
    FWake.notify_one();
    return number;
}

TSaveWorker::TResult TSaveWorker::WaitFor(uint64_t number) {
    std::unique_lock lock(FMutex);
    FWritten.wait(lock, [&] { return FDone >= number; });
    return FLast;
}

void TSaveWorker::Run() {
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return !FPending.empty() || FStopping; });
        if (FPending.empty())
            return;
        auto [number, job] = std::move(FPending.front());
        FPending.pop_front();
        lock.unlock();
        TResult result = Write(number, std::move(job));
        if (FOnWritten)
            FOnWritten(result);
        lock.lock();
        FDone = number;
        FLast = std::move(result);
        FWritten.notify_all();
    }
}

// An unreadable file gets its copy before anything replaces it.
TSaveWorker::TResult TSaveWorker::Write(uint64_t number, TJob job) const {
    TResult result{number, std::move(job), false, {}};
    const TJob& j = result.Job;
    std::error_code ec;
    if (!j.UnkeptFile.empty() && std::filesystem::exists(j.UnkeptFile, ec)) {
        std::string kept;
        if (!KeepCopy(j.UnkeptFile, j.UnkeptFolder, kept, result.Failure)) {
            result.Failure = "the unreadable settings file " + j.UnkeptFile +
                             " could not be kept: " + result.Failure;
            return result;
        }
    }
    result.Ok = FWriter(j.Path, j.Text, result.Failure);
    return result;
}
