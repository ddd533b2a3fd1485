#include "OfflineAudio.h"
#include "TMessageStrip.h"
#include "TShowControl.h"
#include "TfmMain.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string TestProgramDir() {
    return fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
}

std::string SettingsPath() {
    return TestProgramDir() + "Settings.xml";
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void RemoveKeptCopies() {
    for (const auto& entry : fs::directory_iterator(TestProgramDir()))
        if (entry.path().filename().string().starts_with("Settings-unreadable-"))
            fs::remove(entry.path());
}

// Every test of this program starts without Settings.xml beside it, because every TfmMain
// reads it at creation and writes it when closed.
class NoSettingsFile : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { fs::remove(SettingsPath()); }
};
const bool NoSettingsFileRegistered =
    (::testing::UnitTest::GetInstance()->listeners().Append(new NoSettingsFile), true);

// Closes the message boxes that appear within the next seconds and records their texts.
class TBoxCatcher {
public:
    TBoxCatcher() {
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            if (++FTicks > 500)
                FTimer.stop();
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            Boxes.push_back({box->windowTitle(), box->text(), box->icon()});
            box->accept();
        });
        FTimer.start(10);
    }

    struct Box {
        QString Title;
        QString Text;
        QMessageBox::Icon Icon;
    };
    std::vector<Box> Boxes;

private:
    QTimer FTimer;
    int FTicks = 0;
};

TEST(TfmMainSettings, LoadsAtCreationAndSavesAtClose) {
    std::ofstream(SettingsPath(), std::ios::binary)
        << "<Production><Windows><Main Top='130' Left='140' Height='450' Width='700'/></Windows>"
           "<CueList><Cue><Description>Bell</Description></Cue></CueList></Production>";
    TfmMain fmMain(OfflineAudio());
    ASSERT_EQ(fmMain.Production->Cues.Count(), 1);
    EXPECT_EQ(fmMain.Production->Cues.Items(0)->Description, "Bell");
    EXPECT_TRUE(fmMain.Production->Cues.Items(0)->OnStateChange);
    fmMain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
    fmMain.close();
    EXPECT_EQ(ReadBytes(SettingsPath()), fmMain.Production->SaveToText());
    EXPECT_NE(ReadBytes(SettingsPath()).find("<Description>Bell</Description>"), std::string::npos);
}

TEST(TfmMainSettings, TheGoLockoutOfTheFileIsTheOneGoHonours) {
    struct Case {
        const char* Element;
        std::chrono::milliseconds Lockout;
    };
    const Case cases[] = {{"", TShowControl::DefaultGoLockout},
                          {"<GoLockout Milliseconds='0'/>", std::chrono::milliseconds(0)},
                          {"<GoLockout Milliseconds='750'/>", std::chrono::milliseconds(750)}};
    for (const Case& c : cases) {
        std::ofstream(SettingsPath(), std::ios::binary)
            << "<Production>" << c.Element << "</Production>";
        TfmMain fmMain(OfflineAudio());
        EXPECT_EQ(fmMain.Show().GoLockout(), c.Lockout) << c.Element;
    }
}

TEST(TfmMainSettings, MalformedFileIsReportedAndKept) {
    RemoveKeptCopies();
    std::ofstream(SettingsPath(), std::ios::binary) << "<Production><Windows></Production>";
    TBoxCatcher catcher;
    TfmMain fmMain(OfflineAudio());
    ASSERT_EQ(catcher.Boxes.size(), 1u);
    const TBoxCatcher::Box& box = catcher.Boxes[0];
    EXPECT_EQ(box.Title, QStringLiteral("Trelmo"));
    EXPECT_EQ(box.Icon, QMessageBox::Critical);
    const QString kept = QString::fromStdString(TestProgramDir() + "Settings-unreadable-1.xml");
    EXPECT_TRUE(box.Text.startsWith(
        QStringLiteral("Start-end tags mismatch\nLine: 1\n<Production><Windows></Production>."
                       "\n\nThe unreadable settings file has been kept as ") +
        kept))
        << box.Text.toStdString();
    EXPECT_EQ(ReadBytes(kept.toStdString()), "<Production><Windows></Production>");
    EXPECT_EQ(fmMain.Production->FormState.Width, 600);
    RemoveKeptCopies();
}

TEST(TfmMainSettings, FailedSaveIsReported) {
    TfmMain fmMain(OfflineAudio());
    fmMain.Production->FileName = TestProgramDir() + "missing-folder/Settings.xml";
    fmMain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
    TBoxCatcher catcher;
    fmMain.close();
    ASSERT_EQ(catcher.Boxes.size(), 1u);
    EXPECT_EQ(catcher.Boxes[0].Icon, QMessageBox::Critical);
    EXPECT_TRUE(catcher.Boxes[0].Text.startsWith(
        QString::fromStdString("The settings could not be saved to " + TestProgramDir() +
                               "missing-folder/Settings.xml: No such file or directory.")))
        << catcher.Boxes[0].Text.toStdString();
}

// A second window on the same Settings.xml (a second Trelmo that the instance check missed)
// says who holds it, at start-up and in its strip, and its close writes nothing.
TEST(TfmMainSettings, ASecondWindowOnTheSameFileSaysWhoHoldsItAndDoesNotSaveOverIt) {
    TfmMain first(OfflineAudio());
    {
        TBoxCatcher catcher;
        TfmMain second(OfflineAudio());
        ASSERT_EQ(catcher.Boxes.size(), 1u);
        const QString taken = QStringLiteral("The settings file %1 is in use by another running "
                                             "Trelmo (process %2).")
                                  .arg(QString::fromStdString(SettingsPath()))
                                  .arg(::getpid());
        EXPECT_TRUE(catcher.Boxes[0].Text.startsWith(taken)) << catcher.Boxes[0].Text.toStdString();
        EXPECT_TRUE(second.MessageStrip->Text(QStringLiteral("save")).startsWith(taken));
        auto cue = std::make_unique<TCue>();
        cue->Description = "Second's edit";
        second.Production->Cues.Add(std::move(cue));
        second.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
        second.close();
    }
    EXPECT_FALSE(fs::exists(SettingsPath()));
    first.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&first));
    first.close();
    EXPECT_EQ(ReadBytes(SettingsPath()), first.Production->SaveToText());
}

} // namespace
