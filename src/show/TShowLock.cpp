#include "TShowLock.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Beside the file that is written: a link's target is one show, whichever link reaches it. A
// document that is not there yet, or a link whose target is gone, is locked where it is named.
std::string LockPathFor(const std::string& documentPath) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::canonical(documentPath, ec);
    if (ec)
        path = documentPath;
    std::string name = ".";
    name += path.filename().string();
    name += ".lock";
    return (path.parent_path() / name).string();
}

} // namespace

TShowLock::TShowLock(const std::string& documentPath) : FLockPath(LockPathFor(documentPath)) {
    FFd = ::open(FLockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (FFd < 0) {
        FFailure = std::strerror(errno);
        return;
    }
    if (::flock(FFd, LOCK_EX | LOCK_NB) == 0) {
        FState = TState::Held;
        RecordOwner();
        return;
    }
    FState = errno == EWOULDBLOCK ? TState::Taken : TState::Unavailable;
    FFailure = std::strerror(errno);
    if (FState == TState::Taken)
        FHolder = ReadOwner();
    ::close(FFd);
    FFd = -1;
}

TShowLock::~TShowLock() {
    if (FFd >= 0)
        ::close(FFd);
}

void TShowLock::RecordOwner() const {
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(FFd, 0) == 0 && ::pwrite(FFd, pid.data(), pid.size(), 0) >= 0)
        ::fsync(FFd);
}

pid_t TShowLock::ReadOwner() const {
    char text[32] = {};
    const ssize_t n = ::pread(FFd, text, sizeof text - 1, 0);
    if (n <= 0)
        return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(text, text + n, pid);
    return error == std::errc() && (end == text + n || *end == '\n') && pid > 0 ? pid : 0;
}
