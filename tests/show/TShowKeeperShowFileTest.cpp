#include "ShowKeeperFixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class TShowKeeperShowFileTest : public TShowKeeperTest {
public:
    void SetUp() override {
        TShowKeeperTest::SetUp();
        ShowFile = Dir.filePath(QStringLiteral("shows/Friday.trelmo")).toStdString();
        std::filesystem::create_directories(std::filesystem::path(ShowFile).parent_path());
    }
    // A show file holding one cue with that description.
    void WriteShow(const std::string& path, const std::string& description) {
        TProduction show;
        SetShow(show, description);
        ASSERT_TRUE(show.SaveToFile(path));
    }
    bool SettingsName(const std::string& show) {
        return QTest::qWaitFor(
            [&] {
                const std::string text = ReadBytes(Path);
                return text.find("<ShowFile>" + show + "</ShowFile>") != std::string::npos &&
                       text.find("<CueList/>") != std::string::npos;
            },
            WaitMs);
    }

    std::string ShowFile;
};

} // namespace

TEST_F(TShowKeeperShowFileTest, AnOpenedShowIsSavedAsYouGoToItsFileAndReopenedAtStartUp) {
    WriteShow(ShowFile, "Friday's bell");
    TShowKeeper& keeper = Open();
    std::string failure;
    ASSERT_TRUE(keeper.OpenShow(ShowFile, failure)) << failure;
    EXPECT_EQ(keeper.ShowPath(), ShowFile);
    ASSERT_EQ(Show().Cues.Count(), 1);
    EXPECT_EQ(Show().Cues.Items(0)->Description, "Friday's bell");
    ASSERT_TRUE(SettingsName(ShowFile));

    SetShow(Show(), "Friday's rain");
    keeper.Changed();
    ASSERT_TRUE(SavedOnDisk("Friday's rain", ShowFile));
    EXPECT_FALSE(Holds(ReadBytes(Path), "Friday's rain"));
    ASSERT_TRUE(keeper.SaveAtClose(failure)) << failure;
    Keepers.clear();

    Open();
    EXPECT_TRUE(StartUpProblems.empty());
    EXPECT_EQ(Show(1).Shows.Open, ShowFile);
    EXPECT_EQ(Show(1).Shows.Recent, std::vector<std::string>{ShowFile});
    ASSERT_EQ(Show(1).Cues.Count(), 1);
    EXPECT_EQ(Show(1).Cues.Items(0)->Description, "Friday's rain");
}

// Switching shows saves the change that waited for its save to the show it was made in.
TEST_F(TShowKeeperShowFileTest, NewShowSavesTheOpenShowFirstAndStartsEmptyInSettings) {
    WriteShow(ShowFile, "Friday's bell");
    TShowKeeper& keeper = Open();
    std::string failure;
    ASSERT_TRUE(keeper.OpenShow(ShowFile, failure)) << failure;
    SetShow(Show(), "Last change");
    keeper.Changed();
    keeper.NewShow();
    EXPECT_EQ(Show().Cues.Count(), 0);
    EXPECT_EQ(keeper.ShowPath(), Path);
    ASSERT_TRUE(SavedOnDisk("Last change", ShowFile));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ReadBytes(Path).find("ShowFile") == std::string::npos; }, WaitMs));
    EXPECT_NE(ReadBytes(Path).find("<RecentShows>"), std::string::npos);
}

TEST_F(TShowKeeperShowFileTest, SaveShowAsMovesTheShowFromSettingsIntoItsFile) {
    TShowKeeper& keeper = Open();
    SetShow(Show(), "Rehearsal");
    keeper.Changed();
    std::string failure;
    ASSERT_TRUE(keeper.SaveShowAs(ShowFile, failure)) << failure;
    ASSERT_TRUE(SavedOnDisk("Rehearsal", ShowFile));
    ASSERT_TRUE(SettingsName(ShowFile));
    EXPECT_EQ(ReadBytes(ShowFile), Show().ShowText(ShowFile));

    const std::string copy = Dir.filePath(QStringLiteral("copy.trelmo")).toStdString();
    ASSERT_TRUE(keeper.SaveTo(copy, failure)) << failure;
    ASSERT_TRUE(SavedOnDisk("Rehearsal", copy));
    EXPECT_EQ(keeper.ShowPath(), copy);
    EXPECT_TRUE(SettingsName(copy));
}

