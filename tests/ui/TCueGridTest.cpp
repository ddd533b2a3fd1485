#include "UiTestFixture.h"

#include "TCueGridDelegate.h"
#include "TOutputNames.h"
#include "TShowControl.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {
// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        Count += event->type() == QEvent::Paint;
        return false;
    }
};
} // namespace

// A cell's text as the grid draws it: elided as the style elides it into the cell's text room.
class ShownText : public TCueGridDelegate {
public:
    QString Of(const QTableView& view, const QModelIndex& index) const {
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = view.visualRect(index);
        option.textElideMode = view.textElideMode();
        initStyleOption(&option, index);
        const int margin =
            view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
        return option.fontMetrics.elidedText(option.text, option.textElideMode,
                                             option.rect.width() - 2 * margin);
    }
};

class TCueGridTest : public UiTestFixture {
public:
    // Resizes the window and waits until the columns fill the grid again.
    void ResizeTo(int width, int height) {
        Form->resize(width, height);
        QHeaderView* header = Form->grSounds->horizontalHeader();
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return Form->width() == width &&
                   (header->length() == header->viewport()->width() ||
                    header->sectionSize(ccFileName) == header->sectionSizeHint(ccFileName));
        }));
    }
    std::vector<int> SectionSizes() const {
        std::vector<int> sizes;
        for (int col = 0; col < ccColumnCount; ++col)
            sizes.push_back(Form->grSounds->horizontalHeader()->sectionSize(col));
        return sizes;
    }
    QWidget* OpenEditor(int32_t row, int col) {
        const QModelIndex index = Cell(row, col);
        SelectCell(row, col);
        Form->grSounds->edit(index);
        return Form->grSounds->indexWidget(index);
    }
    QString Text(int32_t row, int col) const { return Model().data(Cell(row, col)).toString(); }
    qint64 StatePicture(int32_t row) const {
        return Model()
            .headerData(row - 1, Qt::Vertical, Qt::DecorationRole)
            .value<QIcon>()
            .cacheKey();
    }
    qint64 Picture(TCueState state) const { return Form->ImageList1.Icon(state).cacheKey(); }
    void ClickLoopBox(int32_t row) {
        const QRect cell = Form->grSounds->visualRect(Cell(row, ccLoop));
        QTest::mouseClick(Form->grSounds->viewport(), Qt::LeftButton, {},
                          QPoint(cell.left() + 10, cell.center().y()));
    }
};

