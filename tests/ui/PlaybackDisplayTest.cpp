#include "TCueLengths.h"
#include "TDroppedFiles.h"
#include "TMessageStrip.h"
#include "TOutputNames.h"
#include "TPlaybackRefresh.h"
#include "TestAudioFiles.h"
#include "UiTestFixture.h"

#include <QComboBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <fstream>

namespace {

const QString Dot = QStringLiteral(" \u00b7 ");

// The window's grid with cues of real files, showing lengths, time left, levels and outputs.
class PlaybackDisplay : public UiTestFixture {
protected:
    void SetUp() override {
        UiTestFixture::SetUp();
        Outputs = {
            {1, "Main speakers", true}, {2, "USB Audio Interface", true}, {3, "Gone", false}};
        Model().Outputs().SetSource([this] { return Outputs; });
    }

    // A cue whose file plays for `seconds`.
    TCue& AddTone(const std::string& name, double seconds) {
        TCue& cue = AddCue(name);
        WriteFloatWav(cue.FileName, 1, 44100,
                      std::vector<float>(static_cast<size_t>(seconds * 44100), 0.25f));
        return cue;
    }
    QString Time(int32_t row) const { return Model().data(Cell(row, ccTime)).toString(); }
    QVariant Progress(int32_t row) const {
        return Model().data(Cell(row, ccTime), TCueGridModel::ProgressRole);
    }
    QVariant Level(int32_t row) const {
        return Model().data(Cell(row, ccTime), TCueGridModel::LevelRole);
    }
    // Waits until the length of row `row`'s file has been found.
    bool LengthShown(int32_t row) {
        Time(row);
        return QTest::qWaitFor([&] { return !Time(row).isEmpty(); }, 5000);
    }
    // Until the refresh has redrawn row `row`'s Time cell once more.
    bool Redrawn(int32_t row) {
        QSignalSpy changed(&Model(), &QAbstractItemModel::dataChanged);
        return QTest::qWaitFor(
            [&] {
                for (const QList<QVariant>& args : changed)
                    if (args[0].toModelIndex() == Cell(row, ccTime))
                        return true;
                return false;
            },
            5000);
    }
    TPlaybackRefresh& Refresh() const { return *Form->grSounds->PlaybackRefresh(); }
    void Drop(int32_t row, const QStringList& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls << QUrl::fromLocalFile(file);
        data.setUrls(urls);
        const QPointF at = Form->grSounds->visualRect(Cell(row, ccDescription)).center();
        // As a drag from the file manager: it enters, then drops.
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form->grSounds->viewport(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Form->grSounds->viewport(), &drop);
    }

    std::vector<TOutputDevice> Outputs;
};

} // namespace

TEST_F(PlaybackDisplay, AStoppedCueShowsItsFilesLengthOrNothing) {
    AddTone("Rain", 83.45);
    AddCue("Missing", false).FileName = AudioFile("missing.wav");
    std::ofstream(AddCue("Words").FileName) << "not a sound at all";
    Show();
    EXPECT_EQ(Model().headerData(ccTime, Qt::Horizontal).toString(), QStringLiteral("Time"));
    ASSERT_TRUE(LengthShown(1));
    EXPECT_EQ(Time(1), QStringLiteral("1:23.4"));
    EXPECT_TRUE(Model().Lengths().WaitForProbes(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(Time(2), QString());
    EXPECT_EQ(Time(3), QString());
    EXPECT_FALSE(Progress(1).isValid());
    EXPECT_FALSE(Model().flags(Cell(1, ccTime)) & Qt::ItemIsEditable);
}

TEST_F(PlaybackDisplay, TimeLeftAndProgressMoveOnWhilePlayingAndStopWithTheCue) {
    struct Case {
        TAudioPosition At;
        bool Loop;
        QString Shown;
        double Done;
    };
    const Case cases[] = {
        {{0.0, 1.0}, false, "-0:02.0", 0.0},   {{0.5, 1.0}, false, "-0:01.5", 0.25},
        {{1.94, 1.0}, false, "-0:00.1", 0.97}, {{3.0, 1.0}, false, "-0:00.0", 1.0},
        {{0.5, 2.0}, false, "-0:00.5", 0.5},   {{2.5, 1.0}, true, "0:00.5", 0.25},
        {{4.25, 1.0}, true, "0:00.2", 0.125},
    };
    TCue& cue = AddTone("Rain", 2.0);
    Show();
    ASSERT_TRUE(LengthShown(1));
    ASSERT_TRUE(cue.Play());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Shown.toStdString());
        cue.Loop = c.Loop;
        Audio.Positions[cue.Stream()] = c.At;
        ASSERT_TRUE(Redrawn(1)) << "the refresh goes on while the cue plays";
        EXPECT_EQ(Time(1), c.Shown);
        EXPECT_NEAR(Progress(1).toDouble(), c.Done, 1e-9);
    }
    ASSERT_TRUE(cue.Stop());
    Audio.Positions.clear();
    EXPECT_EQ(Time(1), QStringLiteral("0:02.0"));
    EXPECT_FALSE(Progress(1).isValid());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Refresh().Running(); }, 5000))
        << "nothing plays: the refresh stops";
}

