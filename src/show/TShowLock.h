#pragma once

#include <string>
#include <sys/types.h>

// Makes one running Trelmo the only writer of a settings document, whatever the instance
// registry finds: an exclusive flock on a hidden lock file beside the document, or beside the
// target of a link to it (".Settings.xml.lock"), held while this object lives, holding the process
// id of its owner. The kernel releases it when the process ends, however it ends. Not thread-safe.
class TShowLock {
public:
    enum class TState {
        // This process holds the document.
        Held,
        // Another process holds it.
        Taken,
        // No lock could be made (a read-only folder): nobody can write the document there.
        Unavailable,
    };

    explicit TShowLock(const std::string& documentPath);
    ~TShowLock();
    TShowLock(const TShowLock&) = delete;
    TShowLock& operator=(const TShowLock&) = delete;

    TState State() const { return FState; }
    // Taken: the process that holds the document, 0 when not known.
    pid_t Holder() const { return FHolder; }
    const std::string& LockPath() const { return FLockPath; }
    // Why no lock could be made.
    const std::string& Failure() const { return FFailure; }

private:
    void RecordOwner() const;
    pid_t ReadOwner() const;

    std::string FLockPath;
    int FFd = -1;
    TState FState = TState::Unavailable;
    pid_t FHolder = 0;
    std::string FFailure;
};
