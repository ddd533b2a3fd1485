// Undo and redo of a cue's new settings name the cue by its identity: a cue that has left the
// list, by whatever way, is refused with a reason instead of being written to.
#include "TCueCommands.h"

#include "FakeAudioLibrary.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace {

class CueCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        std::ofstream(File) << "x";
        for (const char* name : {"Rain", "Wind"}) {
            auto cue = std::make_unique<TCue>();
            cue->Description = name;
            cue->FileName = File;
            Cues.Add(std::move(cue));
        }
    }
    // Renames cue `number` and records the change.
    void Rename(int32_t number, const std::string& description) {
        TCue& cue = *Cues.Items(number - 1);
        const TCueSettings before = TCueSettings::Of(cue);
        cue.Description = description;
        Stack.Push(std::make_unique<TCueEditCommand>(Cues, cue, before));
    }

    FakeAudioLibrary Audio;
    QTemporaryDir Dir;
    std::string File = Dir.filePath(QStringLiteral("cue.wav")).toStdString();
    TCueList Cues;
    TCueUndoStack Stack;
};

} // namespace

TEST_F(CueCommandsTest, AnEditIsUndoneAndRedoneOnTheCueItWasMadeTo) {
    Rename(2, "Storm");
    Cues.Move(1, 0);
    EXPECT_EQ(Stack.UndoNow(), 1) << "the cue's row now";
    EXPECT_EQ(Cues.Items(0)->Description, "Wind");
    EXPECT_EQ(Cues.Items(1)->Description, "Rain");
    EXPECT_EQ(Stack.RedoNow(), 1);
    EXPECT_EQ(Cues.Items(0)->Description, "Storm");
}

TEST_F(CueCommandsTest, AnEditOfACueThatCannotTakeItIsRefusedWithAReason) {
    struct Case {
        const char* Name;
        std::function<void(TCueList&)> Then;
        const char* Refusal;
    };
    const Case cases[] = {
        {"the cue plays", [](TCueList& cues) { ASSERT_TRUE(cues.Items(1)->Play()); },
         "The cue that was changed plays; stop it first."},
        // Taken out and released behind the history's back; a new cue takes its place, maybe
        // at the same address.
        {"the cue is gone",
         [](TCueList& cues) {
             cues.Delete(1);
             auto cue = std::make_unique<TCue>();
             cue->Description = "Bell";
             cues.Add(std::move(cue));
         },
         "The cue that was changed is no longer in the cue list."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Rename(2, "Storm");
        c.Then(Cues);
        const std::string kept = Cues.Items(1)->Description;
        EXPECT_FALSE(Stack.CanUndoNow());
        EXPECT_EQ(Stack.UndoRefusal(), QLatin1String(c.Refusal));
        EXPECT_EQ(Stack.UndoNow(), -1);
        EXPECT_EQ(Cues.Items(1)->Description, kept);
        EXPECT_EQ(Cues.Items(0)->Description, "Rain");
        Cues.StopAll();
    }
}

TEST_F(CueCommandsTest, NothingToUndoGivesNoReason) {
    EXPECT_EQ(Stack.UndoRefusal(), QString());
    Rename(1, "Drizzle");
    EXPECT_EQ(Stack.UndoRefusal(), QString());
    EXPECT_EQ(Stack.RedoRefusal(), QString());
}