TEST_F(TCueGridTest, ShowsTheCuesWithTheirNumbersPicturesAndUnits) {
    TCue& rain = AddCue("Rain");
    rain.SetVolumeDB(-12);
    rain.SetPan(-30);
    rain.SetPitch(110);
    rain.SetAudioChannel(2);
    rain.Loop = true;
    AddCue("Thunder");
    // Outputs by number alone, as without a sound server.
    Model().Outputs().SetSource(nullptr);
    QAbstractItemModelTester tester(&Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    Show();
    Cues().Items(1)->Play();

    EXPECT_EQ(Model().rowCount(), 2);
    const QStringList row1 = {Text(1, ccDescription), Text(1, ccFileName), Text(1, ccVolume),
                              Text(1, ccPan),         Text(1, ccPitch),    Text(1, ccOutput)};
    EXPECT_EQ(row1, QStringList({"Rain", QString::fromStdString(rain.FileName), "-12dB", "-30",
                                 "110", "2"}));
    EXPECT_EQ(Text(2, ccVolume), QStringLiteral("0dB"));
    EXPECT_EQ(Model().data(Cell(1, ccVolume), Qt::EditRole).toInt(), -12);
    EXPECT_EQ(Model().data(Cell(1, ccLoop), Qt::CheckStateRole).value<Qt::CheckState>(),
              Qt::Checked);
    EXPECT_EQ(Model().data(Cell(2, ccLoop), Qt::CheckStateRole).value<Qt::CheckState>(),
              Qt::Unchecked);
    EXPECT_TRUE(Text(1, ccLoop).isEmpty());
    EXPECT_EQ(Model().headerData(1, Qt::Vertical).toString(), QStringLiteral("2"));
    EXPECT_EQ(StatePicture(1), Picture(csStopped));
    EXPECT_EQ(StatePicture(2), Picture(csPlaying));
    // The check box of a playing cue keeps its enabled look.
    EXPECT_TRUE(Model().flags(Cell(2, ccLoop)) & Qt::ItemIsEnabled);

    QStringList headers;
    QList<Qt::Alignment> alignments;
    for (int col = 0; col < ccColumnCount; ++col) {
        headers << Model().headerData(col, Qt::Horizontal).toString();
        alignments << (Model()
                           .headerData(col, Qt::Horizontal, Qt::TextAlignmentRole)
                           .value<Qt::Alignment>() &
                       Qt::AlignHorizontal_Mask);
        EXPECT_EQ(Model().data(Cell(1, col), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                      Qt::AlignHorizontal_Mask,
                  alignments.back());
    }
    EXPECT_EQ(headers,
              QStringList({"Description", "Filename", "Volume", "Pan", "Pitch", "Loop", "Output",
                           "Time", "Fade In", "Fade Out", "Pre-wait", "Post-wait", "Continue"}));
    const Qt::Alignment left = Qt::AlignLeft, centre = Qt::AlignHCenter, right = Qt::AlignRight;
    EXPECT_EQ(alignments, QList<Qt::Alignment>({left, left, centre, centre, centre, centre, left,
                                                right, centre, centre, centre, centre, left}));
}

TEST_F(TCueGridTest, TheRowHeaderIsWideEnoughForThePictureAndTheLastNumber) {
    for (int i = 1; i <= 1000; ++i)
        AddCue("Cue " + std::to_string(i), false);
    Show();
    const QHeaderView* header = Form->grSounds->verticalHeader();
    const int needed = 16 + header->fontMetrics().horizontalAdvance(QStringLiteral("1000"));
    EXPECT_GT(header->width(), needed);
    EXPECT_EQ(header->sectionSize(999), 22);
}

TEST_F(TCueGridTest, FileNameColumnTakesTheWidthLeftOverAndOthersCanBeResized) {
    AddCue("Rain");
    Show();
    QHeaderView* header = Form->grSounds->horizontalHeader();
    // Wide enough for every column at its width; narrower, the grid scrolls sideways.
    Form->resize(1000, Form->height());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return header->length() == header->viewport()->width(); }, 5000));
    EXPECT_GE(header->sectionSize(ccDescription), 100);
    EXPECT_GE(header->sectionSize(ccVolume), 55);
    EXPECT_EQ(header->sectionResizeMode(ccPan), QHeaderView::Interactive);
    const int fileName = header->sectionSize(ccFileName);
    EXPECT_EQ(header->length(), header->viewport()->width());
    Form->resize(Form->width() + 100, Form->height());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return header->sectionSize(ccFileName) == fileName + 100; }, 5000));
    header->resizeSection(ccDescription, 150);
    EXPECT_EQ(header->length(), header->viewport()->width());
}

// Every column border can be dragged, the file name's too; a later resize of the window fills
// the width again through the file name column.
TEST_F(TCueGridTest, TheFileNameBorderCanBeDragged) {
    AddCue("Rain");
    Show();
    QHeaderView* header = Form->grSounds->horizontalHeader();
    // Wide enough for the file name column to give up some width.
    Form->resize(1000, Form->height());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return header->length() == header->viewport()->width() &&
                   header->sectionSize(ccFileName) > 150;
        },
        5000));
    const int before = header->sectionSize(ccFileName);
    const int y = header->height() / 2;
    const int border = header->sectionViewportPosition(ccFileName) + before - 1;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(border, y));
    for (int x = border; x >= border - 60; x -= 5) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y),
                         header->viewport()->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &move);
    }
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(border - 60, y));
    EXPECT_EQ(header->sectionSize(ccFileName), before - 60);

    Form->resize(Form->width() + 100, Form->height());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return header->length() == header->viewport()->width(); }, 5000));
    EXPECT_EQ(header->sectionSize(ccFileName), before + 100);
}

