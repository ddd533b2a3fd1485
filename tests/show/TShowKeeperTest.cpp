#include "ShowKeeperFixture.h"

#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

TEST_F(TShowKeeperTest, AChangeIsSavedAfterTheWaitAndAnUnchangedDocumentIsNotWrittenAgain) {
    TShowKeeper& keeper = Open();
    SetShow(Show(), "Rain");
    keeper.Changed();
    EXPECT_TRUE(keeper.SavePending());
    ASSERT_TRUE(SavedOnDisk("Rain"));
    EXPECT_EQ(ReadBytes(Path), Show().SaveToText());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !keeper.SaveFailed() && keeper.SavesPosted() == 1; }, WaitMs));

    keeper.Changed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keeper.SavePending(); }, WaitMs));
    EXPECT_EQ(keeper.SavesPosted(), 1u);
    EXPECT_EQ(Writer.Texts().size(), 1u);
}

// The window's thread hands saves over and goes on while the disk hangs; of the saves that
// wait meanwhile only the newest is written, after the one under way.
TEST_F(TShowKeeperTest, TheWindowsThreadGoesOnWhileTheDiskHangsAndTheLastSaveWins) {
    TShowKeeper& keeper = Open();
    Writer.SetOpen(false);
    SetShow(Show(), "First");
    keeper.SaveNow();
    ASSERT_TRUE(Writer.WaitForCalls(1));
    for (const char* description : {"Second", "Third"}) {
        SetShow(Show(), description);
        keeper.SaveNow();
    }
    EXPECT_EQ(Writer.Texts().size(), 1u);
    EXPECT_FALSE(fs::exists(Path));

    Writer.SetOpen(true);
    ASSERT_TRUE(SavedOnDisk("Third"));
    const std::vector<std::string> texts = Writer.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(Holds(texts[0], "First"));
    EXPECT_TRUE(Holds(texts[1], "Third"));
}

// The close waits for what the worker is writing and writes last.
TEST_F(TShowKeeperTest, TheSaveAtCloseWaitsForTheWorkerAndWritesLast) {
    TShowKeeper& keeper = Open();
    Writer.SetOpen(false);
    SetShow(Show(), "Early");
    keeper.SaveNow();
    ASSERT_TRUE(Writer.WaitForCalls(1));
    SetShow(Show(), "Final");
    std::thread opener([this] { Writer.SetOpen(true); });
    std::string failure;
    EXPECT_TRUE(keeper.SaveAtClose(failure)) << failure;
    opener.join();
    EXPECT_TRUE(Holds(ReadBytes(Path), "Final"));
    const std::vector<std::string> texts = Writer.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(Holds(texts[0], "Early"));
}

// A failed save is reported once it comes back; the next change after the folder is back
// saves everything and clears the report.
TEST_F(TShowKeeperTest, AFailedSaveIsReportedAndTheNextChangeSavesOnceTheFolderIsBack) {
    const std::string folder = Dir.filePath(QStringLiteral("show")).toStdString();
    const std::string path = folder + "/Settings.xml";
    TShowKeeper& keeper = Open(path);
    SetShow(Show(), "Storm");
    keeper.SaveNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !SaveProblem.empty(); }, WaitMs));
    EXPECT_TRUE(SaveProblem.starts_with("The settings could not be saved to " + path +
                                        ": No such file or directory."))
        << SaveProblem;
    EXPECT_TRUE(keeper.SaveFailed());

    fs::create_directory(folder);
    SetShow(Show(), "Wind");
    keeper.Changed();
    ASSERT_TRUE(SavedOnDisk("Wind", path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keeper.SaveFailed(); }, WaitMs));
    EXPECT_TRUE(SaveProblem.empty());
}