TEST_F(PlaybackDisplay, TheMeterRisesWithAPlayingCueAndFallsAfterItStops) {
    TCue& cue = AddTone("Rain", 2.0);
    AddTone("Wind", 2.0);
    Show();
    EXPECT_FALSE(Refresh().Running()) << "idle: no refresh at all";
    ASSERT_TRUE(cue.Play());
    Audio.Levels[cue.Stream()] = 0.5f;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Level(1).isValid(); }, 5000));
    EXPECT_NEAR(Level(1).toDouble(), 0.9, 1e-3);
    EXPECT_FALSE(Level(2).isValid());
    ASSERT_TRUE(cue.Stop());
    Audio.Levels.clear();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Level(1).isValid(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Refresh().Running(); }, 5000));
}

TEST_F(PlaybackDisplay, OutputsShowTheirNamesAndAMissingOneSaysWhereItPlays) {
    struct Case {
        int32_t Output;
        QString Shown;
    };
    const Case cases[] = {
        {1, "1" + Dot + "Main speakers"},
        {2, "2" + Dot + "USB Audio Interface"},
        {3, "3" + Dot + "not connected, plays on output 1"},
        {4, "4" + Dot + "not connected, plays on output 1"},
    };
    TCue& cue = AddCue("Rain");
    Show();
    for (const Case& c : cases) {
        cue.SetAudioChannel(c.Output);
        EXPECT_EQ(Model().data(Cell(1, ccOutput)).toString(), c.Shown);
        EXPECT_EQ(Model().data(Cell(1, ccOutput), Qt::EditRole).toInt(), c.Output);
    }
    Outputs.clear();
    Model().Outputs().Refresh();
    EXPECT_EQ(Model().data(Cell(1, ccOutput)).toString(), QStringLiteral("4"))
        << "without a sound server only the number is known";
}

// An output that cues use and that goes is said in the strip, and taken back when it returns;
// one that no cue uses is not worth a line.
TEST_F(PlaybackDisplay, AnOutputThatGoesWhileCuesUseItIsSaidUntilItReturns) {
    AddCue("Rain").SetAudioChannel(2);
    Show();
    const auto said = [&](int32_t output) {
        return Form->MessageStrip->Text(QStringLiteral("output %1").arg(output));
    };
    EXPECT_TRUE(said(2).isEmpty());
    EXPECT_TRUE(said(3).isEmpty()) << "no cue uses output 3";

    Outputs[1].Present = false;
    Model().Outputs().Refresh();
    EXPECT_TRUE(said(2).contains(QStringLiteral("Output 2 is not connected: its cues play on "
                                                "output 1")))
        << said(2).toStdString();

    Outputs[1].Present = true;
    Model().Outputs().Refresh();
    EXPECT_TRUE(said(2).isEmpty());
}