TEST_F(TCueGridTest, EditsAreWrittenThroughTheSettersAndShownClamped) {
    struct Case {
        int Col;
        QString Text;
        std::function<int32_t(const TCue&)> Read;
        int32_t Expected;
        bool Refused;
    };
    const auto volume = [](const TCue& c) { return c.VolumeDB(); };
    const auto pan = [](const TCue& c) { return c.Pan(); };
    const auto pitch = [](const TCue& c) { return c.Pitch(); };
    const auto output = [](const TCue& c) { return c.AudioChannel(); };
    // The cue starts at volume -20, pan 10, pitch 90, output 2.
    const Case cases[] = {
        {ccPitch, "200", pitch, 125, false},
        {ccPitch, "0", pitch, 75, false},
        {ccVolume, "-12dB", volume, -12, false},
        {ccVolume, " -7 ", volume, -7, false},
        {ccVolume, "6", volume, 0, false},
        {ccVolume, "-100dB", volume, -60, false},
        {ccVolume, "abc", volume, -20, true},
        {ccVolume, "", volume, -20, true},
        {ccVolume, "-dB", volume, -20, true},
        {ccPan, "-101", pan, -100, false},
        {ccPan, "x1", pan, 10, true},
        {ccPan, "", pan, 0, false},
        {ccOutput, "5", output, 4, false},
        {ccOutput, "-", output, 1, false},
        {ccOutput, "2.5", output, 2, true},
    };
    TCue& cue = AddCue("Rain");
    Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text.toStdString());
        cue.SetVolumeDB(-20);
        cue.SetPan(10);
        cue.SetPitch(90);
        cue.SetAudioChannel(2);
        Errors.clear();
        EXPECT_EQ(Model().setData(Cell(1, c.Col), c.Text), !c.Refused);
        EXPECT_EQ(c.Read(cue), c.Expected);
        EXPECT_EQ(Model().data(Cell(1, c.Col), Qt::EditRole).toInt(), c.Expected);
        EXPECT_EQ(Errors,
                  c.Refused ? QStringList{"Cell does not contain integer value"} : QStringList{});
    }
    Model().setData(Cell(1, ccDescription), QStringLiteral("Heavy rain"));
    EXPECT_EQ(cue.Description, "Heavy rain");
}

TEST_F(TCueGridTest, TypingIntoTheSpinEditorsBringsTheValueIntoRange) {
    struct Case {
        int Col;
        const char* Typed;
        QString Shown;
    };
    const Case cases[] = {
        {ccPitch, "200", "125"}, {ccVolume, "-12", "-12dB"},        {ccVolume, "-99", "-60dB"},
        {ccPan, "-150", "-100"}, {ccDescription, "Storm", "Storm"},
    };
    AddCue("Rain");
    Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Typed);
        QWidget* editor = OpenEditor(1, c.Col);
        ASSERT_NE(editor, nullptr);
        if (auto* spin = qobject_cast<QSpinBox*>(editor))
            spin->selectAll();
        else
            static_cast<QLineEdit*>(editor)->selectAll();
        QTest::keyClicks(editor, QLatin1String(c.Typed));
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !Form->grSounds->indexWidget(Cell(1, c.Col)); }, 5000));
        EXPECT_EQ(Text(1, c.Col), c.Shown);
    }
    EXPECT_EQ(Cues().Items(0)->Pitch(), 125);
    EXPECT_EQ(Cues().Items(0)->Description, "Storm");
}

TEST_F(TCueGridTest, ARefusedVolumeShowsTheErrorBoxAndKeepsTheVolume) {
    // One window at a time holds the program's Settings.xml.
    Form.reset();
    Form = std::make_unique<TfmMain>(OfflineAudio()); // with its own error box
    Form->Production->Cues.Clear();
    Form->Production->FileName = AudioFile("Settings.xml");
    TCue& cue = AddCue("Rain");
    cue.SetVolumeDB(-30);
    Show();
    // The box runs its own event loop; a timer inside it reads and closes it.
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            box->accept();
        }
    });
    closer.start(10);
    Model().setData(Cell(1, ccVolume), QStringLiteral("abc"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !text.isEmpty(); }, 5000));
    EXPECT_EQ(title, QStringLiteral("Trelmo"));
    EXPECT_EQ(text, QStringLiteral("Cell does not contain integer value."));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(cue.VolumeDB(), -30);
    EXPECT_EQ(Text(1, ccVolume), QStringLiteral("-30dB"));
}

TEST_F(TCueGridTest, ACueThatStartedAfterItsCellBecameCurrentIsNotEdited) {
    TCue& cue = AddCue("Rain");
    Show();
    for (int col : {ccDescription, ccVolume, ccPan, ccPitch, ccOutput}) {
        SCOPED_TRACE(col);
        cue.Stop();
        SelectCell(1, col);
        cue.Play();
        QTest::keyClick(Form->grSounds->viewport(), Qt::Key_5);
        QTest::keyClick(Form->grSounds->viewport(), Qt::Key_F2);
        Form->grSounds->edit(Cell(1, col));
        EXPECT_EQ(Form->grSounds->indexWidget(Cell(1, col)), nullptr);
    }
    EXPECT_FALSE(Model().setData(Cell(1, ccPitch), QStringLiteral("80")));
    cue.Pause();
    EXPECT_EQ(OpenEditor(1, ccPan), nullptr);
    EXPECT_EQ(cue.Pitch(), 100);
    EXPECT_EQ(cue.Description, "Rain");
    cue.Stop();
    EXPECT_NE(OpenEditor(1, ccPitch), nullptr);
}

