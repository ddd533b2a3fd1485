#include "TOptex.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace {

bool Flock(int file, int operation) {
    int result;
    do
        result = ::flock(file, operation);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

} // namespace

TOptex::TOptex(const std::string& path) {
    FFile = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (FFile < 0)
        throw std::system_error(errno, std::system_category(), "Cannot open the lock file " + path);
}

TOptex::~TOptex() {
    ::close(FFile);
}

bool TOptex::OwnedByCallingThread() const {
    return FOwnerThread.load() == std::this_thread::get_id();
}

void TOptex::TakeOwnership() {
    FOwnerThread.store(std::this_thread::get_id());
    FDepth = 1;
}

bool TOptex::TryAcquire() {
    if (OwnedByCallingThread()) {
        ++FDepth;
        return true;
    }
    if (!FThreads.try_lock())
        return false;
    if (!(FFileLocked = Flock(FFile, LOCK_EX | LOCK_NB))) {
        FThreads.unlock();
        return false;
    }
    TakeOwnership();
    return true;
}

void TOptex::Acquire() {
    if (OwnedByCallingThread()) {
        ++FDepth;
        return;
    }
    FThreads.lock();
    const auto deadline = std::chrono::steady_clock::now() + TimeLimit;
    while (!(FFileLocked = Flock(FFile, LOCK_EX | LOCK_NB)) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    TakeOwnership();
}

void TOptex::Release() {
    if (!OwnedByCallingThread() || --FDepth > 0)
        return;
    FOwnerThread.store(std::thread::id());
    if (FFileLocked)
        Flock(FFile, LOCK_UN);
    FFileLocked = false;
    FThreads.unlock();
}
