#include "TCollectShow.h"
#include "TCueCommands.h"
#include "TMessageStrip.h"
#include "TShowFiles.h"
#include "TShowKeeper.h"
#include "UiTestFixture.h"

#include <QAction>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr int WaitMs = 20000;

class TCollectShowTest : public UiTestFixture {
public:
    void SetUp() override {
        UiTestFixture::SetUp();
        Target = AudioFile("collected/show.trelmo");
        Form->CollectShow->ChooseShowToSave = [this](const QString&) {
            return QString::fromStdString(AudioFile("collected/show"));
        };
    }
    TCue& AddCueIn(const std::string& folder, const std::string& description) {
        TCue& cue = AddCue(description, false);
        cue.FileName = AudioFile(folder + "/" + description + ".wav");
        fs::create_directories(fs::path(cue.FileName).parent_path());
        std::ofstream(cue.FileName) << description;
        return cue;
    }
    bool Collect() {
        Form->ActionList1->actCollectShow->trigger();
        return QTest::qWaitFor([&] { return !Form->CollectShow->Copying(); }, WaitMs);
    }
    QString Told() const { return Form->MessageStrip->Text(QStringLiteral("collect")); }

    std::string Target;
};

} // namespace

TEST_F(TCollectShowTest, TheShowFolderHoldsEveryFileTheShowNeeds) {
    fs::create_directories(AudioFile("collected"));
    TCue& bell = AddCueIn("a", "Bell");
    TCue& other = AddCueIn("b", "Bell");
    TCue& missing = AddCue("Gone", false);
    missing.FileName = "/gone/gone.wav";
    const std::string bellBefore = bell.FileName;
    ASSERT_TRUE(Collect());
    EXPECT_EQ(bell.FileName, AudioFile("collected/media/Bell.wav"));
    EXPECT_EQ(other.FileName, AudioFile("collected/media/Bell (2).wav"));
    EXPECT_EQ(ReadFile(other.FileName), "Bell");
    EXPECT_EQ(missing.FileName, "/gone/gone.wav");
    EXPECT_EQ(Form->Production->Shows.Open, Target);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return ReadFile(Target).find("<FileName>media/Bell (2).wav</FileName>") !=
                   std::string::npos;
        },
        WaitMs));
    EXPECT_TRUE(Told().contains(QStringLiteral("2 audio files")));
    Form->ActionList1->actUndo->trigger();
    EXPECT_EQ(bell.FileName, bellBefore);
}

// A disk that fills up: the open show, its file and its cues stay as they were.
TEST_F(TCollectShowTest, AFullDiskLeavesTheOriginalShowUntouched) {
    const std::string original = AudioFile("original.trelmo");
    {
        TProduction show;
        show.FileName = original;
        ASSERT_TRUE(show.SaveToFile(original));
    }
    Form->ShowFiles->Open(QString::fromStdString(original));
    AddCueIn("a", "Bell");
    AddCueIn("a", "Rain");
    Form->Keeper->SaveNow();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ReadFile(original).find("Rain") != std::string::npos; }, WaitMs));
    const std::string before = ReadFile(original);
    const std::vector<std::string> files = {Cues().Items(0)->FileName, Cues().Items(1)->FileName};
    Form->CollectShow->Copier = [](const std::string& from, const std::string& to,
                                   std::string& failure) {
        if (from.ends_with("Rain.wav")) {
            failure = "copying " + from + " failed: No space left on device";
            return false;
        }
        return TShowCollector::CopyFile(from, to, failure);
    };
    ASSERT_TRUE(Collect());
    EXPECT_TRUE(Told().contains(QStringLiteral("No space left on device"))) << Told().toStdString();
    EXPECT_EQ(Form->Production->Shows.Open, original);
    EXPECT_EQ((std::vector<std::string>{Cues().Items(0)->FileName, Cues().Items(1)->FileName}),
              files);
    EXPECT_FALSE(fs::exists(Target));
    EXPECT_FALSE(fs::exists(AudioFile("collected/media/Bell.wav")));
    EXPECT_FALSE(Form->UndoStack->canUndo());
    EXPECT_EQ(ReadFile(original), before);
}