TEST_F(TCueGridTest, TheLoopBoxOfAPlayingOrPausedCueDoesNotToggle) {
    TCue& cue = AddCue("Rain");
    Show();
    SelectCell(1, ccLoop);
    ClickLoopBox(1);
    ASSERT_TRUE(cue.Loop) << "a click on the box of a stopped cue toggles it";
    ClickLoopBox(1);
    ASSERT_FALSE(cue.Loop);
    for (bool pause : {false, true}) {
        cue.Play();
        if (pause)
            cue.Pause();
        ClickLoopBox(1);
        EXPECT_FALSE(cue.Loop);
        cue.Stop();
    }
    ClickLoopBox(1);
    EXPECT_TRUE(cue.Loop);
}

TEST_F(TCueGridTest, FadeTimesShowInSecondsAndAreEditedToATenth) {
    struct Case {
        int Col;
        QVariant Value;
        int32_t Tenths;
        QString Shown;
        bool Refused;
    };
    const Case cases[] = {
        {ccFadeIn, 1.5, 15, "1.5 s", false},
        {ccFadeIn, QStringLiteral("2.04 s"), 20, "2.0 s", false},
        {ccFadeIn, 0.0, 0, "", false},
        {ccFadeOut, QStringLiteral("75"), 600, "60.0 s", false},
        {ccFadeOut, QStringLiteral("-3"), 0, "", false},
        {ccFadeOut, QStringLiteral(""), 0, "", false},
        {ccFadeOut, QStringLiteral("slow"), 7, "0.7 s", true},
    };
    TCue& cue = AddCue("Rain");
    Show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Value.toString().toStdString());
        cue.SetFadeIn(7);
        cue.SetFadeOut(7);
        Errors.clear();
        EXPECT_EQ(Model().setData(Cell(1, c.Col), c.Value), !c.Refused);
        EXPECT_EQ(c.Col == ccFadeIn ? cue.FadeIn() : cue.FadeOut(), c.Tenths);
        EXPECT_EQ(Text(1, c.Col), c.Shown);
        EXPECT_EQ(Errors.size(), c.Refused ? 1 : 0);
    }
    QWidget* editor = OpenEditor(1, ccFadeIn);
    auto* spin = qobject_cast<QDoubleSpinBox*>(editor);
    ASSERT_NE(spin, nullptr);
    spin->selectAll();
    QTest::keyClicks(spin, QStringLiteral("12.3"));
    QTest::keyClick(spin, Qt::Key_Return);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !Form->grSounds->indexWidget(Cell(1, ccFadeIn)); }, 5000));
    EXPECT_EQ(cue.FadeIn(), 123);
    EXPECT_EQ(Text(1, ccFadeIn), QStringLiteral("12.3 s"));
    cue.Play();
    EXPECT_EQ(OpenEditor(1, ccFadeOut), nullptr) << "a playing cue's fades are not edited";
}

TEST_F(TCueGridTest, AFadingCueShowsItsOwnPicture) {
    TCue& cue = AddCue("Rain");
    cue.SetFadeOut(20);
    Show();
    ASSERT_TRUE(cue.Play());
    ASSERT_TRUE(cue.Stop());
    EXPECT_NE(StatePicture(1), Picture(csPlaying));
    EXPECT_NE(StatePicture(1), Picture(csStopped));
    EXPECT_FALSE(Model()
                     .headerData(0, Qt::Vertical, Qt::DecorationRole)
                     .value<QIcon>()
                     .pixmap(16, 16)
                     .isNull());
    ASSERT_TRUE(cue.Stop());
    EXPECT_EQ(StatePicture(1), Picture(csStopped));
}

