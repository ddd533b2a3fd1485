// The running cues beside the grid: lines that follow the cues whichever way they started, the
// buttons of a line acting on that cue alone, the GO area, the stereo meter and hiding it all.
#include "TRunningPanel.h"
#include "TCueCommands.h"
#include "TGoArea.h"
#include "TOscCommand.h"
#include "TRunningLine.h"
#include "TShowControl.h"
#include "TShowKeys.h"
#include "TStereoMeter.h"
#include "UiTestFixture.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

namespace {

constexpr int WaitMs = 5000;
using R = TRunningState;

class RunningPanelTest : public UiTestFixture {
protected:
    void SetUp() override {
        UiTestFixture::SetUp();
        for (const char* name : {"Thunder", "Rain", "Wind", "Bell"})
            AddCue(name);
        Form->actRunningCues->setChecked(true);
        Show();
        // Tall enough for every line: a line out of sight is not kept up to date.
        Form->resize(1200, 1000);
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        Form->grSounds->setFocus();
        SelectCell(1);
    }
    TRunningPanel& Panel() const { return *Form->RunningPanel; }
    TCue& Cue(int32_t number) const { return *Cues().Items(number - 1); }
    // The lines as "number: state text", in their order.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const TRunningLine* line : Panel().Lines())
            lines.push_back(Cues().IndexOfIdentity(line->Identity()).Number() == 0
                                ? std::string("gone")
                                : line->Shown().Title.toStdString() + ": " +
                                      line->Shown().StateText.toStdString());
        return lines;
    }
    bool LinesBecome(const std::vector<std::string>& expected) {
        return QTest::qWaitFor([&] { return Lines() == expected; }, WaitMs);
    }
    QToolButton* Button(int32_t number, const char* name) const {
        TRunningLine* line = Panel().LineOf(Cue(number).Identity());
        return line ? line->findChild<QToolButton*>(QLatin1String(name)) : nullptr;
    }
    void Click(int32_t number, const char* name) {
        QToolButton* button = Button(number, name);
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    int Count(const std::string& call) const {
        return static_cast<int>(std::count(Audio.Calls.begin(), Audio.Calls.end(), call));
    }
    std::string Call(const std::string& verb, int32_t number, const std::string& rest = {}) {
        return verb + " " + std::to_string(Cue(number).Stream()) + rest;
    }
};

} // namespace

TEST_F(RunningPanelTest, FollowsCuesStartedByKeyLaterLaunchAndOsc) {
    EXPECT_TRUE(Panel().Lines().empty());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    Form->AppInstances1CmdLineReceived({"play", "4"});
    Form->Show().Run({TOscCommand::ocCueStart, 3});
    EXPECT_TRUE(LinesBecome({"1  Thunder: Playing", "4  Bell: Playing", "3  Wind: Playing"}));
    EXPECT_EQ(Panel().LineOf(Cue(2).Identity()), nullptr);
}

TEST_F(RunningPanelTest, ShowsPausedFadingWaitingAndDropsEndedCues) {
    Cue(2).SetFadeOut(20);
    Cue(3).SetPreWait(100);
    Form->Show().SetGoLockout(std::chrono::milliseconds(0));
    ASSERT_TRUE(Cue(1).Play());
    void* thunderSync = Audio.SyncUser;
    for (const int32_t number : {2, 3, 4})
        Form->Show().Start(TCueNumber(number));
    Form->Show().Pause(TCueNumber(4));
    Form->Show().Stop(TCueNumber(2));
    EXPECT_TRUE(LinesBecome(
        {"1  Thunder: Playing", "2  Rain: Fading out", "3  Wind: Waiting", "4  Bell: Paused"}));
    const QString wait = Panel().LineOf(Cue(3).Identity())->Shown().Remaining;
    EXPECT_TRUE(wait.startsWith(QStringLiteral("wait 0:"))) << wait.toStdString();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Panel().LineOf(Cue(3).Identity())->Shown().Remaining != wait; }, WaitMs))
        << "the wait counts down";
    CueEndSyncProc()(0, Cue(1).Stream(), AUDIO_END_FILE, thunderSync);
    EXPECT_TRUE(LinesBecome({"2  Rain: Fading out", "3  Wind: Waiting", "4  Bell: Paused"}));
    Click(3, "stop");
    Click(4, "stop");
    EXPECT_TRUE(LinesBecome({"2  Rain: Fading out"}))
        << "a waiting and a paused cue stop at once, and their lines go";
    EXPECT_EQ(Cue(4).State(), csStopped);
}

TEST_F(RunningPanelTest, TheButtonsOfALineActOnItsCueOnly) {
    Cue(1).SetFadeOut(20);
    Cue(2).SetFadeOut(15);
    ASSERT_TRUE(Cue(1).Play());
    ASSERT_TRUE(Cue(2).Play());
    ASSERT_TRUE(LinesBecome({"1  Thunder: Playing", "2  Rain: Playing"}));
    const HSTREAM first = Cue(1).Stream();
    Audio.Calls.clear();

    Click(2, "pause");
    EXPECT_EQ(Cue(2).State(), csPaused);
    EXPECT_TRUE(LinesBecome({"1  Thunder: Playing", "2  Rain: Paused"}));
    EXPECT_EQ(Button(2, "pause")->text(), QStringLiteral("Resume"));
    Click(2, "pause");
    EXPECT_EQ(Cue(2).State(), csPlaying);
    Click(2, "stop");
    EXPECT_EQ(Count(Call("fadeout", 2, " 1500")), 1) << "the cue's own fade-out";
    EXPECT_TRUE(LinesBecome({"1  Thunder: Playing", "2  Rain: Fading out"}));

    Panel().FadeTime().setValue(2.5);
    Click(2, "fade");
    EXPECT_EQ(Count(Call("fadeout", 2, " 2500")), 1) << "the panel's fade time";
    for (const std::string& call : Audio.Calls)
        EXPECT_EQ(call.find(" " + std::to_string(first) + " "), std::string::npos) << call;
    EXPECT_EQ(Cue(1).State(), csPlaying);
    EXPECT_FALSE(Cue(1).Fading());
    EXPECT_EQ(QApplication::focusWidget(), Form->grSounds) << "the keys stay with the grid";
}

