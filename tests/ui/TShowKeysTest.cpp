// The keyboard of a show: GO on Space, panic on Escape, the commands' keys, and a cell being
// edited keeping its keys.
#include "TMainActions.h"
#include "TShowControl.h"
#include "UiTestFixture.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPaintEvent>
#include <QRegion>
#include <QTest>

namespace {

constexpr int WaitMs = 5000;

class TShowKeysTest : public UiTestFixture {
public:
    // The window has the keyboard, the grid the focus, `row` is current.
    void ShowActive(int32_t row = 1) {
        Show();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        Form->grSounds->setFocus();
        SelectCell(row);
    }
    void Press(int key) { QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key)); }
    int32_t CurrentRow() const { return Form->grSounds->CurrentRow().Number(); }
    int Count(const std::string& call) const {
        return static_cast<int>(std::count(Audio.Calls.begin(), Audio.Calls.end(), call));
    }
    QWidget* Edit(int32_t row, int col) {
        SelectCell(row, col);
        Form->grSounds->edit(Cell(row, col));
        QWidget* editor = Form->grSounds->indexWidget(Cell(row, col));
        if (editor)
            editor->setFocus();
        return editor;
    }
    bool EditorClosed(int32_t row, int col) {
        return QTest::qWaitFor([&] { return !Form->grSounds->indexWidget(Cell(row, col)); },
                               WaitMs);
    }
};

} // namespace

TEST_F(TShowKeysTest, SpacePlaysTheCurrentCueAndMakesTheNextOneCurrent) {
    struct Case {
        int32_t Row, NextRow;
    };
    const Case cases[] = {{1, 2}, {39, 40}, {40, 40}};
    for (int i = 1; i <= 40; ++i)
        AddCue("Cue " + std::to_string(i));
    // The cases follow each other faster than the GO lockout; it has tests of its own.
    Form->Show().SetGoLockout(std::chrono::milliseconds(0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Row);
        ShowActive(c.Row);
        Cues().Items(c.Row - 1)->StopNow();
        Press(Qt::Key_Space);
        EXPECT_EQ(Cues().Items(c.Row - 1)->State(), csPlaying);
        EXPECT_EQ(CurrentRow(), c.NextRow);
        EXPECT_EQ(Cues().Current(), c.NextRow);
        const QRect row = Form->grSounds->visualRect(Form->grSounds->currentIndex());
        EXPECT_TRUE(Form->grSounds->viewport()->rect().contains(row)) << "scrolled into view";
    }
}

// Collects what a widget repaints.
class TPaintedRegion : public QObject {
public:
    explicit TPaintedRegion(QWidget* widget) { widget->installEventFilter(this); }
    QRegion Painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            Painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// The standby row is marked in every column, and the mark moves with GO: both rows are
// repainted whole.
TEST_F(TShowKeysTest, TheStandbyRowIsMarkedInEveryColumn) {
    for (const char* name : {"Rain", "Wind", "Bell", "Unmarked"})
        AddCue(name);
    ShowActive(1);
    TCueGrid& grid = *Form->grSounds;
    // Every column in view; at the smallest width the grid scrolls sideways.
    Form->resize(1100, Form->height());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return grid.horizontalHeader()->length() == grid.horizontalHeader()->viewport()->width();
    }));
    // A cell's own background, left of any text and inside the grid lines.
    const auto background = [&](const QImage& image, int32_t row, int col) {
        const QRect cell = grid.visualRect(Cell(row, col));
        return image.pixelColor(cell.left() + 2, cell.center().y());
    };
    const auto markedRows = [&] {
        const QImage image = grid.viewport()->grab().toImage();
        std::vector<int32_t> marked;
        for (int32_t row = 1; row <= 3; ++row) {
            int cells = 0;
            for (int col = 0; col < ccColumnCount; ++col)
                cells += col != ccTime && background(image, row, col) != background(image, 4, col);
            if (cells == ccColumnCount - 1)
                marked.push_back(row);
        }
        return marked;
    };
    const auto rowRect = [&](int32_t row) {
        return QRect(0, grid.rowViewportPosition(row - 1), grid.viewport()->width(),
                     grid.rowHeight(row - 1));
    };
    EXPECT_EQ(markedRows(), std::vector<int32_t>{1});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    QCoreApplication::processEvents();
    TPaintedRegion painted(grid.viewport());
    Press(Qt::Key_Space);
    ASSERT_EQ(CurrentRow(), 2);
    const auto repainted = [&](int32_t row) {
        return QRegion(rowRect(row)).subtracted(painted.Painted).isEmpty();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return repainted(1) && repainted(2); }, WaitMs));
    EXPECT_EQ(markedRows(), std::vector<int32_t>{2});
}