TEST_F(TCueGridTest, TheBlankRowOfAnEmptyListIsNeverEdited) {
    Show();
    EXPECT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Cues().Current(), 1);
    for (int col = 0; col < ccColumnCount; ++col)
        EXPECT_EQ(OpenEditor(1, col), nullptr);
    EXPECT_FALSE(Model().setData(Cell(1, ccPitch), QStringLiteral("80")));
    const QRect fileName = Form->grSounds->visualRect(Cell(1, ccFileName));
    QTest::mouseDClick(Form->grSounds->viewport(), Qt::LeftButton, {}, fileName.center());
    EXPECT_TRUE(DialogRequests.empty());
}

TEST_F(TCueGridTest, DoubleClickOnAStoppedCuesFileNameSelectsItsFile) {
    AddCue("Rain");
    TCue& thunder = AddCue("Thunder");
    Show();
    const QRect fileName = Form->grSounds->visualRect(Cell(2, ccFileName));
    DialogAnswer = QStringLiteral("/shows/thunder.flac");

    thunder.Play();
    QTest::mouseDClick(Form->grSounds->viewport(), Qt::LeftButton, {}, fileName.center());
    EXPECT_TRUE(DialogRequests.empty());
    EXPECT_EQ(Form->grSounds->indexWidget(Cell(2, ccFileName)), nullptr);

    thunder.Stop();
    QTest::mouseDClick(Form->grSounds->viewport(), Qt::LeftButton, {}, fileName.center());
    ASSERT_EQ(DialogRequests.size(), 1u);
    EXPECT_EQ(thunder.FileName, "/shows/thunder.flac");
    EXPECT_EQ(Text(2, ccFileName), QStringLiteral("/shows/thunder.flac"));
    EXPECT_EQ(Form->grSounds->indexWidget(Cell(2, ccFileName)), nullptr);
}

TEST_F(TCueGridTest, DraggingRowThreeOntoRowOneMovesTheCueWithItsPicture) {
    AddCue("P");
    AddCue("Q");
    TCue& r = AddCue("R");
    QAbstractItemModelTester tester(&Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    Show();
    SelectCell(2);
    r.Play();
    const HSTREAM firstStream = r.Stream();

    Form->grSounds->verticalHeader()->moveSection(2, 0);

    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"R", "P", "Q"}));
    for (int32_t row = 1; row <= 3; ++row) {
        EXPECT_EQ(Model().headerData(row - 1, Qt::Vertical).toString(), QString::number(row));
        EXPECT_EQ(Form->grSounds->verticalHeader()->logicalIndex(row - 1), row - 1);
        EXPECT_EQ(Text(row, ccDescription), QString::fromStdString(Descriptions()[row - 1]));
    }
    EXPECT_EQ(StatePicture(1), Picture(csPlaying));
    EXPECT_EQ(StatePicture(2), Picture(csStopped));
    EXPECT_EQ(r.State(), csPlaying);
    EXPECT_EQ(r.Stream(), firstStream);
    EXPECT_EQ(Cues().Current(), Form->grSounds->CurrentRow());

    r.Stop();
    EXPECT_EQ(StatePicture(1), Picture(csStopped));
}

TEST_F(TCueGridTest, DraggingWithTheMouseReordersTheList) {
    AddCue("P");
    AddCue("Q");
    AddCue("R");
    Show();
    QHeaderView* header = Form->grSounds->verticalHeader();
    const int x = header->width() / 2;
    const QPoint from(x, header->sectionViewportPosition(2) + 11);
    const QPoint to(x, header->sectionViewportPosition(0) + 5);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, from);
    for (int y = from.y(); y >= to.y(); y -= 4) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y),
                         header->viewport()->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &move);
    }
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, to);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"R", "P", "Q"}));
    EXPECT_EQ(Text(1, ccDescription), QStringLiteral("R"));
}

TEST_F(TCueGridTest, CurrentFollowsTheCurrentRowThroughRebuilds) {
    for (const char* name : {"A", "B", "C", "D"})
        AddCue(name);
    Show();
    EXPECT_EQ(Cues().Current(), 1);
    SelectCell(3, ccPan);
    EXPECT_EQ(Cues().Current(), 3);
    QTest::keyClick(Form->grSounds->viewport(), Qt::Key_Down);
    EXPECT_EQ(Cues().Current(), 4);
    Form->RefreshGrid();
    EXPECT_EQ(Cues().Current(), 4);
    EXPECT_EQ(Form->grSounds->CurrentRow(), 4);
    Cues().Delete(3);
    Cues().Delete(2);
    Form->RefreshGrid();
    EXPECT_EQ(Form->grSounds->CurrentRow(), 2);
    EXPECT_EQ(Cues().Current(), 2);
    EXPECT_EQ(Cues().CurrentCue()->Description, "B");
}