TEST_F(RunningPanelTest, LevelAndKeepActOnTheLinesCueAndKeepCanBeUndone) {
    Cue(2).SetVolumeDB(-10);
    ASSERT_TRUE(Cue(2).Play());
    ASSERT_TRUE(LinesBecome({"2  Rain: Playing"}));
    QSignalSpy level(&Panel(), &TRunningPanel::LiveLevelChanged);
    QSignalSpy keep(&Panel(), &TRunningPanel::KeepLevelRequested);
    auto* slider = Panel().LineOf(Cue(2).Identity())->findChild<QSlider*>(QStringLiteral("level"));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->value(), -10) << "starts at the cue's level";
    slider->setValue(-4);
    ASSERT_EQ(level.count(), 1);
    EXPECT_EQ(level.at(0).at(0).value<quint64>(), Cue(2).Identity());
    EXPECT_EQ(level.at(0).at(1).toInt(), -4);
    EXPECT_EQ(Form->Show().LiveLevel(Cue(2)), -4) << "this playback plays at the new level";
    EXPECT_EQ(Cue(2).VolumeDB(), -10) << "the cue keeps its own until Keep";
    Click(2, "keep");
    ASSERT_EQ(keep.count(), 1);
    EXPECT_EQ(keep.at(0).at(0).value<quint64>(), Cue(2).Identity());
    EXPECT_EQ(Cue(2).VolumeDB(), -4);
    Form->UndoStack->undo();
    EXPECT_EQ(Cue(2).VolumeDB(), -10) << "Keep is an edit to take back";
}

TEST_F(RunningPanelTest, GoDoesWhatSpaceDoesAndKeepsTheKeysInTheGrid) {
    QToolButton& go = *Panel().GoArea().GoButton();
    EXPECT_EQ(Panel().GoArea().StandbyText(), QStringLiteral("1  Thunder"));
    EXPECT_EQ(Panel().GoArea().NextText(), QStringLiteral("Next: 2  Rain"));
    Form->Show().SetGoLockout(std::chrono::milliseconds(60000));
    QTest::mouseClick(&go, Qt::LeftButton);
    EXPECT_EQ(Cue(1).State(), csPlaying);
    EXPECT_EQ(QApplication::focusWidget(), Form->grSounds);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTest::mouseClick(&go, Qt::LeftButton);
    EXPECT_EQ(Cue(2).State(), csStopped) << "within the lockout, from either source";
    EXPECT_EQ(Panel().GoArea().StandbyText(), QStringLiteral("2  Rain"));
    EXPECT_EQ(Panel().GoArea().NextText(), QStringLiteral("Next: 3  Wind"));

    Form->Show().SetGoLockout(std::chrono::milliseconds(0));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTest::mouseClick(&go, Qt::LeftButton);
    EXPECT_EQ(Cue(3).State(), csPlaying);
    EXPECT_EQ(Panel().GoArea().StandbyText(), QStringLiteral("4  Bell"));
    EXPECT_EQ(Panel().GoArea().NextText(), QStringLiteral("Next: none"));

    ASSERT_TRUE(Model().setData(Cell(4, ccDescription), QStringLiteral("Church bell")));
    EXPECT_EQ(Panel().GoArea().StandbyText(), QStringLiteral("4  Church bell"));
    SelectCell(2);
    EXPECT_EQ(Panel().GoArea().StandbyText(), QStringLiteral("2  Rain"));
}

TEST_F(RunningPanelTest, ShowingThePanelIsKeptOnlyWhileShown) {
    EXPECT_TRUE(Panel().isVisible());
    EXPECT_NE(Form->Production->SaveToText().find("RunningCues=\"-1\""), std::string::npos);
    Form->actRunningCues->trigger();
    EXPECT_FALSE(Panel().isVisible());
    EXPECT_FALSE(Form->Production->FormState.RunningCues);
    EXPECT_EQ(Form->Production->SaveToText().find("RunningCues"), std::string::npos);
    EXPECT_EQ(QApplication::focusWidget(), Form->grSounds);
}

TEST_F(RunningPanelTest, TheMeterShowsEachSideAndHoldsItsPeak) {
    ASSERT_TRUE(Cue(1).Play());
    Audio.Levels[Cue(1).Stream()] = 0.5f;
    ASSERT_TRUE(LinesBecome({"1  Thunder: Playing"}));
    const TStereoMeter& meter = Panel().LineOf(Cue(1).Identity())->Meter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return meter.Level(0) > 0; }, WaitMs));
    const double expected = TStereoMeter::ScaleOf(20 * std::log10(0.5));
    EXPECT_NEAR(meter.Level(0), expected, 1e-3);
    EXPECT_NEAR(meter.Level(1), expected, 1e-3) << "one peak told: both sides show it";

    TStereoMeter alone;
    alone.SetLevels(0.9, 0.3);
    alone.SetLevels(0.2, 0.4);
    EXPECT_EQ(alone.Level(0), 0.2);
    EXPECT_EQ(alone.Hold(0), 0.9) << "the peak holds";
    EXPECT_EQ(alone.Hold(1), 0.4) << "a higher level raises the hold";
}
