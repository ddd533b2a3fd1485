#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

// The lock that guards the instance registry across processes: an exclusive flock on a lock
// file. Re-entrant for the owning thread; free again after as many releases as acquisitions.
// The kernel drops the flock of a process that ends, so a dead holder never blocks anyone.
// Any thread may call it; the owner is one thread at a time.
class TOptex {
public:
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
};
