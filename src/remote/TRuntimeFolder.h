#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// Where a user's instance registries live, chosen the same way by every launch of the user
// whatever its environment (XDG_RUNTIME_DIR set, unset or different, as under cron): the first
// candidate that is, or can be made, a folder of the user that nobody else can enter. The system's
// runtime folder of the user comes first, then a folder in the shared temporary folder, then one
// in the user's home, which another user cannot create or take over. Needs no Qt.
class TRuntimeFolder {
public:
    struct TCandidate {
        std::string Path;
        // Whether the folder is made when missing; the system's runtime folder is not.
        bool Create = true;
    };

    // The candidates of uid, in the order they are tried.
    static std::vector<TCandidate> CandidatesOf(uid_t uid);
    // The first usable candidate; throws std::runtime_error naming every one when none is.
    static std::string Choose(const std::vector<TCandidate>& candidates);
    // The folder of the calling process's user.
    static std::string OfUser();

    // Creates path as a folder only this user can enter, or checks that it is one; the reason in
    // words when it is not.
    static std::string MakePrivate(const std::string& path, bool create = true);
};
