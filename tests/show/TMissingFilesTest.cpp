#include "TMissingFiles.h"
#include "TFileSearch.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class TMissingFilesTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Root = Dir.path().toStdString();
        for (const char* file : {"b/c/bell.wav", "a/bell.wav", "rain.wav", "z/present.wav",
                                 "y/door.wav", "x/door.wav"})
            Create(file);
    }
    void Create(const std::string& file) {
        fs::create_directories((fs::path(Root) / file).parent_path());
        std::ofstream(fs::path(Root) / file) << "RIFF";
    }
    TCue& AddCue(const std::string& fileName) {
        auto cue = std::make_unique<TCue>();
        cue->FileName = fileName;
        TCue& added = *cue;
        Cues.Add(std::move(cue));
        return added;
    }
    std::string In(const std::string& file) const { return (fs::path(Root) / file).string(); }

    QTemporaryDir Dir;
    std::string Root;
    TCueList Cues;
};

} // namespace

// Found once, found twice (at different and at equal depths: the nearest, then by path), not
// found; cues whose files are there or that have none are left alone.
TEST_F(TMissingFilesTest, MissingFilesAreFoundAtTheNearestPlace) {
    const TCue& bell = AddCue("/gone/bell.wav");
    const TCue& rain = AddCue("/gone/sub/rain.wav");
    const TCue& door = AddCue("/gone/door.wav");
    AddCue("/gone/thunder.wav");
    AddCue(In("z/present.wav"));
    AddCue("");
    AddCue("/gone/again/thunder.wav");
    EXPECT_EQ(TMissingFiles::NamesOf(Cues),
              (std::set<std::string>{"bell.wav", "door.wav", "rain.wav", "thunder.wav"}));

    std::atomic<bool> cancelled{false};
    std::atomic<uint64_t> folders{0};
    const TFileSearch::TResult found =
        TFileSearch::Search(Root, TMissingFiles::NamesOf(Cues), cancelled, folders);
    EXPECT_EQ(folders, 6u);
    const TMissingFiles plan = TMissingFiles::Plan(Cues, found);
    ASSERT_EQ(plan.Relinks.size(), 3u);
    const std::vector<std::pair<uint64_t, std::string>> expected = {
        {bell.Identity(), In("a/bell.wav")},
        {rain.Identity(), In("rain.wav")},
        {door.Identity(), In("x/door.wav")}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(plan.Relinks[i].Identity, expected[i].first);
        EXPECT_EQ(plan.Relinks[i].FileName, expected[i].second);
    }
    EXPECT_EQ(plan.NotFound, std::set<std::string>{"thunder.wav"});
    EXPECT_EQ(plan.FoundTwice, (std::set<std::string>{"bell.wav", "door.wav"}));
    EXPECT_EQ(plan.Message(found),
              "3 missing files were found and relinked. Not found: thunder.wav. Found in more "
              "than one place, the nearest taken: " +
                  In("a/bell.wav") + ", " + In("x/door.wav") + ".");
}

TEST_F(TMissingFilesTest, MessagesForNoneAndOne) {
    AddCue("/gone/rain.wav");
    std::atomic<bool> cancelled{false};
    std::atomic<uint64_t> folders{0};
    const TFileSearch::TResult found =
        TFileSearch::Search(Root, TMissingFiles::NamesOf(Cues), cancelled, folders);
    EXPECT_EQ(TMissingFiles::Plan(Cues, found).Message(found),
              "1 missing file was found and relinked.");
    EXPECT_EQ(TMissingFiles::Plan(Cues, {}).Message({}),
              "No missing file was found. Not found: rain.wav.");
}

TEST_F(TMissingFilesTest, TheSearchRunsOnAThreadOfItsOwnAndCanBeCancelled) {
    std::atomic<int> doneCalls{0};
    {
        TFileSearch search;
        search.Start(Root, {"rain.wav"}, [&] { ++doneCalls; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return search.Done(); }, 20000));
        EXPECT_EQ(search.Result().at("rain.wav").front().Path, In("rain.wav"));
        EXPECT_FALSE(search.Cancelled());
    }
    EXPECT_EQ(doneCalls, 1);

    std::atomic<bool> cancelled{true};
    std::atomic<uint64_t> folders{0};
    EXPECT_TRUE(TFileSearch::Search(Root, {"rain.wav"}, cancelled, folders).empty());
    // A search still under way when its object goes is cancelled and waited for.
    TFileSearch abandoned;
    abandoned.Start(Root, {"rain.wav"}, {});
    abandoned.Cancel();
    EXPECT_TRUE(abandoned.Cancelled());
}

TEST_F(TMissingFilesTest, LinkedFoldersAreNotFollowed) {
    fs::create_directory_symlink(Root, fs::path(Root) / "loop");
    std::atomic<bool> cancelled{false};
    std::atomic<uint64_t> folders{0};
    const TFileSearch::TResult found = TFileSearch::Search(Root, {"rain.wav"}, cancelled, folders);
    ASSERT_EQ(found.at("rain.wav").size(), 1u);
}
