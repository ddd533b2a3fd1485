#include "UiTestFixture.h"

#include "TCueCommands.h"
#include "TCueLengths.h"
#include "TCueSettings.h"
#include "TCueXml.h"
#include "TMessageStrip.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

// Every stored field of a cue, as the settings document writes it.
std::string CueState(const TCue& cue) {
    pugi::xml_document document;
    SaveToXML(cue, document.append_child("Cue"));
    std::ostringstream out;
    document.save(out, "", pugi::format_raw);
    return out.str();
}

// Every stored field of every cue, in list order.
std::string ListState(const TCueList& cues) {
    std::string state;
    for (int32_t i = 0; i < cues.Count(); ++i)
        state += CueState(*cues.Items(i)) + '\n';
    return state;
}

} // namespace

class TCueEditingTest : public UiTestFixture {
public:
    void AddCues(int count) {
        for (int i = 1; i <= count; ++i)
            AddCue("Cue " + std::to_string(i));
    }
    // Gives cue 2 settings that all differ from the defaults.
    void Customise(TCue& cue) {
        cue.UID = "7";
        cue.SetAudioChannel(3);
        cue.SetVolumeDB(-12);
        cue.SetPan(-40);
        cue.SetPitch(90);
        cue.Loop = true;
        cue.SetFadeIn(15);
        cue.SetFadeOut(25);
        cue.SetPostWait(5);
        cue.SetContinue(TCueContinue::AutoFollow);
    }
    // Until Settings.xml holds the show as it is now.
    bool Saved() const {
        return QTest::qWaitFor(
            [&] {
                return ReadFile(SettingsFile().toStdString()) == Form->Production->SaveToText();
            },
            20000);
    }
    void EditCell(int32_t row, int col, const QVariant& value, int role = Qt::EditRole) {
        ASSERT_TRUE(Model().setData(Cell(row, col), value, role));
    }
    QString Text(int32_t row, int col = ccDescription) const {
        return Model().data(Cell(row, col)).toString();
    }
    QString SettingsFile() const { return QString::fromStdString(Form->Production->FileName); }
};

TEST_F(TCueEditingTest, AddFilesPutsTheChosenFilesAfterTheCurrentCueInTheOrderChosen) {
    struct Case {
        const char* Name;
        int Cues;
        int32_t Row;
        std::vector<std::string> Expected;
        int32_t CurrentAfter;
    };
    const Case cases[] = {
        {"after the second of four",
         4,
         2,
         {"Cue 1", "Cue 2", "Thunder", "rain.take 2", "Door bell", "Cue 3", "Cue 4"},
         5},
        {"empty list", 0, 1, {"Thunder", "rain.take 2", "Door bell"}, 3},
        {"after the last", 1, 1, {"Cue 1", "Thunder", "rain.take 2", "Door bell"}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        AddCues(c.Cues);
        Show();
        SelectCell(c.Row);
        DialogFiles = {Dir.filePath(QStringLiteral("Thunder.wav")),
                       Dir.filePath(QStringLiteral("rain.take 2.ogg")),
                       QStringLiteral("/shows/Door bell.flac")};
        Form->ActionList1->actAddFiles->trigger();
        ASSERT_EQ(DialogRequests.size(), 1u);
        EXPECT_TRUE(DialogRequests[0].MultipleFiles);
        EXPECT_EQ(DialogRequests[0].Folder, QString());
        EXPECT_EQ(Descriptions(), c.Expected);
        const int32_t first = c.Cues == 0 ? 0 : c.Row;
        EXPECT_EQ(Cues().Items(first)->FileName, DialogFiles[0].toStdString());
        EXPECT_EQ(Cues().Items(first + 2)->FileName, "/shows/Door bell.flac");
        EXPECT_EQ(Model().rowCount(), static_cast<int>(c.Expected.size()));
        EXPECT_EQ(Text(first + 3), QStringLiteral("Door bell"));
        // Each new cue reports its own state; the last of them is current.
        EXPECT_FALSE(Cues().Items(first + 1)->UID.empty());
        EXPECT_NE(Cues().Items(first)->UID, Cues().Items(first + 2)->UID);
        EXPECT_EQ(Cues().Current(), c.CurrentAfter);
        EXPECT_EQ(Form->grSounds->CurrentRow(), c.CurrentAfter);
    }
}

TEST_F(TCueEditingTest, AddFilesStartsInTheFolderOfTheLastFileChosenAndCancelAddsNothing) {
    AddCues(2);
    Show();
    DialogFiles.clear();
    Form->ActionList1->actAddFiles->trigger();
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"Cue 1", "Cue 2"}));
    EXPECT_FALSE(Form->ActionList1->actUndo->isEnabled());

    DialogFiles = {QStringLiteral("/shows/act 1/a.wav"), QStringLiteral("/shows/act 2/b.wav")};
    Form->ActionList1->actAddFiles->trigger();
    DialogFiles.clear();
    Form->ActionList1->actAddFiles->trigger();
    ASSERT_EQ(DialogRequests.size(), 3u);
    EXPECT_EQ(DialogRequests[2].Folder, QStringLiteral("/shows/act 2"));
    EXPECT_EQ(Cues().Count(), 4);
}

