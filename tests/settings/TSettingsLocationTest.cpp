// SettingsLocation runs as a user who cannot write to a folder of mode 0555 (tests/unprivileged.sh
// drops root); InstalledCopy runs as root too.
#include "TSettingsLocation.h"
#include "EXMLParseError.h"
#include "TProduction.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string DocumentWithCue(const std::string& description) {
    TProduction production;
    auto cue = std::make_unique<TCue>();
    cue->Description = description;
    production.Cues.Add(std::move(cue));
    production.Cues.AssignMissingUIDs();
    return production.SaveToText();
}

struct SettingsLocation : ::testing::Test {
    void SetUp() override {
        ASSERT_NE(::geteuid(), 0u) << "run through tests/unprivileged.sh";
        std::string root = (fs::temp_directory_path() / "trelmo-location-XXXXXX").string();
        ASSERT_NE(::mkdtemp(root.data()), nullptr);
        Root = root;
        AppDir = Root / "app";
        Home = Root / "home";
        fs::create_directories(AppDir);
        fs::create_directories(Home);
        ::setenv("HOME", Home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (Root / "config").c_str(), 1);
    }
    void TearDown() override {
        fs::permissions(AppDir, fs::perms::owner_all);
        fs::remove_all(Root);
    }

    std::string App() const { return AppDir.string() + "/"; }
    void MakeAppDirReadOnly() const {
        fs::permissions(AppDir, fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    }
    // The old file next to the executable, written before the folder becomes read-only.
    void PlaceOldFile(const std::string& bytes) const {
        WriteBytes(AppDir / "Settings.xml", bytes);
        MakeAppDirReadOnly();
    }

    fs::path Root, AppDir, Home;
};

TEST_F(SettingsLocation, WritableFolderKeepsTheFileNextToTheExecutable) {
    const TSettingsLocation location = TSettingsLocation::Find(App());
    EXPECT_EQ(location.FileName, App() + "Settings.xml");
    EXPECT_EQ(location.StartingPoint, "");
    EXPECT_FALSE(fs::exists(Root / "config"));
}

// The world-writable /tmp stands for a folder that the user may write to but does not own.
TEST_F(SettingsLocation, WritableFolderOfAnotherUserUsesTheConfigurationFolder) {
    struct stat status {};
    ASSERT_EQ(::stat("/tmp", &status), 0);
    ASSERT_NE(status.st_uid, ::geteuid());
    ASSERT_EQ(::access("/tmp", W_OK), 0);
    const TSettingsLocation location = TSettingsLocation::Find("/tmp/");
    EXPECT_EQ(location.FileName, (Root / "config" / "trelmo" / "Settings.xml").string());
    EXPECT_EQ(location.StartingPoint, "/tmp/Settings.xml");
}

TEST_F(SettingsLocation, ReadOnlyFolderUsesTheConfigurationFolder) {
    MakeAppDirReadOnly();
    struct Case {
        const char* ConfigHome; // nullptr: unset
        fs::path Folder;
    };
    const Case cases[] = {
        {"set", Root / "config" / "trelmo"},
        {nullptr, Home / ".config" / "trelmo"},
        {"", Home / ".config" / "trelmo"},
        {"relative/config", Home / ".config" / "trelmo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ConfigHome ? c.ConfigHome : "unset");
        if (!c.ConfigHome)
            ::unsetenv("XDG_CONFIG_HOME");
        else if (std::string(c.ConfigHome) != "set")
            ::setenv("XDG_CONFIG_HOME", c.ConfigHome, 1);
        const TSettingsLocation location = TSettingsLocation::Find(App());
        EXPECT_EQ(location.FileName, (c.Folder / "Settings.xml").string());
        EXPECT_EQ(location.StartingPoint, App() + "Settings.xml");
        ASSERT_TRUE(fs::is_directory(c.Folder));
        EXPECT_EQ(fs::status(c.Folder).permissions() & fs::perms::all, fs::perms::owner_all);
    }
}

TEST_F(SettingsLocation, OldFileIsReadOnceAndTheSettingsAreSavedInTheConfigurationFolder) {
    const std::string old = DocumentWithCue("Door bell");
    PlaceOldFile(old);
    const TSettingsLocation location = TSettingsLocation::Find(App());
    {
        TProduction production;
        ASSERT_TRUE(location.Load(production));
        ASSERT_EQ(production.Cues.Count(), 1);
        EXPECT_EQ(production.Cues.Items(0)->Description, "Door bell");
        production.Cues.Items(0)->Description = "Thunder";
        std::string failure;
        ASSERT_TRUE(production.SaveToFile(location.FileName, &failure)) << failure;
    }
    EXPECT_EQ(ReadBytes(location.FileName), DocumentWithCue("Thunder"));
    EXPECT_EQ(ReadBytes(AppDir / "Settings.xml"), old);
    TProduction next;
    ASSERT_TRUE(TSettingsLocation::Find(App()).Load(next));
    ASSERT_EQ(next.Cues.Count(), 1);
    EXPECT_EQ(next.Cues.Items(0)->Description, "Thunder");
}

TEST_F(SettingsLocation, NoFileAnywhereLeavesTheDefaults) {
    MakeAppDirReadOnly();
    TProduction production;
    EXPECT_FALSE(TSettingsLocation::Find(App()).Load(production));
    EXPECT_EQ(production.SaveToText(), TProduction().SaveToText());
}

// An unreadable file in the configuration folder, or an unreadable old file next to the
// executable: reported, kept in the configuration folder, never replaced by the save.
struct UnreadableSettings : SettingsLocation, ::testing::WithParamInterface<bool> {};

TEST_P(UnreadableSettings, FileIsKeptInTheConfigurationFolder) {
    const bool inConfigFolder = GetParam();
    const std::string broken = "<Production><Windows></Production>";
    const fs::path folder = Root / "config" / "trelmo";
    if (inConfigFolder) {
        MakeAppDirReadOnly();
        fs::create_directories(folder);
        WriteBytes(folder / "Settings.xml", broken);
    } else {
        PlaceOldFile(broken);
    }
    const TSettingsLocation location = TSettingsLocation::Find(App());
    TProduction production;
    try {
        location.Load(production);
        ADD_FAILURE() << "no error";
    } catch (const EXMLParseError& error) {
        EXPECT_EQ(error.KeepFailure, "");
        EXPECT_EQ(error.KeptFileName, (folder / "Settings-unreadable-1.xml").string());
    }
    EXPECT_EQ(ReadBytes(folder / "Settings-unreadable-1.xml"), broken);
    std::string failure;
    ASSERT_TRUE(production.SaveToFile(location.FileName, &failure)) << failure;
    EXPECT_EQ(ReadBytes(location.FileName), TProduction().SaveToText());
    EXPECT_EQ(ReadBytes(AppDir / "Settings.xml"), inConfigFolder ? "" : broken);
}

INSTANTIATE_TEST_SUITE_P(Place, UnreadableSettings, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "ConfigurationFolder" : "NextToTheExecutable";
                         });

// Whoever runs it, root included, an installed copy keeps its settings per user.
struct InstalledCopy : ::testing::Test {
    void SetUp() override {
        std::string root = (fs::temp_directory_path() / "trelmo-installed-XXXXXX").string();
        ASSERT_NE(::mkdtemp(root.data()), nullptr);
        Root = root;
        ::setenv("XDG_CONFIG_HOME", (Root / "config").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(Root); }
    fs::path Root;
};

TEST_F(InstalledCopy, InstallFolders) {
    fs::create_directory_symlink("/usr/bin", Root / "linked");
    fs::create_directories(Root / "usr" / "bin");
    ::setenv("HOME", (Root / "home").c_str(), 1);
    fs::create_directories(Root / "home" / ".local" / "bin");
    const std::pair<fs::path, bool> cases[] = {
        {"/usr/bin/", true},
        {"/usr/local/bin/", true},
        {"/bin/", true},
        {"/sbin", true},
        {"/opt/trelmo/bin/", true},
        {"/snap/trelmo/12/usr/bin/", true},
        {"/lib64/", true},
        {Root / "linked" / "", true},
        {Root / "usr" / "bin" / "", false},
        {Root / "home" / ".local" / "bin" / "", true},
        {Root / "home" / ".local" / "bin" / "show" / "", false},
        {Root / "home" / "show" / "", false},
        {"/usr2/bin/", false},
        {"/media/stick/show/", false},
        {"/home/operator/trelmo/build/bin/", false},
        {"/", false},
    };
    for (const auto& [folder, system] : cases)
        EXPECT_EQ(IsInstallFolder(folder.string()), system) << folder;
}

TEST_F(InstalledCopy, SettingsOfAProgramInUsrBinArePerUser) {
    const TSettingsLocation location = TSettingsLocation::Find("/usr/bin/");
    EXPECT_EQ(location.FileName, (Root / "config" / "trelmo" / "Settings.xml").string());
    EXPECT_EQ(location.StartingPoint, "/usr/bin/Settings.xml");
    EXPECT_TRUE(fs::is_directory(Root / "config" / "trelmo"));
}

} // namespace
