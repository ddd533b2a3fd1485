#include "TFindMissingFiles.h"
#include "TCueCommands.h"
#include "TMessageStrip.h"
#include "UiTestFixture.h"

#include <QAction>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class TFindMissingFilesTest : public UiTestFixture {
public:
    void SetUp() override {
        UiTestFixture::SetUp();
        for (const char* file : {"search/b/c/bell.wav", "search/a/bell.wav", "search/door.wav"}) {
            fs::create_directories(fs::path(AudioFile(file)).parent_path());
            std::ofstream(AudioFile(file)) << "RIFF";
        }
        Form->FindMissingFiles->ChooseFolder = [this] {
            return QString::fromStdString(AudioFile("search"));
        };
    }
    TCue& AddMissing(const std::string& description, const std::string& file) {
        TCue& cue = AddCue(description, false);
        cue.FileName = file;
        return cue;
    }
    QString Told() const { return Form->MessageStrip->Text(QStringLiteral("missing")); }
    std::vector<std::string> FileNames() const {
        std::vector<std::string> names;
        for (int32_t i = 0; i < Cues().Count(); ++i)
            names.push_back(Cues().Items(i)->FileName);
        return names;
    }
};

} // namespace

TEST_F(TFindMissingFilesTest, FoundFilesAreRelinkedInOneUndoableStep) {
    AddMissing("Bell", "/gone/bell.wav");
    AddMissing("Rain", "/gone/rain.wav");
    AddMissing("Door", "/gone/sub/door.wav");
    TCue& present = AddCue("Present");
    const std::vector<std::string> before = FileNames();
    Form->ActionList1->actFindMissingFiles->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->FindMissingFiles->Searching(); }, 20000));
    const std::vector<std::string> after = {AudioFile("search/a/bell.wav"), "/gone/rain.wav",
                                            AudioFile("search/door.wav"), present.FileName};
    EXPECT_EQ(FileNames(), after);
    EXPECT_EQ(Told().toStdString(),
              "2 missing files were found and relinked. Not found: rain.wav. Found in more than "
              "one place, the nearest taken: " +
                  AudioFile("search/a/bell.wav") + ".");

    Form->ActionList1->actUndo->trigger();
    EXPECT_EQ(FileNames(), before);
    Form->ActionList1->actRedo->trigger();
    EXPECT_EQ(FileNames(), after);
}

TEST_F(TFindMissingFilesTest, ACancelledSearchChangesNothing) {
    AddMissing("Bell", "/gone/bell.wav");
    Form->ActionList1->actFindMissingFiles->trigger();
    ASSERT_TRUE(Form->FindMissingFiles->Searching());
    Form->FindMissingFiles->Cancel();
    EXPECT_FALSE(Form->FindMissingFiles->Searching());
    EXPECT_EQ(FileNames(), std::vector<std::string>{"/gone/bell.wav"});
    EXPECT_TRUE(Told().contains(QStringLiteral("cancelled")));
    EXPECT_FALSE(Form->UndoStack->canUndo());
}

TEST_F(TFindMissingFilesTest, NothingMissingAsksForNoFolder) {
    AddCue("Present");
    bool asked = false;
    Form->FindMissingFiles->ChooseFolder = [&] {
        asked = true;
        return QString();
    };
    Form->ActionList1->actFindMissingFiles->trigger();
    EXPECT_FALSE(asked);
    EXPECT_EQ(Told(), QStringLiteral("No cue's audio file is missing."));
}
