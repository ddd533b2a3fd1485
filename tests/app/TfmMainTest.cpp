#include "TfmMain.h"

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {
std::string TestProgramDir() {
    return fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
}
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