// The Loop box keeps its click; the space bar is GO there too.
TEST_F(TShowKeysTest, SpaceOnTheLoopBoxIsGo) {
    TCue& cue = AddCue("Rain");
    AddCue("Wind");
    ShowActive();
    SelectCell(1, ccLoop);
    Press(Qt::Key_Space);
    EXPECT_FALSE(cue.Loop);
    EXPECT_EQ(cue.State(), csPlaying);
    EXPECT_EQ(CurrentRow(), 2);
}

TEST_F(TShowKeysTest, KeysInACellBeingEditedAreTheCells) {
    TCue& rain = AddCue("Rain");
    TCue& wind = AddCue("Wind");
    ShowActive();
    ASSERT_TRUE(wind.Play());
    struct Case {
        const char* Name;
        int Key;
        std::string Description;
    };
    const Case cases[] = {{"Space types a space", Qt::Key_Return, "Heavy rain"},
                          {"Escape cancels the edit", Qt::Key_Escape, "Rain"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        rain.Description = "Rain";
        Audio.Calls.clear();
        auto* editor = qobject_cast<QLineEdit*>(Edit(1, ccDescription));
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Heavy"));
        QTest::keyClick(editor, Qt::Key_Space);
        QTest::keyClicks(editor, QStringLiteral("rain"));
        EXPECT_EQ(editor->text(), QStringLiteral("Heavy rain"));
        QTest::keyClick(editor, static_cast<Qt::Key>(c.Key));
        ASSERT_TRUE(EditorClosed(1, ccDescription));
        EXPECT_EQ(rain.Description, c.Description);
        EXPECT_EQ(rain.State(), csStopped) << "no GO";
        EXPECT_EQ(wind.State(), csPlaying) << "no panic";
        EXPECT_FALSE(wind.Fading());
        EXPECT_EQ(CurrentRow(), 1);
        EXPECT_TRUE(Audio.Calls.empty());
    }
}

// Escape fades every playing cue over a second and stops a paused one; the end of a fade stops
// its cue; Escape again during the fade stops the rest at once.
TEST_F(TShowKeysTest, EscapeFadesEverythingOutAndAgainStopsItAtOnce) {
    TCue& rain = AddCue("Rain");
    TCue& wind = AddCue("Wind");
    TCue& bell = AddCue("Bell");
    AddCue("Quiet");
    ShowActive();
    ASSERT_TRUE(rain.Play());
    void* rainSync = Audio.SyncUser;
    ASSERT_TRUE(wind.Play());
    ASSERT_TRUE(bell.Play());
    ASSERT_TRUE(bell.Pause());
    Audio.Calls.clear();
    Press(Qt::Key_Escape);
    EXPECT_EQ(Audio.Calls,
              (std::vector<std::string>{"fadeout 1 1000", "fadeout 2 1000", "stop 3"}));
    EXPECT_TRUE(rain.Fading());
    EXPECT_TRUE(wind.Fading());
    EXPECT_EQ(bell.State(), csStopped);
    EXPECT_FALSE(Form->ActionList1->actPause->isEnabled()) << "a fading cue is not paused";
    EXPECT_TRUE(Form->ActionList1->actStop->isEnabled()) << "but can be stopped at once";

    CueEndSyncProc()(0, rain.Stream(), AUDIO_END_FADED, rainSync);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rain.State() == csStopped; }, WaitMs));
    EXPECT_TRUE(wind.Fading());

    Press(Qt::Key_Escape);
    EXPECT_EQ(wind.State(), csStopped);
    EXPECT_EQ(Audio.Calls.back(), "stop 2");
    EXPECT_TRUE(Cues().AllStopped());
    EXPECT_TRUE(Form->ActionList1->actInsertCue->isEnabled());
}

