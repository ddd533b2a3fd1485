#include "TSessionEndWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFds[2] = {-1, -1};

// Async-signal-safe: only writes one byte.
void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(g_signalFds[0], &byte, 1);
}

void InstallHandler(int signal) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

TSessionEndWatcher::TSessionEndWatcher(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
        return;
    FNotifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TSessionEndWatcher::ReadSignal);
    InstallHandler(SIGTERM);
    InstallHandler(SIGHUP);
}

TSessionEndWatcher::~TSessionEndWatcher() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    for (int& fd : g_signalFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void TSessionEndWatcher::ReadSignal() {
    char byte;
    if (::read(g_signalFds[1], &byte, 1) == 1)
        Q_EMIT sessionEnding();
}
