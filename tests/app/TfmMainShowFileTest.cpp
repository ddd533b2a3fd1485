#include "OfflineAudio.h"
#include "TfmMain.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

// The show file that Settings.xml names opens at start-up, and the window keeps the geometry
// that Settings.xml holds.
TEST(TfmMainShowFile, TheShowFileOpenAtTheLastCloseIsReopenedWithTheSavedGeometry) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string show = dir.filePath(QStringLiteral("Friday.trelmo")).toStdString();
    std::ofstream(show, std::ios::binary)
        << "<Production><CueList><Cue><Description>Friday</Description></Cue></CueList>"
           "</Production>";
    const std::string settings =
        fs::read_symlink("/proc/self/exe").parent_path().string() + "/Settings.xml";
    std::ofstream(settings, std::ios::binary)
        << "<Production><Windows><Main Top='130' Left='140' Height='450' Width='700'/></Windows>"
           "<CueList/><ShowFile>" +
               show + "</ShowFile></Production>";
    {
        TfmMain fmMain(OfflineAudio());
        const TFormState& state = fmMain.Production->FormState;
        EXPECT_EQ((std::vector<int32_t>{state.Top, state.Left, state.Height, state.Width}),
                  (std::vector<int32_t>{130, 140, 450, 700}));
        ASSERT_EQ(fmMain.Production->Cues.Count(), 1);
        EXPECT_EQ(fmMain.Production->Cues.Items(0)->Description, "Friday");
        EXPECT_EQ(fmMain.windowTitle(), QString::fromUtf8("Friday.trelmo \u2013 Trelmo"));
        fmMain.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
        EXPECT_EQ(fmMain.size(), QSize(700, 450));
        fmMain.close();
    }
    std::ifstream in(settings, std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(written.find("<ShowFile>" + show + "</ShowFile>"), std::string::npos);
    fs::remove(settings);
}
