#include "UiTestFixture.h"

#include <QAction>
#include <QDesktopServices>
#include <QFrame>
#include <QMenu>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

struct Enabled {
    bool Play, Pause, Stop, Delete, Insert, StopAll;
    bool operator==(const Enabled&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Enabled& e) {
    return out << "Play " << e.Play << " Pause " << e.Pause << " Stop " << e.Stop << " Delete "
               << e.Delete << " Insert " << e.Insert << " StopAll " << e.StopAll;
}

// Receives what the desktop would be asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> Urls;

public Q_SLOTS:
    void Open(const QUrl& url) { Urls << url; }
};

} // namespace

class TMainActionsTest : public UiTestFixture {
public:
    Enabled Actions() const {
        return {Form->ActionList1->actPlay->isEnabled(),
                Form->ActionList1->actPause->isEnabled(),
                Form->ActionList1->actStop->isEnabled(),
                Form->ActionList1->actDeleteCue->isEnabled(),
                Form->ActionList1->actInsertCue->isEnabled(),
                Form->ActionList1->actStopAll->isEnabled()};
    }
    void AddCues(int count) {
        for (int i = 1; i <= count; ++i)
            AddCue("Cue " + std::to_string(i));
    }
};

TEST_F(TMainActionsTest, UpdateActionsFollowsTheSituation) {
    // Each situation is arranged on a shown window; row 1 is current.
    struct Situation {
        const char* Name;
        std::function<void(TMainActionsTest&)> Arrange;
        Enabled Expected;
    };
    const auto playing = [](TMainActionsTest& t, int32_t index) { t.Cues().Items(index)->Play(); };
    const auto paused = [](TMainActionsTest& t, int32_t index) {
        t.Cues().Items(index)->Play();
        t.Cues().Items(index)->Pause();
    };
    const Situation situations[] = {
        {"empty list",
         [](TMainActionsTest& t) { t.Show(); },
         {false, false, false, false, true, false}},
        {"current stopped with file, all stopped",
         [](TMainActionsTest& t) {
             t.AddCues(2);
             t.Show();
         },
         {true, false, false, true, true, false}},
        {"current stopped without file",
         [](TMainActionsTest& t) {
             t.AddCue("No file", false);
             t.Show();
         },
         {false, false, false, true, true, false}},
        {"current playing",
         [&](TMainActionsTest& t) {
             t.AddCues(2);
             t.Show();
             playing(t, 0);
         },
         {false, true, true, false, false, true}},
        {"current paused with file",
         [&](TMainActionsTest& t) {
             t.AddCues(2);
             t.Show();
             paused(t, 0);
         },
         {true, false, true, false, false, true}},
        {"current paused, file removed",
         [&](TMainActionsTest& t) {
             t.AddCues(2);
             t.Show();
             paused(t, 0);
             std::filesystem::remove(t.Cues().Items(0)->FileName);
             t.Form->UpdateActions();
         },
         {false, false, true, false, false, true}},
        {"current stopped, another playing",
         [&](TMainActionsTest& t) {
             t.AddCues(2);
             t.Show();
             playing(t, 1);
         },
         {true, false, false, false, false, true}},
        {"current stopped, another paused",
         [&](TMainActionsTest& t) {
             t.AddCues(2);
             t.Show();
             paused(t, 1);
         },
         {true, false, false, false, false, true}},
    };
    for (const Situation& s : situations) {
        SCOPED_TRACE(s.Name);
        TearDown();
        SetUp();
        s.Arrange(*this);
        EXPECT_EQ(Actions(), s.Expected);
    }
}

TEST_F(TMainActionsTest, StoppingEveryCueEnablesInsertAndDeleteAgain) {
    AddCues(3);
    Show();
    Cues().Items(0)->Play();
    Cues().Items(2)->Play();
    Cues().Items(2)->Pause();
    ASSERT_TRUE(Form->ActionList1->actStopAll->isEnabled());
    Form->ActionList1->actStopAll->trigger();
    EXPECT_TRUE(Cues().AllStopped());
    EXPECT_EQ(Actions(), (Enabled{true, false, false, true, true, false}));
}