TEST_F(TCueEditingTest, AddFilesIsAllowedWhenInsertIs) {
    AddCues(2);
    Show();
    EXPECT_TRUE(Form->ActionList1->actAddFiles->isEnabled());
    Cues().Items(1)->Play();
    EXPECT_FALSE(Form->ActionList1->actAddFiles->isEnabled());
    Cues().Items(1)->Pause();
    EXPECT_FALSE(Form->ActionList1->actAddFiles->isEnabled());
    Cues().Items(1)->Stop();
    EXPECT_TRUE(Form->ActionList1->actAddFiles->isEnabled());
}

TEST_F(TCueEditingTest, EveryKindOfChangeIsUndoneAndRedone) {
    struct Case {
        const char* Name;
        std::function<void(TCueEditingTest&)> Change;
    };
    const Case cases[] = {
        {"description", [](TCueEditingTest& t) { t.EditCell(2, ccDescription, "Storm"); }},
        {"volume", [](TCueEditingTest& t) { t.EditCell(2, ccVolume, "-30dB"); }},
        {"pan", [](TCueEditingTest& t) { t.EditCell(2, ccPan, 55); }},
        {"pitch", [](TCueEditingTest& t) { t.EditCell(2, ccPitch, 120); }},
        {"output", [](TCueEditingTest& t) { t.EditCell(2, ccOutput, 2); }},
        {"loop",
         [](TCueEditingTest& t) { t.EditCell(2, ccLoop, Qt::Unchecked, Qt::CheckStateRole); }},
        {"file by double click",
         [](TCueEditingTest& t) {
             t.DialogAnswer = QStringLiteral("/shows/other.wav");
             Q_EMIT t.Form->grSounds->DblClickCell(2, ccFileName);
         }},
        {"insert",
         [](TCueEditingTest& t) {
             t.DialogAnswer = QStringLiteral("/shows/new.wav");
             t.Form->ActionList1->actInsertCue->trigger();
         }},
        {"add files",
         [](TCueEditingTest& t) {
             t.DialogFiles = {QStringLiteral("/shows/x.wav"), QStringLiteral("/shows/y.wav")};
             t.Form->ActionList1->actAddFiles->trigger();
         }},
        {"delete of a cue with its own settings",
         [](TCueEditingTest& t) { t.Form->ActionList1->actDeleteCue->trigger(); }},
        {"move", [](TCueEditingTest& t) { t.Form->grSounds->verticalHeader()->moveSection(1, 3); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        AddCues(4);
        Customise(*Cues().Items(1));
        Show();
        SelectCell(2);
        const std::string before = ListState(Cues());
        c.Change(*this);
        const std::string after = ListState(Cues());
        ASSERT_NE(after, before);
        ASSERT_TRUE(Form->ActionList1->actUndo->isEnabled());
        EXPECT_FALSE(Form->ActionList1->actRedo->isEnabled());

        Form->ActionList1->actUndo->trigger();
        EXPECT_EQ(ListState(Cues()), before);
        EXPECT_EQ(Cues().Current(), Form->grSounds->CurrentRow());
        EXPECT_EQ(Text(2), QString::fromStdString(Cues().Items(1)->Description));
        EXPECT_FALSE(Form->ActionList1->actUndo->isEnabled());
        ASSERT_TRUE(Form->ActionList1->actRedo->isEnabled());

        Form->ActionList1->actRedo->trigger();
        EXPECT_EQ(ListState(Cues()), after);
        Form->ActionList1->actUndo->trigger();
        EXPECT_EQ(ListState(Cues()), before);
        EXPECT_EQ(Model().rowCount(), 4);
    }
}

// What an edit can change of a cue is everything the settings document stores of it, so an edit
// of any column, present or to come, is taken back whole.
TEST_F(TCueEditingTest, TheEditedSettingsAreEverythingStoredButTheUID) {
    TCue customised;
    Customise(customised);
    customised.Description = "Storm";
    customised.FileName = "/shows/storm.wav";
    customised.SetPreWait(20);
    TCue fresh;
    fresh.UID = customised.UID;
    ASSERT_NE(CueState(fresh), CueState(customised));
    TCueSettings::Of(customised).ApplyTo(fresh);
    EXPECT_EQ(CueState(fresh), CueState(customised));
}

// Every column an operator can edit: the edit is one step of the undo history, which Undo takes
// back before any earlier edit, and Settings.xml holds it soon after.
TEST_F(TCueEditingTest, AnEditOfEveryEditableColumnIsUndoneAndSaved) {
    struct Case {
        int Col;
        QVariant Value;
        int Role;
    };
    const Case cases[] = {
        {ccDescription, QStringLiteral("Storm"), Qt::EditRole},
        {ccVolume, QStringLiteral("-30dB"), Qt::EditRole},
        {ccPan, 55, Qt::EditRole},
        {ccPitch, 120, Qt::EditRole},
        {ccLoop, Qt::Unchecked, Qt::CheckStateRole},
        {ccOutput, 2, Qt::EditRole},
        {ccFadeIn, QStringLiteral("4.5"), Qt::EditRole},
        {ccFadeOut, QStringLiteral("0.5 s"), Qt::EditRole},
        {ccPreWait, QStringLiteral("12.5"), Qt::EditRole},
        {ccPostWait, QStringLiteral("3 s"), Qt::EditRole},
        {ccContinue, QStringLiteral("auto-continue"), Qt::EditRole},
    };
    AddCues(1);
    for (int col = 0; col < ccColumnCount; ++col) {
        const bool editable =
            Model().flags(Cell(1, col)) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
        const bool inTable = std::any_of(std::begin(cases), std::end(cases),
                                         [col](const Case& c) { return c.Col == col; });
        EXPECT_EQ(inTable, editable) << "column " << col;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Col);
        TearDown();
        SetUp();
        AddCues(2);
        Customise(*Cues().Items(1));
        Show();
        std::filesystem::remove(SettingsFile().toStdString());
        EditCell(1, ccDescription, "Earlier");
        const std::string before = ListState(Cues());
        EditCell(2, c.Col, c.Value, c.Role);
        const std::string after = ListState(Cues());
        ASSERT_NE(after, before);
        EXPECT_TRUE(Saved()) << ReadFile(SettingsFile().toStdString());

        // Undo as Ctrl+Z runs it; the key itself is tested on its own, with the window active.
        ASSERT_TRUE(Form->ActionList1->actUndo->isEnabled());
        Form->ActionList1->actUndo->trigger();
        EXPECT_EQ(ListState(Cues()), before) << "the edit is undone, the earlier one kept";
        EXPECT_TRUE(Saved());
        Form->ActionList1->actRedo->trigger();
        EXPECT_EQ(ListState(Cues()), after);
    }
}

TEST_F(TCueEditingTest, AnUndoneDeleteBringsTheCueBackAsTheCurrentCueReportingItsState) {
    AddCues(3);
    Customise(*Cues().Items(1));
    Show();
    SelectCell(2);
    Form->ActionList1->actDeleteCue->trigger();
    SelectCell(1);
    Form->ActionList1->actUndo->trigger();
    EXPECT_EQ(Cues().Current(), 2);
    EXPECT_EQ(Form->grSounds->CurrentRow(), 2);
    Form->ActionList1->actPlay->trigger();
    EXPECT_EQ(Cues().Items(1)->State(), csPlaying);
    EXPECT_EQ(Model().headerData(1, Qt::Vertical, Qt::DecorationRole).value<QIcon>().cacheKey(),
              Form->ImageList1.Icon(csPlaying).cacheKey());
}

TEST_F(TCueEditingTest, ARestoredCueWhoseUIDIsTakenGetsAFreeOne) {
    AddCues(3);
    Cues().Items(0)->UID = "5";
    Cues().Items(2)->UID = "5";
    Show();
    SelectCell(1);
    Form->ActionList1->actDeleteCue->trigger();
    Form->ActionList1->actUndo->trigger();
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"Cue 1", "Cue 2", "Cue 3"}));
    EXPECT_EQ(Cues().Items(0)->UID, "1");
    EXPECT_EQ(Cues().Items(2)->UID, "5");
}

