#include "TShowCollector.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TShowCollectorTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Root = Dir.path().toStdString();
        Media = In("show/media");
    }
    std::string In(const std::string& file) const { return (fs::path(Root) / file).string(); }
    std::string Create(const std::string& file, const std::string& bytes = "RIFF") {
        fs::create_directories(fs::path(In(file)).parent_path());
        std::ofstream(In(file), std::ios::binary) << bytes;
        return In(file);
    }
    std::vector<std::string> MediaFiles() const {
        std::vector<std::string> files;
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(Media, ec))
            files.push_back(entry.path().filename().string());
        std::ranges::sort(files);
        return files;
    }
    bool Finished(const TShowCollector& collector) {
        return QTest::qWaitFor([&] { return collector.Done(); }, 20000);
    }

    QTemporaryDir Dir;
    std::string Root;
    std::string Media;
};

} // namespace

TEST_F(TShowCollectorTest, NamesAreKeptUniqueAndEachFileIsCopiedOnce) {
    Create("show/media/rain.wav");
    const std::vector<std::string> files = {"/a/bell.wav", "/b/bell.wav", "/a/bell.wav", "",
                                            "/c/rain.wav", "/d/bell",     "/e/bell"};
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"/a/bell.wav", "bell.wav"},
        {"/b/bell.wav", "bell (2).wav"},
        {"/c/rain.wav", "rain (2).wav"},
        {"/d/bell", "bell"},
        {"/e/bell", "bell (2)"}};
    const std::vector<TShowCollector::TCopy> copies = TShowCollector::Plan(files, Media);
    ASSERT_EQ(copies.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(copies[i].From, expected[i].first);
        EXPECT_EQ(copies[i].To, Media + "/" + expected[i].second);
    }
}

TEST_F(TShowCollectorTest, EveryFileIsCopiedWithNothingLeftBeside) {
    TShowCollector collector;
    collector.Start(TShowCollector::Plan(
        {Create("a/bell.wav", "bell"), Create("b/bell.wav", "other bell")}, Media));
    ASSERT_TRUE(Finished(collector));
    EXPECT_TRUE(collector.Ok()) << collector.Failure();
    EXPECT_EQ(collector.Copied(), 2u);
    EXPECT_EQ(MediaFiles(), (std::vector<std::string>{"bell (2).wav", "bell.wav"}));
    EXPECT_EQ(ReadBytes(Media + "/bell (2).wav"), "other bell");
}

// A disk that fills up on the second file: the first copy is taken away again and the reason
// is told.
TEST_F(TShowCollectorTest, AFailedCopyRemovesTheCopiesOfTheRun) {
    int calls = 0;
    TShowCollector collector(
        [&](const std::string& from, const std::string& to, std::string& failure) {
            if (++calls == 2) {
                failure = "copying " + from + " failed: No space left on device";
                return false;
            }
            return TShowCollector::CopyFile(from, to, failure);
        });
    collector.Start(
        TShowCollector::Plan({Create("a.wav"), Create("b.wav"), Create("c.wav")}, Media));
    ASSERT_TRUE(Finished(collector));
    EXPECT_FALSE(collector.Ok());
    EXPECT_NE(collector.Failure().find("No space left on device"), std::string::npos);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(MediaFiles().empty());
}

TEST_F(TShowCollectorTest, ACancelledRunRemovesItsCopies) {
    TShowCollector collector(
        [&](const std::string& from, const std::string& to, std::string& failure) {
            return TShowCollector::CopyFile(from, to, failure);
        });
    collector.Cancel();
    collector.Start(TShowCollector::Plan({Create("a.wav"), Create("b.wav")}, Media));
    ASSERT_TRUE(Finished(collector));
    EXPECT_FALSE(collector.Ok());
    EXPECT_EQ(collector.Failure(), "cancelled");
    EXPECT_TRUE(MediaFiles().empty());
}

// The real copy on a disk that is full for the file: a child process whose file size limit is
// smaller than the file.
TEST_F(TShowCollectorTest, ACopyThatDoesNotFitLeavesNothing) {
    const std::string big = Create("big.wav", std::string(64 * 1024, 'x'));
    const std::string to = Media + "/big.wav";
    fs::create_directories(Media);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string failure;
        const bool copied = TShowCollector::CopyFile(big, to, failure);
        ::_exit(!copied && failure.find(big) != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(MediaFiles().empty());
}
