#include "TShowFiles.h"
#include "TLevelControls.h"
#include "TProduction.h"
#include "TShowControl.h"
#include "TShowKeeper.h"
#include "UiTestFixture.h"

#include <QAction>
#include <QMenu>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr int WaitMs = 20000;

class TShowFilesTest : public UiTestFixture {
public:
    void SetUp() override {
        UiTestFixture::SetUp();
        Form->ShowFiles->ChooseShowToSave = [this](const QString& suggested) {
            Suggested = suggested;
            return SaveAnswer;
        };
        Form->ShowFiles->ChooseShowToOpen = [this](const QString&) { return OpenAnswer; };
    }
    // A show file holding cues with these descriptions, their audio files beside it.
    std::string WriteShow(const std::string& path, const std::vector<std::string>& cues,
                          TVolumeScale scale = TVolumeScale::Linear) {
        TProduction show;
        show.FileName = path;
        show.Playback.Levels.Scale = scale;
        for (const std::string& description : cues) {
            auto cue = std::make_unique<TCue>();
            cue->Description = description;
            cue->FileName = (fs::path(path).parent_path() / "media" / (description + ".wav"));
            fs::create_directories(fs::path(cue->FileName).parent_path());
            std::ofstream(cue->FileName) << "RIFF";
            show.Cues.Add(std::move(cue));
        }
        EXPECT_TRUE(show.SaveToFile(path));
        return path;
    }
    std::string InDir(const std::string& name) const { return AudioFile(name); }
    QStringList RecentShows() const {
        QStringList shows;
        for (QAction* action : Form->ActionList1->RecentShowsMenu->actions())
            shows << action->data().toString();
        return shows;
    }

    QString SaveAnswer;
    QString OpenAnswer;
    QString Suggested;
};

} // namespace

TEST_F(TShowFilesTest, SaveShowAsKeepsTheShowInItsFileAndSettingsNameIt) {
    AddCue("Bell");
    fs::create_directories(InDir("shows"));
    SaveAnswer = QString::fromStdString(InDir("shows/Friday"));
    Form->ActionList1->actSaveShowAs->trigger();
    const std::string file = InDir("shows/Friday.trelmo");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ReadFile(file).find("<Description>Bell</Description>") != std::string::npos; },
        WaitMs));
    EXPECT_NE(ReadFile(file).find("<FileName>" + InDir("Bell.wav") + "</FileName>"),
              std::string::npos);
    EXPECT_EQ(Form->windowTitle(), QString::fromUtf8("Friday.trelmo \u2013 Trelmo"));
    EXPECT_EQ(RecentShows(), QStringList{QString::fromStdString(file)});
    EXPECT_TRUE(Questions.isEmpty());

    SaveAnswer.clear();
    Form->ActionList1->actSaveShowAs->trigger();
    EXPECT_EQ(Suggested, QString::fromStdString(file));
    Form->close();
    const std::string settings = ReadFile(Form->Production->FileName);
    EXPECT_NE(settings.find("<ShowFile>" + file + "</ShowFile>"), std::string::npos);
    EXPECT_NE(settings.find("<CueList/>"), std::string::npos);
}

// Leaving a show asks while its cues play and when they are in no show file; No leaves it as
// it was, Yes stops the cues and opens the other show.
TEST_F(TShowFilesTest, LeavingAShowAsksFirst) {
    const std::string other = WriteShow(InDir("other/other.trelmo"), {"Other"});
    struct TCase {
        bool Playing;
        bool Answer;
        int Questions;
    };
    const TCase cases[] = {
        {false, false, 1},
        {false, true, 1},
        {true, false, 1},
        {true, true, 2},
    };
    for (const TCase& c : cases) {
        Form->Keeper->NewShow();
        Questions.clear();
        TCue& cue = AddCue("Bell");
        if (c.Playing) {
            ASSERT_TRUE(cue.Play());
        }
        const HSTREAM stream = cue.Stream();
        CloseAnswer = c.Answer;
        Form->ShowFiles->Open(QString::fromStdString(other));
        EXPECT_EQ(Questions.size(), c.Questions) << Questions.join(u'|').toStdString();
        if (c.Playing) {
            EXPECT_TRUE(Questions.front().startsWith(QStringLiteral("1 cue of this show")));
        }
        EXPECT_EQ(Descriptions(), std::vector<std::string>{c.Answer ? "Other" : "Bell"});
        EXPECT_EQ(Form->Production->Shows.Open, c.Answer ? other : std::string());
        if (c.Playing && !c.Answer) {
            EXPECT_EQ(Cues().Items(0)->State(), csPlaying);
        }
        if (c.Playing && c.Answer) {
            EXPECT_EQ(std::count(Audio.Freed.begin(), Audio.Freed.end(), stream), 1);
        }
        if (!c.Answer)
            Cues().StopAll();
    }
}