TEST_F(TCueEditingTest, UndoIsRefusedLikeTheChangeWhileItWouldChangeAPlayingCue) {
    struct Case {
        const char* Name;
        std::function<void(TCueEditingTest&)> Change;
        int32_t PlayingIndex; // cue started after the change
        bool UndoAllowed;
    };
    const Case cases[] = {
        {"edit of the playing cue", [](TCueEditingTest& t) { t.EditCell(2, ccPan, 30); }, 1, false},
        {"edit of another cue", [](TCueEditingTest& t) { t.EditCell(2, ccPan, 30); }, 0, true},
        {"delete while another cue plays",
         [](TCueEditingTest& t) { t.Form->ActionList1->actDeleteCue->trigger(); }, 0, false},
        {"move of the playing cue",
         [](TCueEditingTest& t) { t.Form->grSounds->verticalHeader()->moveSection(1, 2); }, 2,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        AddCues(3);
        Show();
        SelectCell(2);
        c.Change(*this);
        const std::string changed = ListState(Cues());
        Cues().Items(c.PlayingIndex)->Play();
        EXPECT_EQ(Form->ActionList1->actUndo->isEnabled(), c.UndoAllowed);
        // Even when run, a refused undo changes nothing.
        Form->ActionList1->actUndo->setEnabled(true);
        Form->ActionList1->actUndo->trigger();
        EXPECT_EQ(ListState(Cues()) == changed, !c.UndoAllowed);
        if (c.UndoAllowed)
            continue;
        Cues().Items(c.PlayingIndex)->Pause();
        EXPECT_FALSE(Form->ActionList1->actUndo->isEnabled());
        Cues().StopAll();
        EXPECT_TRUE(Form->ActionList1->actUndo->isEnabled());
        Form->ActionList1->actUndo->trigger();
        EXPECT_NE(ListState(Cues()), changed);
    }
}

TEST_F(TCueEditingTest, CtrlZAndCtrlShiftZUndoAndRedo) {
    AddCues(2);
    Show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    EditCell(1, ccDescription, "Storm");
    QTest::keyClick(Form->grSounds, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Cues().Items(0)->Description, "Cue 1");
    QTest::keyClick(Form->grSounds, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Cues().Items(0)->Description, "Storm");
}

TEST_F(TCueEditingTest, TheDeleteKeyDeletesTheCurrentCueButNotWhileACellIsEdited) {
    AddCues(3);
    Show();
    SelectCell(2);
    QTest::keyClick(Form->grSounds, Qt::Key_Delete);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"Cue 1", "Cue 3"}));
    Form->ActionList1->actUndo->trigger();
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"Cue 1", "Cue 2", "Cue 3"}));

    SelectCell(2);
    Form->grSounds->edit(Cell(2, ccDescription));
    auto* editor = qobject_cast<QLineEdit*>(Form->grSounds->indexWidget(Cell(2, ccDescription)));
    ASSERT_NE(editor, nullptr);
    editor->setCursorPosition(0);
    QTest::keyClick(editor, Qt::Key_Delete);
    EXPECT_EQ(editor->text(), QStringLiteral("ue 2"));
    EXPECT_EQ(Cues().Count(), 3);
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !Form->grSounds->indexWidget(Cell(2, ccDescription)); }, 5000));
    EXPECT_EQ(Cues().Items(1)->Description, "ue 2");

    // Not while any cue plays, as the command.
    Cues().Items(0)->Play();
    QTest::keyClick(Form->grSounds, Qt::Key_Delete);
    EXPECT_EQ(Cues().Count(), 3);
}

