// The grid's Pre-wait, Post-wait and Continue columns, and the waits counted down in the Time
// column while they run.
#include "UiTestFixture.h"

#include "TPlaybackRefresh.h"
#include "TShowControl.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QRegularExpression>
#include <QTest>

class CueSequenceGridTest : public UiTestFixture {
public:
    QString Text(int32_t row, int col, int role = Qt::DisplayRole) const {
        return Model().data(Cell(row, col), role).toString();
    }
    QWidget* OpenEditor(int32_t row, int col) {
        SelectCell(row, col);
        Form->grSounds->edit(Cell(row, col));
        return Form->grSounds->indexWidget(Cell(row, col));
    }
    bool Counting(int32_t row) const {
        static const QRegularExpression wait(QStringLiteral("^wait \\d+:\\d\\d\\.\\d$"));
        return wait.match(Text(row, ccTime)).hasMatch();
    }
};

TEST_F(CueSequenceGridTest, WaitAndContinueCellsAreEditedAndShown) {
    struct Case {
        int Col;
        QString Typed;
        bool Refused;
        QString Shown;
    };
    const Case cases[] = {
        {ccPreWait, QStringLiteral("2"), false, QStringLiteral("2.0 s")},
        {ccPreWait, QStringLiteral("3601 s"), false, QStringLiteral("3600.0 s")},
        {ccPreWait, QStringLiteral(""), false, QString()},
        {ccPostWait, QStringLiteral("0.25"), false, QStringLiteral("0.3 s")},
        {ccPostWait, QStringLiteral("later"), true, QStringLiteral("0.7 s")},
        {ccContinue, QStringLiteral("auto-follow"), false, QStringLiteral("\u2193 follow")},
        {ccContinue, QStringLiteral("1"), false, QStringLiteral("\u2193 continue")},
        {ccContinue, QStringLiteral("None"), false, QString()},
        {ccContinue, QStringLiteral("sometimes"), true, QStringLiteral("\u2193 continue")},
    };
    TCue& cue = AddCue("Door");
    Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Typed.toStdString());
        cue.SetPostWait(7);
        cue.SetContinue(TCueContinue::AutoContinue);
        Errors.clear();
        EXPECT_EQ(Model().setData(Cell(1, c.Col), c.Typed), !c.Refused);
        EXPECT_EQ(Text(1, c.Col), c.Shown);
        EXPECT_EQ(Errors.size(), c.Refused ? 1 : 0);
    }
    cue.SetContinue(TCueContinue::AutoFollow);
    cue.Loop = true;
    EXPECT_EQ(Text(1, ccContinue), QStringLiteral("never ends"));
    EXPECT_FALSE(Text(1, ccContinue, Qt::ToolTipRole).isEmpty());
}

TEST_F(CueSequenceGridTest, WaitsHaveSpinEditorsAndContinueADropDownOnlyWhileStopped) {
    TCue& cue = AddCue("Door");
    Show();
    auto* spin = qobject_cast<QDoubleSpinBox*>(OpenEditor(1, ccPreWait));
    ASSERT_NE(spin, nullptr);
    EXPECT_EQ(spin->maximum(), 3600.0);
    EXPECT_EQ(spin->decimals(), 1);
    QTest::keyClick(spin, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->grSounds->indexWidget(Cell(1, ccPreWait)); }));
    auto* choices = qobject_cast<QComboBox*>(OpenEditor(1, ccContinue));
    ASSERT_NE(choices, nullptr);
    ASSERT_EQ(choices->count(), 3);
    choices->setCurrentIndex(2);
    QTest::keyClick(choices, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->grSounds->indexWidget(Cell(1, ccContinue)); }));
    EXPECT_EQ(cue.Continue(), TCueContinue::AutoFollow);
    cue.Play();
    for (const int col : {ccPreWait, ccPostWait, ccContinue})
        EXPECT_EQ(OpenEditor(1, col), nullptr) << "column " << col;
}

// A long pre-wait counts down in the Time cell, paused it holds, and Stop All ends it; the
// refresh runs only while a wait runs.
TEST_F(CueSequenceGridTest, AWaitCountsDownInTheTimeColumnUntilItIsCancelled) {
    TCue& door = AddCue("Door");
    TCue& rain = AddCue("Rain");
    door.SetPreWait(600);
    door.SetContinue(TCueContinue::AutoContinue);
    rain.SetPreWait(1200);
    Show();
    TPlaybackRefresh& refresh = *Form->grSounds->PlaybackRefresh();
    Form->Show().Go();
    EXPECT_EQ(door.State(), csStopped);
    ASSERT_TRUE(Counting(1)) << Text(1, ccTime).toStdString();
    EXPECT_EQ(Cues().Current(), 2);
    EXPECT_TRUE(refresh.Running());
    const QString first = Text(1, ccTime);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Text(1, ccTime) != first; }, 10000))
        << "the wait counts down";
    SelectCell(1);
    EXPECT_TRUE(Form->ActionList1->actStop->isEnabled());
    EXPECT_TRUE(Form->ActionList1->actPause->isEnabled());
    EXPECT_TRUE(Form->ActionList1->actStopAll->isEnabled());

    Form->ActionList1->actPause->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !refresh.Running(); }, 10000));
    EXPECT_TRUE(Counting(1)) << "a paused wait still shows what is left";
    EXPECT_FALSE(Form->ActionList1->actPause->isEnabled());

    Form->ActionList1->actStopAll->trigger();
    EXPECT_FALSE(Counting(1)) << Text(1, ccTime).toStdString();
    EXPECT_FALSE(Counting(2));
    EXPECT_FALSE(Form->ActionList1->actStopAll->isEnabled());
    EXPECT_FALSE(Form->ActionList1->actStop->isEnabled());
}
