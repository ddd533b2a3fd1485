#include "TSettingsLocation.h"

#include "TProduction.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* SettingsName = "Settings.xml";

bool FolderIsWritable(const std::string& folder) {
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) == 0;
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

TSettingsLocation TSettingsLocation::Find(const std::string& appDir) {
    if (FolderIsWritable(appDir))
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