TEST_F(TMainActionsTest, PlayPauseAndStopActOnTheCurrentRowsCue) {
    AddCues(3);
    Show();
    SelectCell(2);
    Form->ActionList1->actPlay->trigger();
    EXPECT_EQ(Cues().Items(1)->State(), csPlaying);
    EXPECT_EQ(Cues().Items(0)->State(), csStopped);
    Form->ActionList1->actPause->trigger();
    EXPECT_EQ(Cues().Items(1)->State(), csPaused);
    Form->ActionList1->actPlay->trigger();
    EXPECT_EQ(Cues().Items(1)->State(), csPlaying);
    Form->ActionList1->actStop->trigger();
    EXPECT_EQ(Cues().Items(1)->State(), csStopped);
}

TEST_F(TMainActionsTest, InsertIntoAnEmptyListAddsCueOneAndAsksForItsFile) {
    struct Case {
        const char* Name;
        bool Confirm;
        Enabled Expected;
    };
    const Case cases[] = {
        {"file chosen", true, {true, false, false, true, true, false}},
        {"dialog cancelled", false, {false, false, false, true, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TearDown();
        SetUp();
        Show();
        const std::string file = AudioFile("chosen.wav");
        std::ofstream(file) << "RIFF";
        DialogAnswer = c.Confirm ? std::optional(QString::fromStdString(file)) : std::nullopt;
        Form->ActionList1->actInsertCue->trigger();
        ASSERT_EQ(Cues().Count(), 1);
        const TCue& cue = *Cues().Items(0);
        EXPECT_EQ(cue.Description, "New Sound");
        EXPECT_EQ(cue.FileName, c.Confirm ? file : "");
        EXPECT_EQ(Model().rowCount(), 1);
        EXPECT_EQ(Cues().Current(), 1);
        ASSERT_EQ(DialogRequests.size(), 1u);
        EXPECT_EQ(DialogRequests[0].Title, QStringLiteral("Select audio file for this cue"));
        EXPECT_EQ(DialogRequests[0].Folder, QString());
        EXPECT_EQ(
            DialogRequests[0].Filters,
            QStringList({QStringLiteral("Audio Files (*.wav *.mp3 *.wma *.ogg *.aiff *.flac)"),
                         QStringLiteral("All Files (*)")}));
        EXPECT_EQ(Model().headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
        EXPECT_EQ(Actions(), c.Expected);
    }
}

TEST_F(TMainActionsTest, InsertPutsTheNewCueAtTheCurrentRow) {
    struct Case {
        int32_t Row;
        std::vector<std::string> Expected;
    };
    const Case cases[] = {
        {3, {"Cue 1", "Cue 2", "New Sound", "Cue 3", "Cue 4", "Cue 5"}},
        {5, {"Cue 1", "Cue 2", "Cue 3", "Cue 4", "New Sound", "Cue 5"}},
        {1, {"New Sound", "Cue 1", "Cue 2", "Cue 3", "Cue 4", "Cue 5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Row);
        TearDown();
        SetUp();
        AddCues(5);
        Cues().Items(3)->UID.clear();
        Show();
        SelectCell(c.Row);
        DialogAnswer = QStringLiteral("/shows/new.wav");
        Form->ActionList1->actInsertCue->trigger();
        EXPECT_EQ(Descriptions(), c.Expected);
        EXPECT_EQ(Model().rowCount(), 6);
        EXPECT_EQ(Form->grSounds->CurrentRow(), c.Row);
        EXPECT_EQ(Cues().Current(), c.Row);
        const TCue& inserted = *Cues().Items(c.Row - 1);
        EXPECT_EQ(inserted.FileName, "/shows/new.wav");
        EXPECT_EQ(inserted.UID, "");
        EXPECT_EQ(Cues().IndexOfUID("4"), c.Row <= 4 ? 5 : 4);
        EXPECT_EQ(Model().data(Cell(6, ccDescription)).toString(), QStringLiteral("Cue 5"));
    }
}

TEST_F(TMainActionsTest, AnInsertedCueReportsItsStateToItsRow) {
    AddCues(2);
    Show();
    DialogAnswer = QString::fromStdString(AudioFile("Cue 1.wav"));
    Form->ActionList1->actInsertCue->trigger();
    Form->ActionList1->actPlay->trigger();
    ASSERT_EQ(Cues().Items(0)->State(), csPlaying);
    EXPECT_EQ(Model().headerData(0, Qt::Vertical, Qt::DecorationRole).value<QIcon>().cacheKey(),
              Form->ImageList1.Icon(csPlaying).cacheKey());
    EXPECT_TRUE(Form->ActionList1->actPause->isEnabled());
}

TEST_F(TMainActionsTest, DeleteRemovesTheCurrentCueAndKeepsTheGridOnACue) {
    struct Case {
        int32_t Count, Row;
        std::vector<std::string> Expected;
        int32_t CurrentAfter;
    };
    const Case cases[] = {
        {3, 2, {"Cue 1", "Cue 3"}, 2},
        {3, 3, {"Cue 1", "Cue 2"}, 2},
        {3, 1, {"Cue 2", "Cue 3"}, 1},
        {1, 1, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Count << " cues, row " << c.Row);
        TearDown();
        SetUp();
        AddCues(c.Count);
        Show();
        SelectCell(c.Row);
        Form->ActionList1->actDeleteCue->trigger();
        EXPECT_EQ(Descriptions(), c.Expected);
        EXPECT_EQ(Model().rowCount(), std::max<int>(static_cast<int>(c.Expected.size()), 1));
        EXPECT_EQ(Form->grSounds->CurrentRow(), c.CurrentAfter);
        EXPECT_EQ(Cues().Current(), c.CurrentAfter);
        if (c.Expected.empty()) {
            EXPECT_EQ(Model().headerData(0, Qt::Vertical).toString(), QString());
            EXPECT_TRUE(Model().headerData(0, Qt::Vertical, Qt::DecorationRole).isNull());
            EXPECT_TRUE(Model().data(Cell(1, ccDescription)).isNull());
            EXPECT_TRUE(Model().data(Cell(1, ccLoop), Qt::CheckStateRole).isNull());
            EXPECT_EQ(Actions(), (Enabled{false, false, false, false, true, false}));
        } else {
            EXPECT_EQ(Cues().CurrentCue()->Description, c.Expected[c.CurrentAfter - 1]);
        }
    }
}

TEST_F(TMainActionsTest, DeleteOnTheBlankRowOfAnEmptyListChangesNothing) {
    Show();
    ASSERT_FALSE(Form->ActionList1->actDeleteCue->isEnabled());
    Form->ActionList1->actDeleteCue->setEnabled(true);
    Form->ActionList1->actDeleteCue->trigger();
    EXPECT_EQ(Cues().Count(), 0);
    EXPECT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Cues().Current(), 1);
}

TEST_F(TMainActionsTest, SelectAudioFileStartsInTheCuesFolderAndKeepsTheFileOnCancel) {
    TCue& cue = AddCue("Rain");
    Show();
    const std::string file = cue.FileName;
    DialogAnswer = std::nullopt;
    Form->ActionList1->actSelectAudioFile->trigger();
    EXPECT_EQ(cue.FileName, file);
    ASSERT_EQ(DialogRequests.size(), 1u);
    EXPECT_EQ(DialogRequests[0].Folder, Dir.path() + QLatin1Char('/'));

    DialogAnswer = QStringLiteral("/nowhere/missing.ogg");
    Form->ActionList1->actSelectAudioFile->trigger();
    EXPECT_EQ(cue.FileName, "/nowhere/missing.ogg");
    EXPECT_EQ(cue.Description, "Rain");
    Form->RefreshRow(1);
    EXPECT_FALSE(Form->ActionList1->actPlay->isEnabled());
}

TEST_F(TMainActionsTest, HelpHandsTheHelpFileToTheDesktop) {
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    Form->FHelpFile = AudioFile("Trelmo.chm");
    Form->ActionList1->actHelp->setEnabled(true);
    Form->ActionList1->actHelp->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.Urls.size(), 1);
    EXPECT_EQ(recorder.Urls[0], QUrl::fromLocalFile(QString::fromStdString(Form->FHelpFile)));
}

TEST_F(TMainActionsTest, ExitClosesAndRestoreShowsTheWindow) {
    Show();
    Form->showMinimized();
    Form->ActionList1->actRestore->trigger();
    EXPECT_FALSE(Form->isMinimized());
    EXPECT_TRUE(Form->isVisible());
    Form->ActionList1->actExit->trigger();
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(TMainActionsTest, ToolBarShowsItsButtonsInOrderWithTheirPictures) {
    Show();
    Form->resize(Form->minimumSize());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->width() == 600; }, 5000));
    QToolBar* toolBar = Form->ToolBar1;
    EXPECT_EQ(toolBar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    QStringList items;
    for (QAction* action : toolBar->actions()) {
        QWidget* widget = toolBar->widgetForAction(action);
        if (auto* separator = qobject_cast<QFrame*>(widget)) {
            EXPECT_EQ(separator->width(), 8);
            items << separator->objectName();
            continue;
        }
        items << widget->objectName() + QLatin1Char(':') + action->text();
        const bool pictureOnly =
            qobject_cast<QToolButton*>(widget)->toolButtonStyle() == Qt::ToolButtonIconOnly;
        EXPECT_GE(widget->width(), pictureOnly ? 16 : 63) << action->text().toStdString();
        EXPECT_FALSE(action->icon().pixmap(QSize(16, 16)).isNull()) << action->text().toStdString();
        // Every button fits beside the others in the narrowest window.
        EXPECT_TRUE(widget->isVisible()) << action->text().toStdString();
    }
    EXPECT_EQ(items, QStringList({"ToolButton15:Show", "ToolButton16", "ToolButton1:Stop All",
                                  "ToolButton7", "ToolButton2:Play", "ToolButton3:Pause",
                                  "ToolButton4:Stop", "ToolButton8", "ToolButton5:Insert",
                                  QString::fromUtf8("ToolButton11:Add Files\u2026"),
                                  "ToolButton6:Delete", "ToolButton9", "ToolButton12:Undo",
                                  "ToolButton13:Redo", "ToolButton14", "ToolButton10:Help"}));
    EXPECT_EQ(Form->ActionList1->actUndo->toolTip(), QStringLiteral("Undo (Ctrl+Z)"));
    EXPECT_EQ(Form->ActionList1->actRedo->toolTip(), QStringLiteral("Redo (Ctrl+Shift+Z)"));
    EXPECT_EQ(Form->ActionList1->actAddFiles->toolTip(),
              QString::fromUtf8("Add Files\u2026 (Ctrl+O)"));
    QStringList showMenu;
    for (QAction* action : Form->ActionList1->ShowMenu->actions())
        showMenu << action->text() + QLatin1Char(' ') + action->shortcut().toString();
    EXPECT_EQ(
        showMenu,
        QStringList({"New Show Ctrl+N", QString::fromUtf8("Open Show\u2026 Ctrl+Shift+O"),
                     "Recent Shows ", " ", QString::fromUtf8("Save Show As\u2026 Ctrl+Shift+S"),
                     QString::fromUtf8("Save Show As with Media\u2026 "), " ",
                     QString::fromUtf8("Find Missing Files\u2026 "), " ",
                     "Volume in True Decibels ", " ", "Larger Text Ctrl++", "Smaller Text Ctrl+-",
                     "Normal Text Size Ctrl+0", " ", "Running Cues "}));
    for (int i = 0; i < TImageList::Count; ++i) {
        const QImage large = Form->ImageList1.Icon(i).pixmap(QSize(64, 64)).toImage();
        EXPECT_EQ(large.size(), QSize(64, 64)) << "picture " << i;
    }
    EXPECT_EQ(Form->ActionList1->actSelectAudioFile->text(), QStringLiteral("Select Audio File"));
    EXPECT_EQ(Form->ActionList1->actRestore->text(), QStringLiteral("Restore"));
    EXPECT_EQ(Form->ActionList1->actExit->text(), QStringLiteral("Exit"));
}

#include "TMainActionsTest.moc"
