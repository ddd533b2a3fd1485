#include "TRunningTrelmo.h"

#include "TProduction.h"
#include "TestAudioFiles.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace std::chrono_literals;

namespace {

// Starts `arguments`, its standard error on `error` unless that is -1; -1 when it cannot start.
pid_t Spawn(const std::vector<std::string>& arguments, int error = -1) {
    std::vector<char*> args;
    for (const std::string& argument : arguments)
        args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (error >= 0)
        posix_spawn_file_actions_adddup2(&actions, error, STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int RunToEnd(const std::vector<std::string>& arguments) {
    const pid_t pid = Spawn(arguments);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

void AddCue(TProduction& production, const std::string& file) {
    auto cue = std::make_unique<TCue>();
    cue->FileName = file;
    production.Cues.Add(std::move(cue));
}

TRunningTrelmo::TRunningTrelmo(const TTempDir& dir, TProduction& production, const char* platform,
                               TErrors errors) {
    const std::filesystem::path bin = dir / "bin";
    const std::string exe = (bin / "trelmo").string();
    std::filesystem::create_directory(bin);
    std::filesystem::copy_file(TRELMO_PATH, exe);
    std::filesystem::create_directory_symlink(
        std::filesystem::canonical(TRELMO_PATH).parent_path().parent_path() / "lib", dir / "lib");
    production.SaveToFile((bin / "Settings.xml").string());
    ::setenv("QT_QPA_PLATFORM", platform, 1);
    if (errors == TErrors::Shown) {
        FPid = Spawn({exe});
        return;
    }
    int error[2];
    if (::pipe2(error, O_CLOEXEC) != 0)
        return;
    FPid = Spawn({exe}, error[1]);
    ::close(error[1]);
    FError = error[0];
}

TRunningTrelmo::~TRunningTrelmo() {
    if (FPid > 0) {
        ::kill(FPid, SIGTERM);
        ::waitpid(FPid, nullptr, 0);
    }
    if (FError >= 0)
        ::close(FError);
}

bool TRunningTrelmo::Focus() {
    return FPid > 0 && RunToEnd({"timeout", "30", "xdotool", "search", "--sync", "--onlyvisible",
                                 "--name", "^Trelmo$", "windowfocus", "--sync"}) == 0;
}

int TRunningTrelmo::OscPort() {
    const std::regex listens("OSC listens on UDP 127\\.0\\.0\\.1 port (\\d+)\\.");
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    std::smatch match;
    while (FPid > 0 && FError >= 0 && !std::regex_search(text, match, listens) &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd entry{FError, POLLIN, 0};
        char buffer[512];
        if (::poll(&entry, 1, 100) != 1)
            continue;
        const ssize_t size = ::read(FError, buffer, sizeof buffer);
        if (size <= 0)
            break;
        text.append(buffer, static_cast<size_t>(size));
    }
    if (match.empty())
        std::fprintf(stderr, "Trelmo did not say where it takes OSC:\n%s\n", text.c_str());
    return match.empty() ? 0 : std::stoi(match[1]);
}