TEST_F(TShowKeysTest, TheCommandsKeysActAndAreInTheirTooltips) {
    struct Case {
        QAction* TMainActions::*Action;
        QKeySequence Key;
        const char* Tooltip;
    };
    const Case cases[] = {
        {&TMainActions::actPause, QKeySequence(Qt::Key_P), "Pause (P)"},
        {&TMainActions::actStop, QKeySequence(Qt::Key_S), "Stop (S)"},
        {&TMainActions::actInsertCue, QKeySequence(Qt::Key_Insert), "Insert (Ins)"},
        {&TMainActions::actHelp, QKeySequence(Qt::Key_F1), "Help (F1)"}};
    for (const Case& c : cases) {
        QAction* action = (*Form->ActionList1).*c.Action;
        EXPECT_EQ(action->shortcut(), c.Key) << c.Tooltip;
        EXPECT_EQ(action->toolTip(), QLatin1String(c.Tooltip));
    }
    EXPECT_EQ(Form->ActionList1->actDeleteCue->toolTip(), QStringLiteral("Delete (Del)"));

    TCue& rain = AddCue("Rain");
    rain.SetFadeOut(20);
    ShowActive();
    ASSERT_TRUE(rain.Play());
    Press(Qt::Key_P);
    EXPECT_EQ(rain.State(), csPaused);
    ASSERT_TRUE(rain.Play());
    Press(Qt::Key_S);
    EXPECT_TRUE(rain.Fading()) << "Stop fades out";
    Press(Qt::Key_S);
    EXPECT_EQ(rain.State(), csStopped) << "and again stops at once";
    Press(Qt::Key_Insert);
    EXPECT_EQ(DialogRequests.size(), 1u);
    EXPECT_EQ(Cues().Count(), 2);

    // P and S do nothing for a stopped cue, and like any letter open no editor in its cell.
    SelectCell(2, ccDescription);
    const std::string description = Cues().Items(1)->Description;
    for (const Qt::Key key : {Qt::Key_P, Qt::Key_S}) {
        Press(key);
        QCoreApplication::processEvents();
        EXPECT_EQ(Form->grSounds->indexWidget(Cell(2, ccDescription)), nullptr);
    }
    EXPECT_EQ(Cues().Items(1)->State(), csStopped);
    EXPECT_EQ(Cues().Items(1)->Description, description);
}

// After GO the standby cue is the next, stopped one: P and S reach the cue just fired.
TEST_F(TShowKeysTest, PAndSRightAfterGoActOnTheCueJustFired) {
    struct Case {
        const char* Name;
        int Key;
        TCueState Fired;
    };
    const Case cases[] = {{"P pauses it", Qt::Key_P, csPaused},
                          {"S stops it", Qt::Key_S, csStopped}};
    TCue& rain = AddCue("Rain");
    TCue& wind = AddCue("Wind");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        rain.StopNow();
        ShowActive(1);
        Form->Show().SetGoLockout(std::chrono::milliseconds(0));
        Press(Qt::Key_Space);
        ASSERT_EQ(CurrentRow(), 2);
        Press(c.Key);
        EXPECT_EQ(rain.State(), c.Fired);
        EXPECT_EQ(wind.State(), csStopped);
        EXPECT_EQ(wind.Description, "Wind") << "no cell was edited";
        EXPECT_FALSE(Form->grSounds->indexWidget(Cell(2, ccDescription))) << "no editor opened";
        EXPECT_EQ(CurrentRow(), 2);
    }
}