TEST_F(TCueGridTest, AStateChangeRedrawsOnlyThatRowsPictureAndTime) {
    for (const char* name : {"A", "B", "C"})
        AddCue(name);
    Show();
    QTest::qWait(100);
    PaintCounter rowHeaderPaints(Form->grSounds->verticalHeader()->viewport());
    QSignalSpy cells(&Model(), &QAbstractItemModel::dataChanged);
    QSignalSpy headers(&Model(), &QAbstractItemModel::headerDataChanged);
    QSignalSpy resets(&Model(), &QAbstractItemModel::modelReset);

    Cues().Items(1)->Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowHeaderPaints.Count > 0; }, 5000));
    QTest::qWait(50);
    ASSERT_EQ(headers.count(), 1);
    EXPECT_EQ(headers[0], QVariantList({QVariant::fromValue(Qt::Vertical), 1, 1}));
    EXPECT_EQ(StatePicture(2), Picture(csPlaying));
    EXPECT_TRUE(Form->ActionList1->actStopAll->isEnabled());

    const TCue outside;
    Form->CueStateChanged(outside);
    Cues().Items(1)->Stop();
    EXPECT_EQ(headers.count(), 2);
    ASSERT_FALSE(cells.isEmpty());
    for (const QList<QVariant>& changed : cells) {
        EXPECT_EQ(changed[0].toModelIndex(), Cell(2, ccTime)) << "only the cue's Time cell";
        EXPECT_EQ(changed[1].toModelIndex(), Cell(2, ccTime));
    }
    EXPECT_EQ(resets.count(), 0);
    EXPECT_FALSE(Form->ActionList1->actStopAll->isEnabled());
}

// Cues loaded with the same UID, and cues beyond 1000, share a UID: each repaints its own row.
TEST_F(TCueGridTest, AStateChangeRepaintsTheRowOfThatVeryCueWhenUIDsRepeat) {
    for (const char* name : {"A", "B", "C"})
        AddCue(name).UID = "5";
    Show();
    QSignalSpy headers(&Model(), &QAbstractItemModel::headerDataChanged);
    for (int32_t row : {3, 2}) {
        headers.clear();
        Cues().Items(row - 1)->Play();
        ASSERT_EQ(headers.count(), 1);
        EXPECT_EQ(headers[0], QVariantList({QVariant::fromValue(Qt::Vertical), row - 1, row - 1}));
        EXPECT_EQ(StatePicture(row), Picture(csPlaying));
    }
    EXPECT_EQ(StatePicture(1), Picture(csStopped));
}

