#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

// The lock that guards the instance registry across processes: an exclusive flock on a lock
// file. Re-entrant for the owning thread; free again after as many releases as acquisitions.
// The kernel drops the flock of a process that ends, so a dead holder never blocks anyone. A
// holder that hangs (stopped, or spinning) is waited for up to TimeLimit only: then Acquire
// goes on without the file lock, so a hung instance never makes a launch hang.
// Any thread may call it; the owner is one thread at a time.
class TOptex {
public:
    static constexpr std::chrono::milliseconds TimeLimit{5000};

    // Opens or creates the lock file at path; throws std::system_error when it cannot.
    explicit TOptex(const std::string& path);
    ~TOptex();
    TOptex(const TOptex&) = delete;
    TOptex& operator=(const TOptex&) = delete;

    bool TryAcquire();
    void Acquire();
    void Release();

private:
    bool OwnedByCallingThread() const;
    void TakeOwnership();

    int FFile = -1;
    std::mutex FThreads;
    std::atomic<std::thread::id> FOwnerThread{};
    int FDepth = 0;
    bool FFileLocked = false;
};

// Holds a TOptex for the life of the guard.
class TOptexGuard {
public:
    explicit TOptexGuard(TOptex& lock) : FLock(lock) { FLock.Acquire(); }
    ~TOptexGuard() { FLock.Release(); }
    TOptexGuard(const TOptexGuard&) = delete;
    TOptexGuard& operator=(const TOptexGuard&) = delete;

private:
    TOptex& FLock;
};
