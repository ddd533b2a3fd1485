#include "SettingsFile.h"
#include "EXMLParseError.h"
#include "SettingsMessages.h"
#include "TProduction.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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

std::vector<std::string> FileNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct SettingsFile : ::testing::Test {
    void SetUp() override {
        Folder = fs::temp_directory_path() / ("trelmo-settings-" + std::to_string(::getpid()) +
                                              "-" + std::to_string(++Counter));
        fs::create_directories(Folder);
        Path = (Folder / "Settings.xml").string();
    }
    void TearDown() override { fs::remove_all(Folder); }

    static std::unique_ptr<TProduction> WithCues(int count) {
        auto production = std::make_unique<TProduction>();
        for (int i = 0; i < count; ++i) {
            auto cue = std::make_unique<TCue>();
            cue->Description = "cue " + std::to_string(i);
            production->Cues.Add(std::move(cue));
        }
        production->Cues.AssignMissingUIDs();
        return production;
    }

    fs::path Folder;
    std::string Path;
    static inline int Counter = 0;
};

TEST_F(SettingsFile, SaveReplacesTheFileAndKeepsItsMode) {
    WriteBytes(Path, "old");
    ::chmod(Path.c_str(), 0600);
    const auto production = WithCues(2);
    std::string failure;
    ASSERT_TRUE(production->SaveToFile(Path, &failure)) << failure;
    EXPECT_EQ(ReadBytes(Path), production->SaveToText());
    EXPECT_EQ(fs::status(Path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(FileNames(Folder), std::vector<std::string>{"Settings.xml"});
}

TEST_F(SettingsFile, SaveThroughASymbolicLinkReplacesItsTarget) {
    fs::create_directories(Folder / "real");
    WriteBytes(Folder / "real" / "Settings.xml", "old");
    fs::create_symlink(Folder / "real" / "Settings.xml", Path);
    TProduction production;
    ASSERT_TRUE(production.SaveToFile(Path));
    EXPECT_TRUE(fs::is_symlink(Path));
    EXPECT_EQ(ReadBytes(Folder / "real" / "Settings.xml"), production.SaveToText());
}

// What a save writes, the loader reads back: a document at the limit goes both ways; a larger one
// is refused with the reason and leaves the file as it was.
TEST_F(SettingsFile, WhatIsWrittenCanBeReadBack) {
    struct Case {
        size_t Size;
        bool Written;
    };
    const Case cases[] = {{MaxSettingsFileSize, true}, {MaxSettingsFileSize + 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Size);
        WriteBytes(Path, "old");
        std::string failure;
        EXPECT_EQ(WriteFileAtomically(Path, std::string(c.Size, ' '), failure), c.Written);
        if (c.Written) {
            std::string read;
            std::string readFailure;
            ASSERT_TRUE(ReadWholeFile(Path, read, readFailure)) << readFailure;
            EXPECT_EQ(read.size(), c.Size);
        } else {
            EXPECT_EQ(failure, "the show would take 17 MiB, more than the 16 MiB that Trelmo "
                               "reads back; remove cues or shorten their texts");
            EXPECT_EQ(ReadBytes(Path), "old");
        }
        EXPECT_EQ(FileNames(Folder), std::vector<std::string>{"Settings.xml"});
    }
}

TEST_F(SettingsFile, SaveIntoAMissingFolderFails) {
    TProduction production;
    std::string failure;
    EXPECT_FALSE(production.SaveToFile((Folder / "missing" / "Settings.xml").string(), &failure));
    EXPECT_NE(failure.find("No such file or directory"), std::string::npos) << failure;
    EXPECT_EQ(FileNames(Folder), std::vector<std::string>{});
}

// A child process whose file-size limit makes the write fail as on a full disk.
TEST_F(SettingsFile, FailedWriteLeavesTheOldFileIntact) {
    ASSERT_TRUE(WithCues(1)->SaveToFile(Path));
    const std::string before = ReadBytes(Path);
    const auto big = WithCues(200);
    ASSERT_GT(big->SaveToText().size(), 4096u);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string failure;
        const bool saved = big->SaveToFile(Path, &failure);
        ::_exit(!saved && failure == "File too large" ? 0 : 1);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "the saving process did not end";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "SaveToFile did not report the failed write";
    EXPECT_EQ(ReadBytes(Path), before);
    EXPECT_EQ(FileNames(Folder), std::vector<std::string>{"Settings.xml"});
}

TEST_F(SettingsFile, UnreadableFilesAreKeptUnderNewNames) {
    const std::string first = "<Production><Windows></Production>";
    const std::string second = "not xml at all";
    std::vector<std::string> kept;
    for (const std::string& bytes : {first, second}) {
        WriteBytes(Path, bytes);
        TProduction production;
        try {
            production.LoadFromFile(Path);
            ADD_FAILURE() << "no error";
        } catch (const EXMLParseError& error) {
            EXPECT_EQ(error.KeepFailure, "");
            kept.push_back(error.KeptFileName);
        }
        EXPECT_EQ(ReadBytes(Path), bytes);
        ASSERT_TRUE(production.SaveToFile(Path));
    }
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0], (Folder / "Settings-unreadable-1.xml").string());
    EXPECT_EQ(kept[1], (Folder / "Settings-unreadable-2.xml").string());
    EXPECT_EQ(ReadBytes(kept[0]), first);
    EXPECT_EQ(ReadBytes(kept[1]), second);
    EXPECT_EQ(ReadBytes(Path), TProduction().SaveToText());
}

