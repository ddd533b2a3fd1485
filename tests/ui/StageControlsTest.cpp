// The window's levels and sizes for a show: the live level and its Keep for a playing cue, the
// master level and the volume scale, and the text size.
#include "TCueCommands.h"
#include "TLevelControls.h"
#include "TShowControl.h"
#include "TStageZoom.h"
#include "UiTestFixture.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <filesystem>

namespace {

constexpr int WaitMs = 20000;

// What the running cues' panel sends for one line.
class TRunningLine : public QObject {
    Q_OBJECT

Q_SIGNALS:
    void LiveLevelChanged(quint64 identity, int db);
    void KeepLevelRequested(quint64 identity);
};

class StageControlsTest : public UiTestFixture {
public:
    void SetUp() override {
        UiTestFixture::SetUp();
        TCue& rain = AddCue("Rain");
        rain.SetVolumeDB(-10);
        AddCue("Wind");
        Show();
        std::filesystem::remove(SettingsFile());
        QObject::connect(&Line, &TRunningLine::LiveLevelChanged, Form->Levels,
                         &TLevelControls::SetLiveLevel);
        QObject::connect(&Line, &TRunningLine::KeepLevelRequested, Form->Levels,
                         &TLevelControls::KeepLevel);
    }
    void TearDown() override {
        UiTestFixture::TearDown();
        SetPlaybackLevels({});
    }
    TCue& Cue(int32_t number) const { return *Cues().Items(number - 1); }
    float VolumeOf(int32_t number) const {
        const auto found = Audio.Volumes.find(Cue(number).Stream());
        return found == Audio.Volumes.end() ? -1.0f : found->second;
    }
    std::string SettingsFile() const { return Form->Production->FileName; }
    // Until Settings.xml holds the show as it is now.
    bool Saved() const {
        return QTest::qWaitFor(
            [&] { return ReadFile(SettingsFile()) == Form->Production->SaveToText(); }, WaitMs);
    }
    void Start(int32_t number) { Form->Show().Start(TCueNumber(number)); }

    TRunningLine Line;
};

} // namespace

TEST_F(StageControlsTest, ALiveLevelIsHeardAndStoredOnlyWhenKept) {
    Start(1);
    const int undoSteps = Form->UndoStack->count();
    Q_EMIT Line.LiveLevelChanged(Cue(1).Identity(), -30);
    EXPECT_FLOAT_EQ(VolumeOf(1), 0.5f);
    EXPECT_EQ(Cue(1).VolumeDB(), -10);
    EXPECT_EQ(Form->UndoStack->count(), undoSteps) << "a live level is no edit";
    EXPECT_NE(Form->Production->SaveToText().find("<Volume-dB>-10</Volume-dB>"), std::string::npos);

    Q_EMIT Line.KeepLevelRequested(Cue(1).Identity());
    EXPECT_EQ(Cue(1).VolumeDB(), -30);
    EXPECT_EQ(Model().data(Cell(1, ccVolume)).toString(), QStringLiteral("-30dB"));
    ASSERT_TRUE(Saved());
    EXPECT_NE(ReadFile(SettingsFile()).find("<Volume-dB>-30</Volume-dB>"), std::string::npos);

    // Undo and redo act while the cue plays, and what is heard stays.
    ASSERT_TRUE(Form->ActionList1->actUndo->isEnabled());
    Form->ActionList1->actUndo->trigger();
    EXPECT_EQ(Cue(1).VolumeDB(), -10);
    ASSERT_TRUE(Saved());
    Form->ActionList1->actRedo->trigger();
    EXPECT_EQ(Cue(1).VolumeDB(), -30);
    EXPECT_FLOAT_EQ(VolumeOf(1), 0.5f);
    EXPECT_EQ(Cue(1).State(), csPlaying);
}

TEST_F(StageControlsTest, KeepWithoutAChangeOrForAnUnknownCueRecordsNothing) {
    Start(1);
    const int undoSteps = Form->UndoStack->count();
    Q_EMIT Line.KeepLevelRequested(Cue(1).Identity());
    Q_EMIT Line.LiveLevelChanged(Cue(1).Identity() + 1000, -40);
    Q_EMIT Line.KeepLevelRequested(Cue(1).Identity() + 1000);
    Q_EMIT Line.LiveLevelChanged(Cue(2).Identity(), -40);
    Q_EMIT Line.KeepLevelRequested(Cue(2).Identity());
    EXPECT_EQ(Form->UndoStack->count(), undoSteps);
    EXPECT_EQ(Cue(1).VolumeDB(), -10);
    EXPECT_EQ(Cue(2).VolumeDB(), 0) << "a stopped cue has no live level to keep";
}