TEST_F(TCueEditingTest, ChangesAreSavedSoonAfterwards) {
    // Each step is followed by a wait for the file to hold its mark.
    struct Step {
        std::function<void(TCueEditingTest&)> Change;
        std::string Mark;
    };
    struct Case {
        const char* Name;
        std::vector<Step> Steps;
    };
    const Case cases[] = {
        {"cell edit",
         {{[](TCueEditingTest& t) { t.EditCell(1, ccDescription, "Storm"); },
           "<Description>Storm</Description>"}}},
        {"delete, then undo",
         {{[](TCueEditingTest& t) { t.Form->ActionList1->actDeleteCue->trigger(); },
           "<CueList>\r\n    <Cue>\r\n      <UID>2</UID>"},
          {[](TCueEditingTest& t) { t.Form->ActionList1->actUndo->trigger(); },
           "<CueList>\r\n    <Cue>\r\n      <UID>1</UID>"}}},
        {"window moved",
         {{[](TCueEditingTest& t) { t.Form->move(140, 170); }, "Top=\"170\" Left=\"140\""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        AddCues(2);
        Show();
        const std::string file = SettingsFile().toStdString();
        std::filesystem::remove(file);
        for (const Step& step : c.Steps) {
            step.Change(*this);
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return ReadFile(file).find(step.Mark) != std::string::npos; }, 20000))
                << step.Mark << " not in\n"
                << ReadFile(file);
        }
        EXPECT_EQ(ReadFile(file), Form->Production->SaveToText());
        EXPECT_TRUE(Errors.empty());
    }
}