TEST_F(TShowKeeperShowFileTest, ShowsThatCannotBeOpenedChangeNothing) {
    const std::string broken = Dir.filePath(QStringLiteral("broken.trelmo")).toStdString();
    std::ofstream(broken) << "<Production><CueList></Production>";
    const std::string missing = Dir.filePath(QStringLiteral("missing.trelmo")).toStdString();
    TShowKeeper& keeper = Open();
    SetShow(Show(), "Kept");
    for (const std::string& path : {broken, missing}) {
        std::string failure;
        EXPECT_FALSE(keeper.OpenShow(path, failure));
        EXPECT_NE(failure.find(path), std::string::npos) << failure;
        EXPECT_EQ(keeper.ShowPath(), Path);
        ASSERT_EQ(Show().Cues.Count(), 1);
        EXPECT_EQ(Show().Cues.Items(0)->Description, "Kept");
    }
}

TEST_F(TShowKeeperShowFileTest, AShowFileGoneByTheNextStartIsToldAndTheShowStartsEmpty) {
    WriteShow(ShowFile, "On a stick");
    TShowKeeper& keeper = Open();
    std::string failure;
    ASSERT_TRUE(keeper.OpenShow(ShowFile, failure)) << failure;
    ASSERT_TRUE(keeper.SaveAtClose(failure)) << failure;
    Keepers.clear();
    std::filesystem::remove(ShowFile);

    TShowKeeper& next = Open();
    ASSERT_EQ(StartUpProblems.size(), 1u);
    EXPECT_NE(StartUpProblems[0].find(ShowFile), std::string::npos) << StartUpProblems[0];
    EXPECT_EQ(next.ShowPath(), Path);
    EXPECT_EQ(Show(1).Cues.Count(), 0);
    EXPECT_EQ(Show(1).Shows.Recent, std::vector<std::string>{ShowFile});
}

TEST_F(TShowKeeperShowFileTest, AShowOpenInAnotherTrelmoIsNotOpenedTwice) {
    WriteShow(ShowFile, "Friday's bell");
    std::string failure;
    ASSERT_TRUE(Open().OpenShow(ShowFile, failure)) << failure;
    TShowKeeper& other = Open(Dir.filePath(QStringLiteral("Other.xml")).toStdString());
    EXPECT_FALSE(other.OpenShow(ShowFile, failure));
    EXPECT_NE(failure.find("(process " + std::to_string(::getpid()) + ")"), std::string::npos)
        << failure;
    EXPECT_FALSE(other.SaveShowAs(ShowFile, failure));
    EXPECT_EQ(Show(1).Cues.Count(), 0);
    // Nor as the settings file that holds its name.
    const std::string ownSettings = Show(1).FileName;
    EXPECT_FALSE(other.SaveShowAs(ownSettings, failure));
    EXPECT_NE(failure.find("settings file of this Trelmo"), std::string::npos) << failure;
    EXPECT_EQ(other.ShowPath(), ownSettings);
}

// A save of Settings.xml that comes while the show file's save waits for a hung disk does not
// replace it: both are written, in order.
TEST_F(TShowKeeperShowFileTest, SavesOfDifferentFilesWaitingForTheDiskAreAllWritten) {
    TShowKeeper& keeper = Open();
    Writer.SetOpen(false);
    SetShow(Show(), "Blocker");
    keeper.SaveNow();
    ASSERT_TRUE(Writer.WaitForCalls(1));
    SetShow(Show(), "Into the show file");
    std::string failure;
    ASSERT_TRUE(keeper.SaveShowAs(ShowFile, failure)) << failure;
    Writer.SetOpen(true);
    ASSERT_TRUE(SavedOnDisk("Into the show file", ShowFile));
    ASSERT_TRUE(SettingsName(ShowFile));
}

// Settings.xml that cannot be written while a show file is open is told, and Retry writes it.
TEST_F(TShowKeeperShowFileTest, AFailedSaveOfTheSettingsIsToldAndRetried) {
    WriteShow(ShowFile, "Friday's bell");
    TShowKeeper& keeper = Open();
    std::filesystem::create_directories(std::filesystem::path(Path) / "in the way");
    std::string failure;
    ASSERT_TRUE(keeper.OpenShow(ShowFile, failure)) << failure;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !SaveProblem.empty(); }, WaitMs));
    EXPECT_NE(SaveProblem.find(Path), std::string::npos) << SaveProblem;

    std::filesystem::remove_all(Path);
    keeper.SaveNow();
    ASSERT_TRUE(SettingsName(ShowFile));
    ASSERT_TRUE(QTest::qWaitFor([&] { return SaveProblem.empty(); }, WaitMs));
}