TEST_F(StageControlsTest, TheMasterLevelReachesEveryCueOutlivesAPanicAndIsSaved) {
    QSlider& master = *Form->Levels->MasterSlider();
    EXPECT_EQ(master.focusPolicy(), Qt::NoFocus) << "the show's keys stay with the window";
    Start(1);
    master.setValue(-30);
    EXPECT_FLOAT_EQ(VolumeOf(1), 50.0f / 60.0f * 0.5f);
    EXPECT_TRUE(Form->Levels->MasterControl()->findChild<QLabel*>()->isVisible());
    ASSERT_TRUE(Saved());
    EXPECT_NE(ReadFile(SettingsFile()).find("<Playback Master-dB=\"-30\"/>"), std::string::npos);

    Form->Show().Panic();
    EXPECT_EQ(master.value(), -30);
    EXPECT_EQ(Form->Show().Levels().MasterDB, -30);
    Start(2);
    EXPECT_FLOAT_EQ(VolumeOf(2), 0.5f);

    Form->Levels->actTrueDecibels->trigger();
    EXPECT_EQ(Form->Production->Playback.Levels.Scale, TVolumeScale::Decibels);
    Cue(2).StopNow();
    Cue(2).SetVolumeDB(-20);
    Start(2);
    EXPECT_NEAR(VolumeOf(2), 0.1f * 0.0316228f, 1e-6f);

    master.setValue(0);
    Form->Levels->actTrueDecibels->trigger();
    ASSERT_TRUE(Saved());
    EXPECT_EQ(ReadFile(SettingsFile()).find("<Playback"), std::string::npos);
}

TEST_F(StageControlsTest, TheSettingsLoadedSetTheShowAndTheControls) {
    Form->Production->Playback = {{TVolumeScale::Decibels, -12}, 25};
    Form->Levels->LoadSettings();
    EXPECT_EQ(Form->Levels->MasterSlider()->value(), -12);
    EXPECT_TRUE(Form->Levels->actTrueDecibels->isChecked());
    EXPECT_EQ(Form->Show().Levels(), (TLevels{TVolumeScale::Decibels, -12}));
    EXPECT_EQ(Form->Show().PanicTime(), 25);
}

TEST_F(StageControlsTest, TheZoomKeysScaleTheGridAndAreSaved) {
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Form->grSounds->setFocus();
    SelectCell(1);
    TCueGrid& grid = *Form->grSounds;
    const QFont normal = grid.font();
    const int rowHeight = grid.rowHeight(0);
    QSignalSpy scales(Form->Zoom, &TStageZoom::ScaleChanged);
    struct Step {
        Qt::Key Key;
        int Scale;
    };
    const Step steps[] = {{Qt::Key_Plus, 110},
                          {Qt::Key_Equal, 125},
                          {Qt::Key_Minus, 110},
                          {Qt::Key_0, 100},
                          {Qt::Key_Minus, 90}};
    for (const Step& step : steps) {
        QTest::keyClick(QApplication::focusWidget(), step.Key, Qt::ControlModifier);
        EXPECT_EQ(Form->Zoom->Scale(), step.Scale) << step.Key;
        EXPECT_EQ(Form->Production->FormState.Scale, step.Scale);
    }
    EXPECT_EQ(scales.count(), 5);
    EXPECT_EQ(scales.last().at(0).toInt(), 90);
    EXPECT_LT(grid.font().pointSizeF(), normal.pointSizeF());
    EXPECT_LT(grid.rowHeight(0), rowHeight);
    EXPECT_EQ(grid.font().pointSizeF(), Form->Zoom->ScaledFont(normal).pointSizeF());
    ASSERT_TRUE(Saved());
    EXPECT_NE(ReadFile(SettingsFile()).find("Scale=\"90\""), std::string::npos);

    for (int i = 0; i < 12; ++i)
        Form->Zoom->actLarger->trigger();
    EXPECT_EQ(Form->Zoom->Scale(), TStageZoom::MaxScale);
    EXPECT_GT(grid.font().pointSizeF(), 2.5 * normal.pointSizeF());
    EXPECT_GT(grid.rowHeight(0), 2 * rowHeight);

    // The cue keys still work.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(Cue(1).State(), csPlaying);
}

TEST_F(StageControlsTest, TheZoomKeysLeaveAnOpenEditorAlone) {
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    SelectCell(1, ccDescription);
    Form->grSounds->edit(Cell(1, ccDescription));
    ASSERT_TRUE(Form->grSounds->Editing());
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    for (Qt::Key key : {Qt::Key_Plus, Qt::Key_Minus, Qt::Key_0})
        QTest::keyClick(editor, key, Qt::ControlModifier);
    EXPECT_EQ(Form->Zoom->Scale(), TStageZoom::NormalScale);
    EXPECT_TRUE(Form->grSounds->Editing());
}

#include "StageControlsTest.moc"