// An edit refreshes its row and then the commands, so Play notices a file that appeared since.
TEST_F(TCueGridTest, AnEditReEvaluatesTheCommands) {
    TCue& cue = AddCue("Rain", false);
    cue.FileName = AudioFile("rain.wav");
    Show();
    SelectCell(1);
    ASSERT_FALSE(Form->ActionList1->actPlay->isEnabled());
    std::ofstream(cue.FileName) << "RIFF";
    const QSignalSpy rows(&Model(), &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(Model().setData(Cell(1, ccDescription), QStringLiteral("Heavy rain")));
    EXPECT_EQ(rows.count(), 1);
    EXPECT_TRUE(Form->ActionList1->actPlay->isEnabled());

    std::filesystem::remove(cue.FileName);
    EXPECT_TRUE(Model().setData(Cell(1, ccLoop), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(Form->ActionList1->actPlay->isEnabled());
}

// Output names are how an operator checks routing: the column fits the widest one, and follows
// the outputs when they change. A long path keeps its end, the file's own name, in view.
TEST_F(TCueGridTest, OutputNamesFitAndLongPathsKeepTheFileName) {
    std::vector<TOutputDevice> outputs = {{1, "Built-in Audio Analog Stereo-Right", true},
                                          {2, "Studio Monitors", true},
                                          {3, "HDMI network sink hot@vm", true}};
    Model().Outputs().SetSource([&] { return outputs; });
    const std::string folder =
        AudioFile("a folder for the sounds of the second act of the evening show");
    std::filesystem::create_directories(folder);
    for (const int32_t output : {1, 2, 3}) {
        TCue& cue = AddCue("Cue " + std::to_string(output));
        cue.SetAudioChannel(output);
        cue.FileName = folder + "/thunder-final-" + std::to_string(output) + ".wav";
    }
    Show();
    TCueGrid& grid = *Form->grSounds;
    ShownText shown;
    // Wide: every column at its starting width and the file name with room to spare.
    constexpr int wideWindow = 1320;
    for (const int width : {wideWindow, 600}) {
        SCOPED_TRACE(width);
        ResizeTo(width, 400);
        for (int32_t row = 1; row <= 3; ++row) {
            EXPECT_EQ(shown.Of(grid, Cell(row, ccOutput)), Text(row, ccOutput));
            const QString name = shown.Of(grid, Cell(row, ccFileName));
            const QString path = Text(row, ccFileName);
            ASSERT_TRUE(name.startsWith(QChar(0x2026))) << "the path is longer than its cell";
            EXPECT_TRUE(path.endsWith(name.mid(1))) << name.toStdString();
            if (width == wideWindow) {
                EXPECT_TRUE(name.endsWith(QStringLiteral("/thunder-final-%1.wav").arg(row)))
                    << name.toStdString();
            }
            EXPECT_EQ(Model().data(Cell(row, ccFileName), Qt::ToolTipRole).toString(),
                      Text(row, ccFileName));
        }
    }

    const int wide = grid.horizontalHeader()->sectionSize(ccOutput);
    outputs[0].Name = "Main";
    Model().Outputs().Refresh();
    EXPECT_LT(grid.horizontalHeader()->sectionSize(ccOutput), wide);
    outputs[2].Name = "HDMI network sink hot@vm in the second rack";
    Model().Outputs().Refresh();
    EXPECT_GT(grid.horizontalHeader()->sectionSize(ccOutput), wide);
    EXPECT_EQ(shown.Of(grid, Cell(3, ccOutput)), Text(3, ccOutput));
}

// A narrower window takes its width from the file name column first, down to what its header
// needs; every other column keeps its width and the grid scrolls sideways.
TEST_F(TCueGridTest, TheFileNameGivesWayFirst) {
    AddCue("Rain").FileName = AudioFile("rain-on-the-roof-of-the-old-barn-in-the-second-act.wav");
    Show();
    ResizeTo(1100, 400);
    std::vector<int> wide = SectionSizes();
    ResizeTo(600, 400);
    const std::vector<int> narrow = SectionSizes();
    QHeaderView* header = Form->grSounds->horizontalHeader();
    EXPECT_EQ(narrow[ccFileName], header->sectionSizeHint(ccFileName));
    EXPECT_LT(narrow[ccFileName], wide[ccFileName]);
    wide[ccFileName] = narrow[ccFileName];
    EXPECT_EQ(narrow, wide);
}

// Mid-show a letter meant for a command, or a bounce of it, must never land in a cell: only F2,
// Enter and a double click open an editor.
TEST_F(TCueGridTest, OnlyF2EnterAndADoubleClickStartEditing) {
    struct Case {
        const char* Name;
        std::function<void(TCueGrid&, const QModelIndex&)> Press;
        bool Opens;
    };
    const auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
        return [k, modifiers](TCueGrid& grid, const QModelIndex&) {
            QTest::keyClick(&grid, k, modifiers);
        };
    };
    const Case cases[] = {
        {"p", key(Qt::Key_P), false},
        {"a", key(Qt::Key_A), false},
        {"5", key(Qt::Key_5), false},
        {"minus", key(Qt::Key_Minus), false},
        {"F2", key(Qt::Key_F2), true},
        {"Return", key(Qt::Key_Return), true},
        {"Enter", key(Qt::Key_Enter, Qt::KeypadModifier), true},
        {"double click",
         [](TCueGrid& grid, const QModelIndex& cell) {
             // The press before the double click, as a real mouse sends it.
             const QPoint at = grid.visualRect(cell).center();
             QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, at);
             QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
         },
         true},
    };
    AddCue("Rain");
    Show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    TCueGrid& grid = *Form->grSounds;
    grid.setFocus();
    for (const int col : {ccDescription, ccVolume, ccPan, ccPitch, ccOutput, ccFadeIn, ccFadeOut,
                          ccPreWait, ccPostWait, ccContinue})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.Name) + " in column " + std::to_string(col));
            SelectCell(1, col);
            const std::string before = Cues().Items(0)->Description;
            c.Press(grid, Cell(1, col));
            QWidget* editor = grid.indexWidget(Cell(1, col));
            EXPECT_EQ(editor != nullptr, c.Opens);
            if (!editor)
                continue;
            QTest::keyClick(editor, Qt::Key_Escape);
            ASSERT_TRUE(QTest::qWaitFor([&] { return !grid.indexWidget(Cell(1, col)); }, 5000));
            grid.setFocus();
        }
    EXPECT_EQ(Cues().Items(0)->Description, "Rain");
    EXPECT_EQ(Cues().Items(0)->State(), csStopped);

    // Enter opens the cell with its text selected, so what is typed replaces it.
    SelectCell(1, ccDescription);
    const std::pair<std::vector<Qt::Key>, const char*> entries[] = {
        {{Qt::Key_Home}, "Storm"},
        {{Qt::Key_End, Qt::Key_Left, Qt::Key_Left, Qt::Key_Left}, "2.5"},
        {{Qt::Key_End, Qt::Key_Left}, "1.5"}};
    for (const auto& [moves, typed] : entries) {
        for (const Qt::Key move : moves)
            QTest::keyClick(&grid, move);
        QTest::keyClick(&grid, Qt::Key_Return);
        QWidget* editor = grid.indexWidget(grid.currentIndex());
        ASSERT_NE(editor, nullptr) << typed;
        QTest::keyClicks(editor, QLatin1String(typed));
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !grid.indexWidget(grid.currentIndex()); }, 5000));
    }
    EXPECT_EQ(Cues().Items(0)->Description, "Storm");
    EXPECT_EQ(Cues().Items(0)->FadeOut(), 25);
    EXPECT_EQ(Cues().Items(0)->PostWait(), 15);
}

