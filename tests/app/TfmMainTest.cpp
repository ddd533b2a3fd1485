#include "TfmMain.h"

#include <QAction>
#include <QDesktopServices>
#include <QTest>
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
} // namespace

TEST(TfmMain, CreateSetsAppDirHelpFileAndADefaultProduction) {
    TfmMain fmMain;
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
        TfmMain fmMain;
        EXPECT_FALSE(fmMain.actHelp->isEnabled());
        std::ofstream(help) << "help";
    }
    {
        TfmMain fmMain;
        EXPECT_TRUE(fmMain.actHelp->isEnabled());
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
        TfmMain fmMain;
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
        fmMain.actHelp->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        EXPECT_EQ(fmMain.actHelp->isEnabled(), !c.Opened.empty());
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
        TfmMain fmMain;
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
    TfmMain fmMain;
    fmMain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
    fmMain.hide();
    fmMain.Production->FormState = {300, 300, 500, 700};
    fmMain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
    EXPECT_EQ(fmMain.size(), QSize(600, 400));
}

#include "TfmMainTest.moc"
