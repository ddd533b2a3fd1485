#include "TestSupport.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

TTempRuntimeDir::TTempRuntimeDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "trelmo-test-XXXXXX").string();
    FPath = ::mkdtemp(pattern.data());
    if (const char* saved = std::getenv("XDG_RUNTIME_DIR"))
        FSaved = saved;
    ::setenv("XDG_RUNTIME_DIR", FPath.c_str(), 1);
}

TTempRuntimeDir::~TTempRuntimeDir() {
    if (FSaved)
        ::setenv("XDG_RUNTIME_DIR", FSaved->c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

std::string TestRuntime() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime ? runtime : "";
}

TChildProcess::TChildProcess(const TBody& body) {
    int toChild[2];
    int toParent[2];
    if (::pipe(toChild) != 0 || ::pipe(toParent) != 0)
        return;
    FPid = ::fork();
    if (FPid == 0) {
        ::close(toChild[1]);
        ::close(toParent[0]);
        FIn = toChild[0];
        FOut = toParent[1];
        ::_exit(body(*this));
    }
    ::close(toChild[0]);
    ::close(toParent[1]);
    FIn = toParent[0];
    FOut = toChild[1];
}

TChildProcess::~TChildProcess() {
    ::close(FIn);
    ::close(FOut);
    if (FPid > 0 && !FReaped) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
}

bool TChildProcess::Send(char byte) {
    return ::write(FOut, &byte, 1) == 1;
}

std::optional<char> TChildProcess::Receive(std::chrono::milliseconds timeLimit) {
    pollfd entry{FIn, POLLIN, 0};
    char byte;
    if (::poll(&entry, 1, static_cast<int>(timeLimit.count())) == 1 && ::read(FIn, &byte, 1) == 1)
        return byte;
    return std::nullopt;
}

void TChildProcess::Kill() {
    ::kill(FPid, SIGKILL);
}

int TChildProcess::Wait(std::chrono::milliseconds timeLimit) {
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    int status = 0;
    for (;;) {
        if (FReaped || ::waitpid(FPid, &status, WNOHANG) == FPid) {
            if (!FReaped)
                FExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            FReaped = true;
            return FExitCode;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
