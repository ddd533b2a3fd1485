#include "SettingsFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int MaxKeptCopies = 10000;

std::string ErrnoText() {
    return std::strerror(errno);
}

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return FFd; }
    // Closes now; false (errno set) when the kernel reports a failed write on close.
    bool Close() {
        const int fd = FFd;
        FFd = -1;
        return ::close(fd) == 0;
    }

private:
    int FFd;
};

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

constexpr int MaxLinkDepth = 40;
constexpr const char* TemporarySuffix = ".tmp-";
constexpr size_t TemporaryRandomChars = 6;

std::string TooLargeText(size_t bytes) {
    return "the show would take " + std::to_string((bytes + (1 << 20) - 1) >> 20) +
           " MiB, more than the " + std::to_string(MaxSettingsFileSize >> 20) +
           " MiB that Trelmo reads back; remove cues or shorten their texts";
}

std::string MissingLinkFolderText(const std::string& target) {
    return "it is a link to " + target +
           ", whose folder cannot be found (is the drive that holds it connected?)";
}

std::string FolderOf(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

void SyncFolder(const std::string& folder) {
    TFileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
}

mode_t ModeFor(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        return st.st_mode & 07777;
    return 0644;
}

std::string KeptName(const std::string& path, const std::string& folder, int number) {
    const fs::path p(path);
    const std::string name =
        p.stem().string() + "-unreadable-" + std::to_string(number) + p.extension().string();
    return ((folder.empty() ? p.parent_path() : fs::path(folder)) / name).string();
}

// Writes a copy that never replaces an existing file; false with errno EEXIST when taken.
bool WriteExclusiveCopy(const std::string& bytes, const std::string& copy) {
    TFileDescriptor fd(::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.Get() < 0)
        return false;
    if (WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0 && fd.Close())
        return true;
    const int error = errno;
    ::unlink(copy.c_str());
    errno = error;
    return false;
}

} // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& failure) {
    TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) {
        failure = ErrnoText();
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        failure = "not a regular file";
        return false;
    }
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failure = ErrnoText();
            return false;
        }
        if (n == 0)
            return true;
        if (bytes.size() + static_cast<size_t>(n) > MaxSettingsFileSize) {
            failure =
                "the file is larger than " + std::to_string(MaxSettingsFileSize >> 20) + " MiB";
            return false;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& failure) {
    if (bytes.size() > MaxSettingsFileSize) {
        failure = TooLargeText(bytes.size());
        return false;
    }
    const std::string target = LinkTarget(path);
    std::string temporary = target + TemporarySuffix + std::string(TemporaryRandomChars, 'X');
    TFileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        failure = errno == ENOENT && target != path ? MissingLinkFolderText(target) : ErrnoText();
        return false;
    }
    const bool written = ::fchmod(fd.Get(), ModeFor(target)) == 0 && WriteAll(fd.Get(), bytes) &&
                         ::fsync(fd.Get()) == 0 && fd.Close() &&
                         ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!written) {
        failure = ErrnoText();
        ::unlink(temporary.c_str());
        return false;
    }
    SyncFolder(FolderOf(target));
    return true;
}

std::string LinkTarget(const std::string& path) {
    fs::path target = path;
    std::error_code ec;
    for (int depth = 0; depth < MaxLinkDepth && fs::is_symlink(target, ec); ++depth) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec)
            break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.string();
}

int RemoveStaleTemporaries(const std::string& path) {
    const fs::path target = LinkTarget(path);
    const std::string prefix = target.filename().string() + TemporarySuffix;
    int removed = 0;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(FolderOf(target.string()), ec)) {
        const std::string name = entry.path().filename().string();
        struct stat st {};
        if (name.size() == prefix.size() + TemporaryRandomChars && name.starts_with(prefix) &&
            ::lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && ::unlink(entry.path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

bool KeepCopy(const std::string& path, const std::string& folder, std::string& keptName,
              std::string& failure) {
    std::string bytes;
    bool haveBytes = false;
    for (int number = 1; number <= MaxKeptCopies; ++number) {
        const std::string copy = KeptName(path, folder, number);
        if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, copy.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            SyncFolder(FolderOf(copy));
            keptName = copy;
            return true;
        }
        if (errno == EEXIST)
            continue;
        // No hard links here (another file system, no permission): copy the bytes instead.
        if (!haveBytes && !ReadWholeFile(path, bytes, failure))
            return false;
        haveBytes = true;
        if (WriteExclusiveCopy(bytes, copy)) {
            SyncFolder(FolderOf(copy));
            keptName = copy;
            return true;
        }
        if (errno != EEXIST) {
            failure = "cannot write " + copy + ": " + ErrnoText();
            return false;
        }
    }
    failure = "too many kept copies of " + path;
    return false;
}