// A second Trelmo on the same document says who holds it and never writes it, also at close,
// until the operator saves it elsewhere; once the first has gone, the document can be taken
// again.
TEST_F(TShowKeeperTest, ASecondKeeperOfTheSameDocumentDoesNotSaveOverTheFirst) {
    TShowKeeper& first = Open();
    SetShow(Show(0), "First's edit");
    first.SaveNow();
    ASSERT_TRUE(SavedOnDisk("First's edit"));

    TShowKeeper& second = Open();
    ASSERT_EQ(StartUpProblems.size(), 1u);
    EXPECT_NE(StartUpProblems[0].find(Path), std::string::npos) << StartUpProblems[0];
    EXPECT_NE(StartUpProblems[0].find("(process " + std::to_string(::getpid()) + ")"),
              std::string::npos)
        << StartUpProblems[0];
    EXPECT_FALSE(second.Writes());
    EXPECT_EQ(SaveProblem, StartUpProblems[0]);
    EXPECT_TRUE(Holds(Show(1).SaveToText(), "First's edit"));
    SetShow(Show(1), "Second's edit");
    second.Changed();
    second.SaveNow();
    std::string failure;
    EXPECT_TRUE(second.SaveAtClose(failure));
    EXPECT_EQ(second.SavesPosted(), 0u);
    EXPECT_TRUE(Holds(ReadBytes(Path), "First's edit"));

    const std::string elsewhere = Dir.filePath(QStringLiteral("Elsewhere.xml")).toStdString();
    EXPECT_FALSE(second.SaveTo(Path, failure));
    EXPECT_EQ(failure, StartUpProblems[0]);
    ASSERT_TRUE(second.SaveTo(elsewhere, failure));
    EXPECT_TRUE(second.Writes());
    ASSERT_TRUE(SavedOnDisk("Second's edit", elsewhere));
    EXPECT_TRUE(Holds(ReadBytes(Path), "First's edit"));

    Keepers.erase(Keepers.begin());
    EXPECT_TRUE(Open().Writes());
    EXPECT_EQ(StartUpProblems.size(), 1u);
}

// A link to a drive that is not there is reported with its target, never replaced by a file,
// and the show goes to the target once it is back.
TEST_F(TShowKeeperTest, ADanglingLinkIsReportedKeptAndSavedThroughOnceItsTargetIsBack) {
    const std::string stick = Dir.filePath(QStringLiteral("stick")).toStdString();
    const std::string target = stick + "/Settings.xml";
    fs::create_symlink(target, Path);
    TShowKeeper& keeper = Open();
    ASSERT_EQ(StartUpProblems.size(), 1u);
    EXPECT_NE(StartUpProblems[0].find("is a link to " + target), std::string::npos)
        << StartUpProblems[0];

    SetShow(Show(), "On stage");
    keeper.SaveNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !SaveProblem.empty(); }, WaitMs));
    EXPECT_NE(SaveProblem.find(target), std::string::npos) << SaveProblem;
    EXPECT_TRUE(fs::is_symlink(Path));

    fs::create_directory(stick);
    keeper.Changed();
    SetShow(Show(), "Back again");
    ASSERT_TRUE(SavedOnDisk("Back again", target));
    EXPECT_TRUE(fs::is_symlink(Path));
    std::string failure;
    EXPECT_TRUE(keeper.SaveAtClose(failure)) << failure;
    EXPECT_TRUE(fs::is_symlink(Path));
    EXPECT_TRUE(Holds(ReadBytes(Path), "Back again"));
}

// What an interrupted save left is removed by the one that holds the document, and only that.
TEST_F(TShowKeeperTest, StaleTemporarySavesAreRemovedByTheHolderOnly) {
    struct Case {
        const char* Name;
        bool Removed;
    };
    const Case cases[] = {
        {"Settings.xml.tmp-a1B2c3", true},
        {"Settings.xml.tmp-a1B2c", false},
        {"Settings.xml.tmp-a1B2c3x", false},
        {"Other.xml.tmp-a1B2c3", false},
        {"Settings.xml", false},
    };
    std::ofstream(Path) << "<Production/>";
    Open();
    const auto plant = [&] {
        for (const Case& c : cases)
            if (std::string(c.Name) != "Settings.xml")
                std::ofstream(Dir.filePath(QString::fromLatin1(c.Name)).toStdString()) << "x";
    };
    plant();
    Open();
    for (const Case& c : cases)
        EXPECT_TRUE(fs::exists(Dir.filePath(QString::fromLatin1(c.Name)).toStdString()))
            << c.Name << " removed while another keeper holds the document";

    Keepers.clear();
    Open();
    for (const Case& c : cases)
        EXPECT_EQ(fs::exists(Dir.filePath(QString::fromLatin1(c.Name)).toStdString()), !c.Removed)
            << c.Name;
}