TEST_F(PlaybackDisplay, TheOutputDropDownListsTheOutputsThereAndFollowsThem) {
    TCue& cue = AddCue("Rain");
    cue.SetAudioChannel(3);
    Show();
    SelectCell(1, ccOutput);
    const auto items = [&] {
        Form->grSounds->edit(Cell(1, ccOutput));
        auto* box = qobject_cast<QComboBox*>(Form->grSounds->indexWidget(Cell(1, ccOutput)));
        QStringList texts;
        for (int i = 0; box && i < box->count(); ++i)
            texts << box->itemText(i);
        return std::pair(box, texts);
    };
    auto [box, texts] = items();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(texts, QStringList({"1" + Dot + "Main speakers", "2" + Dot + "USB Audio Interface",
                                  "3" + Dot + "not connected, plays on output 1"}));
    EXPECT_EQ(box->currentIndex(), 2);
    box->setCurrentIndex(1);
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cue.AudioChannel() == 2; }, 5000));

    // Plugged in while running: the engine's notice reads the outputs again.
    Outputs.push_back({4, "Headphones", true});
    QSignalSpy changed(&Model(), &QAbstractItemModel::dataChanged);
    Model().Outputs().Refresh();
    EXPECT_FALSE(changed.isEmpty());
    std::tie(box, texts) = items();
    EXPECT_EQ(texts, QStringList({"1" + Dot + "Main speakers", "2" + Dot + "USB Audio Interface",
                                  "4" + Dot + "Headphones"}));
}

TEST_F(PlaybackDisplay, DroppedAudioFilesBecomeCuesInOrderAndOthersAreNamedOnce) {
    AddCue("A");
    AddCue("B");
    Show();
    const QString first = QString::fromStdString(AudioFile("Door bell.wav"));
    const QString text = QString::fromStdString(AudioFile("notes.txt"));
    const QString second = QString::fromStdString(AudioFile("rain.on.roof.FLAC"));
    for (const QString& file : {first, text, second})
        std::ofstream(file.toStdString()) << "RIFF";
    Drop(2, {first, text, second});
    EXPECT_EQ(Descriptions(), std::vector<std::string>({"A", "Door bell", "rain.on.roof", "B"}));
    EXPECT_EQ(Cues().Items(1)->FileName, first.toStdString());
    EXPECT_EQ(Cues().Items(2)->FileName, second.toStdString());
    EXPECT_EQ(Cues().Items(2)->VolumeDB(), 0);
    EXPECT_EQ(Cues().Items(2)->AudioChannel(), 1);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors[0].contains(QStringLiteral("notes.txt")));
    EXPECT_FALSE(Errors[0].contains(QStringLiteral("Door bell")));
    EXPECT_EQ(Model().rowCount(), 4);
    EXPECT_FALSE(Cues().Items(2)->UID.empty());

    // One step undoes the drop.
    Form->ActionList1->actUndo->trigger();
    EXPECT_EQ(Descriptions(), std::vector<std::string>({"A", "B"}));
    Form->ActionList1->actRedo->trigger();
    EXPECT_EQ(Descriptions(), std::vector<std::string>({"A", "Door bell", "rain.on.roof", "B"}));

    // A new cue reports its state to the window like any other.
    ASSERT_TRUE(Cues().Items(1)->Play());
    EXPECT_TRUE(Form->ActionList1->actStopAll->isEnabled());
    Errors.clear();
    Drop(1, {first});
    EXPECT_EQ(Cues().Count(), 4) << "refused while a cue plays, as Insert is";
    EXPECT_EQ(Errors.size(), 1);
}

TEST_F(PlaybackDisplay, FilesDroppedBelowTheRowsGoAtTheEnd) {
    AddCue("A");
    Show();
    TDroppedFiles dropped({QStringLiteral("/show/x.mp3"), QStringLiteral("/show/y.ogg")});
    EXPECT_EQ(dropped.InsertInto(Cues(), 5, nullptr), 1);
    EXPECT_EQ(Descriptions(), std::vector<std::string>({"A", "x", "y"}));
    EXPECT_TRUE(dropped.RefusedText().isEmpty());
}
