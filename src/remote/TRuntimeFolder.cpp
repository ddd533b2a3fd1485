#include "TRuntimeFolder.h"

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(const std::string& what, int error) {
    return what + ": " + std::strerror(error) + " (" + std::to_string(error) + ")";
}

// The home folder of uid as the user database has it, so that it is the same in every
// environment; empty when the user has none there.
std::string HomeOf(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir || found->pw_dir[0] != '/')
        return {};
    return found->pw_dir;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

} // namespace

std::string TRuntimeFolder::MakePrivate(const std::string& path, bool create) {
    if (create && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return Reason("cannot create the folder", errno);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return Reason("cannot read the folder", errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
        return Reason("not a private folder of this user", EPERM);
    return {};
}

std::vector<TRuntimeFolder::TCandidate> TRuntimeFolder::CandidatesOf(uid_t uid) {
    const std::string user = std::to_string(uid);
    std::vector<TCandidate> candidates{{"/run/user/" + user, false}, {"/tmp/trelmo-" + user}};
    // A home shared by several machines keeps one registry folder per machine.
    if (const std::string home = HomeOf(uid); !home.empty())
        candidates.push_back({home + "/.cache/trelmo-runtime-" + HostName()});
    return candidates;
}

std::string TRuntimeFolder::Choose(const std::vector<TCandidate>& candidates) {
    std::string reasons;
    for (const TCandidate& candidate : candidates) {
        if (candidate.Create) {
            const std::string parent = candidate.Path.substr(0, candidate.Path.rfind('/'));
            if (!parent.empty() && ::access(parent.c_str(), F_OK) != 0)
                ::mkdir(parent.c_str(), 0700);
        }
        const std::string reason = MakePrivate(candidate.Path, candidate.Create);
        if (reason.empty())
            return candidate.Path;
        reasons += "\n" + candidate.Path + ": " + reason;
    }
    throw std::runtime_error("Cannot set up the instance registry: no private folder of this "
                             "user could be used:" +
                             reasons +
                             "\nCheck that one of these folders belongs to you and "
                             "only you can enter it.");
}

std::string TRuntimeFolder::OfUser() {
    return Choose(CandidatesOf(::geteuid()));
}
