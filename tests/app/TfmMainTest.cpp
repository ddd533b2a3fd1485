#include "TfmMain.h"
#include "OfflineAudio.h"
#include "TOfflineMixOutput.h"
#include "TestAudioFiles.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
std::string TestProgramDir() {
    return fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
}

class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> Urls;

public Q_SLOTS:
    void Open(const QUrl& url) { Urls << url; }
};
// Logs the engine's requests to start streams and to start them together.
class TStartLog : public TOfflineMixOutput {
public:
    explicit TStartLog(std::vector<std::string>& log) : FLog(log) {}
    void Start(TAudioStream& stream) override {
        FLog.push_back("start");
        TOfflineMixOutput::Start(stream);
    }
    void BeginStarts() override {
        FLog.push_back("begin");
        TOfflineMixOutput::BeginStarts();
    }
    void CommitStarts() override {
        FLog.push_back("commit");
        TOfflineMixOutput::CommitStarts();
    }

private:
    std::vector<std::string>& FLog;
};
} // namespace

TEST(TfmMain, CreateSetsAppDirHelpFileAndADefaultProduction) {
    TfmMain fmMain(OfflineAudio());
    EXPECT_EQ(fmMain.AppDir, TestProgramDir());
    EXPECT_EQ(fmMain.FHelpFile, TestProgramDir() + "Trelmo.chm");
    EXPECT_EQ(fmMain.Production->FileName, TestProgramDir() + "Settings.xml");
    EXPECT_EQ(fmMain.Production->Cues.Count(), 0);
    EXPECT_EQ(fmMain.windowTitle(), QStringLiteral("Trelmo"));
    EXPECT_EQ(fmMain.minimumSize(), QSize(600, 200));
    EXPECT_FALSE(fmMain.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST(TfmMain, HelpIsEnabledOnlyWhenTheFileExistsAtStartUp) {
    const std::string help = TestProgramDir() + "Trelmo.chm";
    fs::remove(help);
    {
        TfmMain fmMain(OfflineAudio());
        EXPECT_FALSE(fmMain.ActionList1->actHelp->isEnabled());
        std::ofstream(help) << "help";
    }
    {
        TfmMain fmMain(OfflineAudio());
        EXPECT_TRUE(fmMain.ActionList1->actHelp->isEnabled());
        fs::remove(help);
    }
}

// The program's folder is laid out like an installation: the manual lies in
// ../share/trelmo/manual beside it.
TEST(TfmMain, HelpOpensTheHelpFileOrElseTheInstalledManual) {
    const fs::path prefix = fs::path(TestProgramDir()).parent_path().parent_path();
    const std::string chm = TestProgramDir() + "Trelmo.chm";
    const std::string manual = (prefix / "share/trelmo/manual/index.html").string();
    struct Case {
        bool Chm, Manual;
        std::string Opened; // empty: Help disabled
    };
    const Case cases[] = {
        {false, false, ""},
        {false, true, manual},
        {true, false, chm},
        {true, true, chm},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "chm " << c.Chm << ", manual " << c.Manual);
        fs::remove(chm);
        fs::remove_all(prefix / "share");
        if (c.Chm)
            std::ofstream(chm) << "help";
        if (c.Manual) {
            fs::create_directories(fs::path(manual).parent_path());
            std::ofstream(manual) << "<html></html>";
        }
        TfmMain fmMain(OfflineAudio());
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
        fmMain.ActionList1->actHelp->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        EXPECT_EQ(fmMain.ActionList1->actHelp->isEnabled(), !c.Opened.empty());
        if (c.Opened.empty()) {
            EXPECT_TRUE(recorder.Urls.isEmpty());
            continue;
        }
        ASSERT_EQ(recorder.Urls.size(), 1);
        EXPECT_EQ(recorder.Urls[0], QUrl::fromLocalFile(QString::fromStdString(c.Opened)));
    }
    fs::remove(chm);
    fs::remove_all(prefix / "share");
}

// No program opens files (no xdg-open on PATH, no browser named): Help says where the manual
// is, in a box that leaves the keys with the window.
TEST(TfmMain, HelpWithoutAProgramToOpenItShowsWhereTheManualIs) {
    const std::string chm = TestProgramDir() + "Trelmo.chm";
    std::ofstream(chm) << "help";
    const QByteArray path = qgetenv("PATH");
    const fs::path empty = fs::path(TestProgramDir()) / "no-programs";
    fs::create_directories(empty);
    qputenv("PATH", QByteArray::fromStdString(empty.string()));
    qunsetenv("BROWSER");
    qunsetenv("DEFAULT_BROWSER");
    {
        TfmMain fmMain(OfflineAudio());
        fmMain.ActionList1->actHelp->trigger();
        QMessageBox* box = fmMain.findChild<QMessageBox*>(QStringLiteral("HelpPlace"));
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_FALSE(box->isModal());
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Trelmo"));
        EXPECT_TRUE(box->text().contains(QString::fromStdString(chm))) << box->text().toStdString();
    }
    qputenv("PATH", path);
    fs::remove_all(empty);
    fs::remove(chm);
}

TEST(TfmMain, FirstShowAppliesTheSavedGeometryWithinTheMinimumSize) {
    struct Case {
        TFormState saved;
        QRect expected;
    };
    const Case cases[] = {
        {{100, 100, 400, 600}, QRect(100, 100, 600, 400)},
        {{120, 200, 450, 800}, QRect(200, 120, 800, 450)},
        {{100, 100, 150, 300}, QRect(100, 100, 600, 200)},
    };
    for (const Case& c : cases) {
        TfmMain fmMain(OfflineAudio());
        fmMain.Production->FormState = c.saved;
        fmMain.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
        EXPECT_EQ(fmMain.size(), c.expected.size());
        EXPECT_EQ(fmMain.pos(), c.expected.topLeft());
        fmMain.close();
        const TFormState& state = fmMain.Production->FormState;
        EXPECT_EQ(QRect(state.Left, state.Top, state.Width, state.Height), c.expected);
    }
}

TEST(TfmMain, GeometryIsAppliedAtTheFirstShowOnly) {
    TfmMain fmMain(OfflineAudio());
    fmMain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
    fmMain.hide();
    fmMain.Production->FormState = {300, 300, 500, 700};
    fmMain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
    EXPECT_EQ(fmMain.size(), QSize(600, 400));
}

// While maximised, the window keeps the geometry it returns to; the state is saved with it.
TEST(TfmMain, MaximisedWindowKeepsTheGeometryItReturnsTo) {
    const TFormState normal{120, 200, 450, 800};
    for (const bool maximisedAtStart : {false, true}) {
        SCOPED_TRACE(maximisedAtStart ? "maximised at start" : "maximised later");
        TfmMain fmMain(OfflineAudio());
        fmMain.Production->FormState = normal;
        fmMain.Production->FormState.Maximized = maximisedAtStart;
        fmMain.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
        EXPECT_EQ(fmMain.isMaximized(), maximisedAtStart);
        fmMain.setWindowState(Qt::WindowMaximized);
        fmMain.close();
        const TFormState& state = fmMain.Production->FormState;
        EXPECT_TRUE(state.Maximized);
        EXPECT_EQ(QRect(state.Left, state.Top, state.Width, state.Height),
                  QRect(200, 120, 800, 450));
    }
}

namespace {
// Device 2 cannot be opened.
class TSecondDeviceFails : public TOfflineOutput {
public:
    bool InitDevice(uint32_t device) override {
        return device != 2 && TOfflineOutput::InitDevice(device);
    }
};
} // namespace

// A device that cannot be opened gets a plain message box with OK: no stop icon.
TEST(TfmMain, ADeviceThatCannotBeOpenedIsReportedInAPlainBox) {
    struct Box {
        QString Title, Text;
        QMessageBox::Icon Icon;
        QMessageBox::StandardButtons Buttons;
    };
    std::vector<Box> boxes;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
            box->accept();
        }
    });
    closer.start(10);
    TfmMain fmMain(std::make_unique<TAudioEngine>(std::make_unique<TSecondDeviceFails>()));
    closer.stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Title, QStringLiteral("Trelmo"));
    EXPECT_EQ(boxes[0].Text, QStringLiteral("Error initializing audio device 2"));
    EXPECT_EQ(boxes[0].Icon, QMessageBox::NoIcon);
    EXPECT_EQ(boxes[0].Buttons, QMessageBox::Ok);
}

#include "TfmMainTest.moc"

// `trelmo play 1 play 2` forwarded to the running window: both cues start as one batch.
TEST(TfmMain, PlaysForwardedInOneListStartTogether) {
    std::vector<std::string> log;
    TfmMain fmMain(std::make_unique<TAudioEngine>(std::make_unique<TStartLog>(log)));
    TTempDir dir;
    WriteFloatWav(dir / "tone.wav", 1, 44100, Sine(440, 44100, 4410));
    for (const char* uid : {"1", "2"}) {
        auto cue = std::make_unique<TCue>();
        cue->UID = uid;
        cue->FileName = (dir / "tone.wav").string();
        fmMain.Production->Cues.Add(std::move(cue));
    }
    fmMain.AppInstances1CmdLineReceived({"play", "1", "play", "2"});
    EXPECT_EQ(log, (std::vector<std::string>{"begin", "start", "start", "commit"}));
    EXPECT_EQ(fmMain.Production->Cues.Items(1)->State(), csPlaying);
}
