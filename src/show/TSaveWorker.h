#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

// Writes the settings document and the show file on a thread of its own, so that the window's
// thread never waits on the disk. Saves are written in the order they are posted; a newer save
// of a file replaces the last one waiting, when that is of the same file, so the last one wins.
// Post and WaitFor: the window's thread; the writer and OnWritten run on the worker thread.
class TSaveWorker {
public:
    struct TJob {
        std::string Path;
        std::string Text;
        // An unreadable file at Path that is to be kept as a copy (in UnkeptFolder, beside it
        // when empty) before it is replaced; empty when there is none.
        std::string UnkeptFile;
        std::string UnkeptFolder;
    };
    struct TResult {
        uint64_t Number = 0;
        TJob Job;
        bool Ok = false;
        std::string Failure;
    };
    // Replaces the file at `path` with `bytes`; false with the reason in `failure`.
    using TWriter = std::function<bool(const std::string& path, const std::string& bytes,
                                       std::string& failure)>;

    TSaveWorker(TWriter writer, std::function<void(const TResult& result)> onWritten);
    // Writes what is still pending, then stops.
    ~TSaveWorker();
    TSaveWorker(const TSaveWorker&) = delete;
    TSaveWorker& operator=(const TSaveWorker&) = delete;

    // Hands a save to the worker and returns at once with its number, counted from 1.
    uint64_t Post(TJob job);
    // Waits until save `number` (or a later one that replaced it) has been written; its result.
    TResult WaitFor(uint64_t number);

private:
    void Run();
    TResult Write(uint64_t number, TJob job) const;

    const TWriter FWriter;
    const std::function<void(const TResult& result)> FOnWritten;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FWritten;
    // Waiting saves with their numbers, oldest first.
    std::deque<std::pair<uint64_t, TJob>> FPending;
    uint64_t FPosted = 0;
    uint64_t FDone = 0;
    TResult FLast;
    bool FStopping = false;
    std::thread FThread;
};