// The failure shows in the strip, not in a box: Space still reaches the window and plays the
// next cue; once the folder is there, the next change saves everything.
TEST_F(TCueEditingTest, AFailedSaveAsYouGoIsShownInTheStripAndTheShowGoesOn) {
    AddCues(3);
    Show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    const QString folder = Dir.filePath(QStringLiteral("missing"));
    Form->Production->FileName = (folder + QStringLiteral("/Settings.xml")).toStdString();
    EditCell(1, ccDescription, "Storm");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !Form->MessageStrip->Text(QStringLiteral("save")).isEmpty(); }, 20000));
    const QString shown = Form->MessageStrip->Text(QStringLiteral("save"));
    EXPECT_TRUE(shown.startsWith(QStringLiteral("The settings could not be saved to ") +
                                 SettingsFile() + QStringLiteral(": No such file or directory.")))
        << shown.toStdString();
    EXPECT_TRUE(Form->MessageStrip->isVisible());
    EXPECT_TRUE(Errors.empty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    Form->grSounds->setFocus();
    SelectCell(2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(Cues().Items(1)->State(), csPlaying);
    EXPECT_EQ(Form->grSounds->CurrentRow(), 3);

    ASSERT_TRUE(QDir().mkpath(folder));
    EditCell(3, ccDescription, "Wind");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Form->MessageStrip->Text(QStringLiteral("save")).isEmpty(); }, 20000));
    const std::string saved = ReadFile(SettingsFile().toStdString());
    EXPECT_NE(saved.find("<Description>Storm</Description>"), std::string::npos) << saved;
    EXPECT_NE(saved.find("<Description>Wind</Description>"), std::string::npos) << saved;
    EXPECT_FALSE(Form->MessageStrip->isVisible());
}

