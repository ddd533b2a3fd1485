#include "TRuntimeFolder.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// How a candidate folder is found before the choice.
enum class TState { Missing, Private, OpenToOthers, AnotherUsersFolder, AFile, ALink };

void Prepare(const fs::path& path, TState state, const fs::path& linkTarget) {
    switch (state) {
    case TState::Missing:
        break;
    case TState::Private:
        fs::create_directory(path);
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
        break;
    case TState::OpenToOthers:
        fs::create_directory(path);
        fs::permissions(path, fs::perms::owner_all | fs::perms::others_exec,
                        fs::perm_options::replace);
        break;
    case TState::AnotherUsersFolder:
        fs::create_directory(path);
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
        // As root the folder is handed to another user; as anyone else, a folder of this user
        // that others can enter stands in for it.
        if (::chown(path.c_str(), 65534, 65534) != 0)
            fs::permissions(path, fs::perms::all, fs::perm_options::replace);
        break;
    case TState::AFile:
        std::ofstream(path) << "squatter";
        break;
    case TState::ALink:
        fs::create_directory(linkTarget);
        fs::permissions(linkTarget, fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directory_symlink(linkTarget, path);
        break;
    }
}

} // namespace

TEST(TRuntimeFolder, TheFirstPrivateFolderOfTheUserIsChosenWhateverOthersLeftInTheWay) {
    struct Case {
        const char* name;
        TState runtime;
        TState shared;
        int expected; // index of the chosen candidate: 0 runtime, 1 shared, 2 home
    };
    const Case cases[] = {
        {"runtime folder of the user", TState::Private, TState::Missing, 0},
        {"no runtime folder: the shared one is made", TState::Missing, TState::Missing, 1},
        {"runtime folder others can enter", TState::OpenToOthers, TState::Missing, 1},
        {"shared folder of another user", TState::Missing, TState::AnotherUsersFolder, 2},
        {"a file in the shared folder's place", TState::Missing, TState::AFile, 2},
        {"a link in the shared folder's place", TState::Missing, TState::ALink, 2},
        {"shared folder others can enter", TState::Missing, TState::OpenToOthers, 2},
        {"shared folder of the user", TState::Missing, TState::Private, 1},
    };
    for (const Case& c : cases) {
        TTempRuntimeDir dir;
        const std::vector<TRuntimeFolder::TCandidate> candidates{
            {(dir.Path() / "run").string(), false},
            {(dir.Path() / "shared").string()},
            {(dir.Path() / "home" / ".cache" / "registry").string()},
        };
        fs::create_directory(dir.Path() / "home");
        Prepare(candidates[0].Path, c.runtime, dir.Path() / "elsewhere-run");
        Prepare(candidates[1].Path, c.shared, dir.Path() / "elsewhere-shared");
        EXPECT_EQ(TRuntimeFolder::Choose(candidates), candidates[c.expected].Path) << c.name;
        EXPECT_EQ(TRuntimeFolder::MakePrivate(candidates[c.expected].Path, false), "") << c.name;
        EXPECT_EQ(fs::exists(candidates[0].Path), c.runtime != TState::Missing) << c.name;
    }
}

TEST(TRuntimeFolder, NoUsableFolderIsAnErrorThatNamesEveryCandidate) {
    TTempRuntimeDir dir;
    const std::vector<TRuntimeFolder::TCandidate> candidates{
        {(dir.Path() / "run").string(), false},
        {(dir.Path() / "no-such-parent" / "deeper" / "shared").string()},
    };
    try {
        TRuntimeFolder::Choose(candidates);
        FAIL() << "chose a folder that cannot be used";
    } catch (const std::runtime_error& e) {
        const std::string message = e.what();
        for (const auto& candidate : candidates)
            EXPECT_NE(message.find(candidate.Path), std::string::npos) << message;
    }
}

TEST(TRuntimeFolder, TheCandidatesDoNotDependOnTheEnvironment) {
    const uid_t uid = ::geteuid();
    std::vector<std::string> seen;
    {
        TTempRuntimeDir dir;
        const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
        ::setenv("HOME", dir.Path().c_str(), 1);
        for (const auto& candidate : TRuntimeFolder::CandidatesOf(uid))
            seen.push_back(candidate.Path);
        ::setenv("HOME", home.c_str(), 1);
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> saved =
        runtime ? std::optional<std::string>(runtime) : std::nullopt;
    ::unsetenv("XDG_RUNTIME_DIR");
    std::vector<std::string> unset;
    for (const auto& candidate : TRuntimeFolder::CandidatesOf(uid))
        unset.push_back(candidate.Path);
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", saved->c_str(), 1);
    EXPECT_EQ(seen, unset);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], "/run/user/" + std::to_string(uid));
    EXPECT_EQ(seen[1], "/tmp/trelmo-" + std::to_string(uid));
}