// After GO the current cue is the next, stopped one: a P meant for the cue just fired types
// nothing into it, and the next Space is GO again.
TEST_F(TCueGridTest, ALetterAfterGoLeavesTheNextSpaceToGo) {
    TCue& rain = AddCue("Rain");
    TCue& wind = AddCue("Wind");
    Show();
    // The keys come faster than an operator's; the lockout has tests of its own.
    Form->Show().SetGoLockout(std::chrono::milliseconds(0));
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    Form->grSounds->setFocus();
    SelectCell(1, ccDescription);
    QTest::keyClick(Form->grSounds, Qt::Key_Space);
    ASSERT_EQ(rain.State(), csPlaying);
    ASSERT_EQ(Form->grSounds->CurrentRow(), 2);
    QTest::keyClick(Form->grSounds, Qt::Key_P);
    EXPECT_EQ(Form->grSounds->indexWidget(Cell(2, ccDescription)), nullptr);
    QTest::keyClick(Form->grSounds, Qt::Key_Space);
    EXPECT_EQ(wind.State(), csPlaying);
    EXPECT_EQ(wind.Description, "Wind");
}

// A new, empty show at the default size says how to begin, and squeezes no header to "…".
TEST_F(TCueGridTest, AnEmptyShowSaysHowToAddCues) {
    Show();
    ASSERT_EQ(Form->size(), QSize(600, 400));
    TCueGrid& grid = *Form->grSounds;
    const QString hint = grid.EmptyShowHint();
    EXPECT_TRUE(hint.contains(QStringLiteral("Add Files"))) << hint.toStdString();
    EXPECT_TRUE(hint.contains(QStringLiteral("drop"))) << hint.toStdString();
    QHeaderView* header = grid.horizontalHeader();
    for (int col = 0; col < ccColumnCount; ++col)
        EXPECT_GE(header->sectionSize(col), header->sectionSizeHint(col)) << "column " << col;

    // The pixels below the blank row that are not the grid's background.
    const auto drawn = [&] {
        const QImage image = grid.viewport()->grab().toImage();
        const QColor base = grid.palette().color(QPalette::Base);
        QRect box;
        for (int y = grid.rowHeight(0) + 1; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != base)
                    box |= QRect(x, y, 1, 1);
        return box;
    };
    const QRect text = drawn();
    ASSERT_FALSE(text.isEmpty()) << "the hint is painted";
    EXPECT_TRUE(grid.viewport()->rect().adjusted(1, 1, -1, -1).contains(text))
        << "and not cut off by the view's edges";

    AddCue("Rain");
    Form->RefreshGrid();
    EXPECT_TRUE(grid.EmptyShowHint().isEmpty());
    EXPECT_TRUE(drawn().isEmpty()) << "gone with the first cue";
}