// Retry saves at once what failed, and the line goes; the close button takes a line away.
TEST_F(TCueEditingTest, TheStripsRetrySavesAndItsCloseButtonDismisses) {
    AddCues(1);
    Show();
    const QString folder = Dir.filePath(QStringLiteral("later"));
    Form->Production->FileName = (folder + QStringLiteral("/Settings.xml")).toStdString();
    EditCell(1, ccDescription, "Storm");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return Form->MessageStrip->Button(QStringLiteral("save"), QStringLiteral("Retry")) !=
                   nullptr;
        },
        20000));
    ASSERT_TRUE(QDir().mkpath(folder));
    Form->MessageStrip->Button(QStringLiteral("save"), QStringLiteral("Retry"))->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Form->MessageStrip->Text(QStringLiteral("save")).isEmpty(); }, 20000));
    EXPECT_NE(ReadFile(SettingsFile().toStdString()).find("<Description>Storm</Description>"),
              std::string::npos);

    Form->SetProblem(QStringLiteral("output"), QStringLiteral("Output 2 is gone."));
    EXPECT_EQ(Form->MessageStrip->Text(QStringLiteral("output")),
              QStringLiteral("Output 2 is gone."));
    EXPECT_EQ(Form->MessageStrip->Button(QStringLiteral("output"), QStringLiteral("Retry")),
              nullptr);
    Form->MessageStrip->Button(QStringLiteral("output"), QStringLiteral("Close"))->click();
    EXPECT_TRUE(Form->MessageStrip->Text(QStringLiteral("output")).isEmpty());
    Form->SetProblem(QStringLiteral("output"), QStringLiteral("Output 2 is gone."));
    Form->SetProblem(QStringLiteral("output"), QString());
    EXPECT_TRUE(Form->MessageStrip->Text(QStringLiteral("output")).isEmpty());
}

// The operator can put the show elsewhere while its folder is gone: it is saved there at once.
TEST_F(TCueEditingTest, TheStripCanSaveTheShowElsewhere) {
    AddCues(1);
    Show();
    Form->Production->FileName = Dir.filePath(QStringLiteral("gone/Settings.xml")).toStdString();
    EditCell(1, ccDescription, "Storm");
    const auto button = [&] {
        return Form->MessageStrip->Button(QStringLiteral("save"),
                                          QStringLiteral("Save Elsewhere..."));
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return button() != nullptr; }, 20000));
    const QString elsewhere = Dir.filePath(QStringLiteral("Elsewhere.xml"));
    QStringList offered;
    Form->SaveFileDialog = [&](const QString& current) {
        offered << current;
        return elsewhere;
    };
    button()->click();
    EXPECT_EQ(offered, QStringList{Dir.filePath(QStringLiteral("gone/Settings.xml"))});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Form->MessageStrip->Text(QStringLiteral("save")).isEmpty(); }, 20000));
    EXPECT_EQ(Form->Production->FileName, elsewhere.toStdString());
    EXPECT_EQ(ReadFile(elsewhere.toStdString()), Form->Production->SaveToText());
    EXPECT_NE(ReadFile(elsewhere.toStdString()).find("<Description>Storm</Description>"),
              std::string::npos);
}