// A double click in a file manager, or a later launch on one show file, opens it here; other
// argument lists run as before.
TEST_F(TShowFilesTest, AForwardedShowFileOpensTheShow) {
    const std::string show = WriteShow(InDir("forwarded.trelmo"), {"Forwarded", "Second"});
    const std::string notAShow = InDir("forwarded.xml");
    fs::copy_file(show, notAShow);
    Form->AppInstances1CmdLineReceived({notAShow});
    EXPECT_TRUE(Descriptions().empty());
    Form->AppInstances1CmdLineReceived({InDir("missing.trelmo")});
    EXPECT_TRUE(Descriptions().empty());
    Form->AppInstances1CmdLineReceived({show});
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"Forwarded", "Second"}));
    EXPECT_EQ(Form->windowTitle(), QString::fromUtf8("forwarded.trelmo \u2013 Trelmo"));
    Form->AppInstances1CmdLineReceived({"play", "2"});
    EXPECT_EQ(Cues().Items(1)->State(), csPlaying);
}

TEST_F(TShowFilesTest, AShowFolderCopiedElsewherePlaysEveryCue) {
    WriteShow(InDir("tour/show.trelmo"), {"Door", "Rain", "Bell"});
    fs::create_directories(InDir("venue"));
    fs::copy(InDir("tour"), InDir("venue/tour"), fs::copy_options::recursive);
    fs::remove_all(InDir("tour"));
    OpenAnswer = QString::fromStdString(InDir("venue/tour/show.trelmo"));
    Form->ActionList1->actOpenShow->trigger();
    ASSERT_EQ(Descriptions(), (std::vector<std::string>{"Door", "Rain", "Bell"}));
    for (int32_t i = 0; i < Cues().Count(); ++i) {
        TCue& cue = *Cues().Items(i);
        EXPECT_EQ(fs::path(cue.FileName).parent_path(), fs::path(InDir("venue/tour/media")));
        EXPECT_TRUE(cue.Play()) << cue.FileName;
    }
    EXPECT_EQ(Form->Production->Shows.Recent.front(), InDir("venue/tour/show.trelmo"));
}

// The levels of a show's cues mean what they meant where it was made.
TEST_F(TShowFilesTest, AShowPlaysInTheVolumeScaleItWasMadeIn) {
    const std::string made = WriteShow(InDir("decibels.trelmo"), {"Loud"}, TVolumeScale::Decibels);
    const std::string old = WriteShow(InDir("old.trelmo"), {"Old"});
    Form->ShowFiles->Open(QString::fromStdString(made));
    EXPECT_EQ(Form->Show().Levels().Scale, TVolumeScale::Decibels);
    EXPECT_TRUE(Form->Levels->actTrueDecibels->isChecked());
    Form->ShowFiles->Open(QString::fromStdString(old));
    EXPECT_EQ(Form->Show().Levels().Scale, TVolumeScale::Linear);
    EXPECT_FALSE(Form->Levels->actTrueDecibels->isChecked());
}

// What goes wrong is told in the strip, never in a box: cues may be playing.
TEST_F(TShowFilesTest, AShowThatCannotBeOpenedIsToldInTheStrip) {
    const std::string missing = InDir("missing.trelmo");
    Form->ShowFiles->Open(QString::fromStdString(missing));
    EXPECT_TRUE(
        Form->MessageStrip->Text(QStringLiteral("show")).contains(QString::fromStdString(missing)));
    EXPECT_TRUE(Errors.isEmpty());
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("Trelmo"));
    const std::string show = WriteShow(InDir("good.trelmo"), {"Good"});
    Form->ShowFiles->Open(QString::fromStdString(show));
    EXPECT_TRUE(Form->MessageStrip->Text(QStringLiteral("show")).isEmpty());
}

TEST_F(TShowFilesTest, NewShowStartsEmptyInSettingsAfterTheOpenShowIsSaved) {
    const std::string show = WriteShow(InDir("friday.trelmo"), {"Friday"});
    Form->ShowFiles->Open(QString::fromStdString(show));
    Cues().Items(0)->Description = "Changed";
    Form->Keeper->Changed();
    Form->ActionList1->actNewShow->trigger();
    EXPECT_TRUE(Questions.isEmpty());
    EXPECT_TRUE(Descriptions().empty());
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("Trelmo"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ReadFile(show).find("<Description>Changed<") != std::string::npos; }, WaitMs));
    EXPECT_EQ(RecentShows(), QStringList{QString::fromStdString(show)});
}