// The kept name would be longer than a file name may be, so no copy can be made: the save
// must not replace the unreadable file either.
TEST_F(SettingsFile, UnkeptFileIsNotReplaced) {
    const std::string path = (Folder / (std::string(240, 'n') + ".xml")).string();
    WriteBytes(path, "<broken");
    TProduction production;
    try {
        production.LoadFromFile(path);
        ADD_FAILURE() << "no error";
    } catch (const EXMLParseError& error) {
        EXPECT_EQ(error.KeptFileName, "");
        EXPECT_NE(error.KeepFailure, "");
        EXPECT_NE(LoadErrorText(error).find(error.KeepFailure), std::string::npos);
    }
    std::string failure;
    EXPECT_FALSE(production.SaveToFile(path, &failure));
    EXPECT_NE(failure.find("could not be kept"), std::string::npos) << failure;
    EXPECT_EQ(ReadBytes(path), "<broken");
}

// Files that cannot be settings documents are reported without reading them whole or waiting.
TEST_F(SettingsFile, OversizedAndSpecialFilesAreUnreadable) {
    const std::string big = (Folder / "big.xml").string();
    {
        std::ofstream out(big, std::ios::binary);
        out << "<Production><CueList>";
        const std::string cues(1 << 20, ' ');
        for (int i = 0; i < 17; ++i)
            out << cues;
        out << "</CueList></Production>";
    }
    const std::string fifo = (Folder / "fifo.xml").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {big, "Error reading from file/stream: the file is larger than 16 MiB\r\nLine: 1\r\n"},
        {fifo, "Error reading from file/stream: not a regular file\r\nLine: 1\r\n"},
    };
    for (const auto& [path, message] : cases) {
        TProduction production;
        try {
            production.LoadFromFile(path);
            ADD_FAILURE() << "no error for " << path;
        } catch (const EXMLParseError& error) {
            EXPECT_EQ(error.what(), message);
            EXPECT_NE(error.KeptFileName, "");
        }
    }
}

TEST(SettingsMessages, LoadErrorTellsWhereTheFileIsKept) {
    EXMLParseError error("Start-end tags mismatch\r\nLine: 1\r\n<a></b>");
    error.KeptFileName = "/opt/trelmo/Settings-unreadable-1.xml";
    EXPECT_EQ(LoadErrorText(error),
              "Start-end tags mismatch\r\nLine: 1\r\n<a></b>.\r\n\r\nThe unreadable settings file "
              "has been kept as /opt/trelmo/Settings-unreadable-1.xml. Trelmo starts with default "
              "settings.");
}

} // namespace