TEST_F(TCueEditingTest, ClosingByHandWhilePlayingAsksButASessionEndDoesNot) {
    struct Case {
        const char* Name;
        int Playing, Paused;
        bool ByHand, Answer;
        QStringList Questions;
        bool Closed;
    };
    const Case cases[] = {
        {"one playing, kept open",
         1,
         0,
         true,
         false,
         {"1 cue is playing. Close Trelmo and stop it?"},
         false},
        {"three, closed",
         2,
         1,
         true,
         true,
         {"3 cues are playing. Close Trelmo and stop them?"},
         true},
        {"nothing playing", 0, 0, true, false, {}, true},
        {"session end", 2, 0, false, false, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        AddCues(3);
        Show();
        for (int i = 0; i < c.Playing + c.Paused; ++i)
            Cues().Items(i)->Play();
        for (int i = c.Playing; i < c.Playing + c.Paused; ++i)
            Cues().Items(i)->Pause();
        CloseAnswer = c.Answer;
        if (c.ByHand)
            Form->ActionList1->actExit->trigger();
        else
            Form->EndSession();
        EXPECT_EQ(Questions, c.Questions);
        EXPECT_EQ(Form->isVisible(), !c.Closed);
        EXPECT_EQ(Cues().AllStopped(), c.Playing + c.Paused == 0 || (c.ByHand && c.Answer));
        if (c.Closed) {
            EXPECT_EQ(ReadFile(SettingsFile().toStdString()), Form->Production->SaveToText());
        }
    }
}

TEST_F(TCueEditingTest, ACueWhoseFileIsMissingIsMarkedUntilTheFileAppears) {
    TCue& missing = AddCue("Rain", false);
    missing.FileName = AudioFile("rain.wav");
    AddCue("Bell");
    AddCue("New", false);
    Show();
    const QModelIndex cell = Cell(1, ccFileName);
    // Whether a file is there is found in the background, never while the grid is painted.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model().data(cell, Qt::DecorationRole).isValid(); }));
    EXPECT_EQ(Model().data(cell, Qt::DecorationRole).value<QIcon>().cacheKey(),
              Form->ImageList1.Icon(TImageList::FileMissing).cacheKey());
    EXPECT_TRUE(Model().data(cell, Qt::ForegroundRole).value<QColor>().isValid());
    EXPECT_EQ(Model().data(cell, Qt::ToolTipRole).toString(),
              QStringLiteral("The file was not found: ") +
                  QString::fromStdString(missing.FileName));
    for (const int32_t row : {2, 3}) {
        SCOPED_TRACE(row);
        for (const int role : {Qt::DecorationRole, Qt::ForegroundRole})
            EXPECT_FALSE(Model().data(Cell(row, ccFileName), role).isValid());
    }
    // The whole path, of which the cell may show only the end.
    EXPECT_EQ(Model().data(Cell(2, ccFileName), Qt::ToolTipRole).toString(),
              QString::fromStdString(Cues().Items(1)->FileName));
    EXPECT_FALSE(Model().data(Cell(3, ccFileName), Qt::ToolTipRole).isValid());
    for (const int role : {Qt::DecorationRole, Qt::ForegroundRole, Qt::ToolTipRole})
        EXPECT_FALSE(Model().data(Cell(1, ccDescription), role).isValid());

    std::ofstream(missing.FileName) << "RIFF";
    QSignalSpy refreshed(&Model(), &QAbstractItemModel::dataChanged);
    Form->RefreshRow(1);
    EXPECT_EQ(refreshed.size(), 1);
    EXPECT_TRUE(Model().data(cell, Qt::DecorationRole).isValid())
        << "painting asks no file system; the row's refresh looks at its file in the background";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Model().data(cell, Qt::DecorationRole).isValid(); }));
    EXPECT_GE(refreshed.size(), 2) << "the row is drawn again once its file was found";
    for (const int role : {Qt::DecorationRole, Qt::ForegroundRole})
        EXPECT_FALSE(Model().data(cell, role).isValid());
    EXPECT_EQ(Model().data(cell, Qt::ToolTipRole).toString(),
              QString::fromStdString(missing.FileName));
}

// The grid looks again at the files of the rows in view now and then, with no edit at all.
TEST_F(TCueEditingTest, AFileThatGoesOrComesBackIsShownWithoutAnEdit) {
    TCue& cue = AddCue("Rain");
    Show();
    const QModelIndex cell = Cell(1, ccFileName);
    const auto marked = [&] { return Model().data(cell, Qt::DecorationRole).isValid(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model().Lengths().Exists(cue.FileName) == true; }));
    EXPECT_FALSE(marked());
    std::filesystem::remove(cue.FileName);
    EXPECT_TRUE(QTest::qWaitFor(marked, 10000));
    std::ofstream(cue.FileName) << "RIFF";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !marked(); }, 10000));
}
