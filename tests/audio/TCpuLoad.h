#pragma once

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

// Both cores kept busy by stress-ng while the object lives (ten minutes at most); stopped by its
// process id.
class TCpuLoad {
public:
    TCpuLoad() {
        const char* args[] = {"stress-ng", "--cpu", "2", "--timeout", "600s", "--quiet", nullptr};
        if (posix_spawnp(&FPid, "stress-ng", nullptr, nullptr, const_cast<char**>(args), environ) !=
            0)
            FPid = 0;
    }
    ~TCpuLoad() {
        if (FPid <= 0)
            return;
        kill(FPid, SIGTERM);
        waitpid(FPid, nullptr, 0);
    }
    TCpuLoad(const TCpuLoad&) = delete;
    TCpuLoad& operator=(const TCpuLoad&) = delete;
    bool Running() const { return FPid > 0 && waitpid(FPid, nullptr, WNOHANG) == 0; }

private:
    pid_t FPid = 0;
};
