#include "TSettingsLocation.h"

#include "TProduction.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* SettingsName = "Settings.xml";

bool FolderIsWritable(const std::string& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0;
}

bool FolderIsTheUsers(const std::string& folder) {
    struct stat status {};
    return ::stat(folder.c_str(), &status) == 0 && status.st_uid == ::geteuid();
}

// A copy that the user put into a folder of their own keeps its settings beside it; an installed
// copy does not, even when the folder can be written to (root, a group-writable /usr/local).
bool KeepsSettingsBeside(const std::string& appDir) {
    return FolderIsWritable(appDir) && FolderIsTheUsers(appDir) && !IsInstallFolder(appDir);
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? user->pw_dir : "/";
}

// $XDG_CONFIG_HOME when it holds an absolute path, as the XDG base directory rules say;
// ~/.config otherwise.
fs::path ConfigHome() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return config;
    return fs::path(HomeFolder()) / ".config";
}

void CreateFolder(const fs::path& folder) {
    std::error_code ec;
    if (folder.empty() || fs::is_directory(folder, ec))
        return;
    CreateFolder(folder.parent_path());
    ::mkdir(folder.c_str(), 0700);
}

} // namespace

bool IsInstallFolder(const std::string& folder) {
    static constexpr std::array<std::string_view, 9> Hierarchies = {
        "usr", "bin", "sbin", "lib", "lib32", "lib64", "libx32", "opt", "snap"};
    std::error_code ec;
    const fs::path path = fs::weakly_canonical(folder, ec);
    if (ec || !path.is_absolute())
        return false;
    const auto top = std::next(path.begin());
    if (top != path.end() && std::ranges::find(Hierarchies, top->string()) != Hierarchies.end())
        return true;
    const fs::path userPrograms = fs::weakly_canonical(fs::path(HomeFolder()) / ".local/bin", ec);
    return !ec && path.lexically_relative(userPrograms) == ".";
}

TSettingsLocation TSettingsLocation::Find(const std::string& appDir) {
    if (KeepsSettingsBeside(appDir))
        return {appDir + SettingsName, {}};
    const fs::path folder = ConfigHome() / "trelmo";
    CreateFolder(folder);
    return {(folder / SettingsName).string(), appDir + SettingsName};
}

bool TSettingsLocation::Load(TProduction& production) const {
    if (production.LoadFromFile(FileName))
        return true;
    return !StartingPoint.empty() &&
           production.LoadFromFile(StartingPoint, fs::path(FileName).parent_path().string());
}
