#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

// A fresh private runtime folder set as XDG_RUNTIME_DIR for the life of the object.
class TTempRuntimeDir {
public:
    TTempRuntimeDir();
    ~TTempRuntimeDir();
    TTempRuntimeDir(const TTempRuntimeDir&) = delete;
    TTempRuntimeDir& operator=(const TTempRuntimeDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
    std::optional<std::string> FSaved;
};

// The runtime folder of the innermost TTempRuntimeDir, where tests keep their registries.
std::string TestRuntime();

// A forked child that runs body and ends with its result. The parent talks to it through
// two pipes: Send() a byte to it, Receive() a byte from it, each with a time limit.
class TChildProcess {
public:
    using TBody = std::function<int(TChildProcess& self)>;

    explicit TChildProcess(const TBody& body);
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    pid_t Pid() const { return FPid; }
    // In the parent: to and from the child. In the child: to and from the parent.
    bool Send(char byte);
    std::optional<char> Receive(std::chrono::milliseconds timeLimit = std::chrono::seconds(10));
    void Kill();
    // The child's exit code, or -1 when it did not end within the time limit.
    int Wait(std::chrono::milliseconds timeLimit = std::chrono::seconds(10));

private:
    pid_t FPid = -1;
    int FIn = -1;
    int FOut = -1;
    bool FReaped = false;
    int FExitCode = -1;
};
