// OSC on the main window with the real sound engine: a real client (oscsend from liblo's tools)
// sends each address; the cues' states, the current cue and the sink's monitor show the result.
#include "TOscControl.h"
#include "RunToEnd.h"
#include "SoundServerCheck.h"
#include "TAudioEngine.h"
#include "TMonitorRecorder.h"
#include "TOscTestClient.h"
#include "TPulseOutput.h"
#include "TShowControl.h"
#include "TestAudioFiles.h"
#include "TfmMain.h"

#include "TMessageStrip.h"
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int WaitMs = 10000;
constexpr float Heard = 0.3f;

class TOscControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SOUND_SERVER(SoundServerReachable(), "pactl info failed");
        WriteFloatWav(Dir / "tone.wav", 1, 44100, Sine(440, 44100, 44100 * 20));
        Window = std::make_unique<TfmMain>(
            std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>()));
        Window->Production->Cues.Clear();
        Window->Production->FileName = (Dir / "Settings.xml").string();
        for (int i = 0; i < 3; ++i) {
            auto cue = std::make_unique<TCue>();
            cue->FileName = (Dir / "tone.wav").string();
            Window->BindCueStateChange(*cue);
            Window->Production->Cues.Add(std::move(cue));
        }
        Window->Production->Cues.AssignMissingUIDs();
        ASSERT_TRUE(Monitor.Start());
    }

    void TearDown() override {
        Osc.reset();
        Window.reset();
    }

    void StartOsc(int32_t port) {
        Window->Production->Osc.Port = port;
        // GOs here follow each other faster than an operator's; the lockout has tests of its own.
        Window->Show().SetGoLockout(std::chrono::milliseconds(0));
        Osc = std::make_unique<TOscControl>(*Window);
        Osc->Start();
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    }

    bool Send(const QString& address, const QStringList& arguments = {}) {
        return RunToEnd(
            QStringLiteral("oscsend"),
            QStringList{QStringLiteral("127.0.0.1"), QString::number(Osc->Port()), address} +
                arguments);
    }

    // Each cue's state digit, then the current cue.
    std::string Shown() const {
        const TCueList& cues = Window->Production->Cues;
        std::string shown;
        for (int32_t i = 0; i < cues.Count(); ++i)
            shown += std::to_string(cues.Items(i)->State());
        return shown + " " + std::to_string(cues.Current().Number());
    }

    bool PlaysSince(TClock::time_point since) {
        return QTest::qWaitFor([&] { return Monitor.PeakSince(since).first > Heard; }, WaitMs);
    }

    TTempDir Dir;
    std::unique_ptr<TfmMain> Window;
    std::unique_ptr<TOscControl> Osc;
    TMonitorRecorder Monitor{"out1.monitor"};
};

} // namespace

TEST_F(TOscControlTest, EachAddressActsOnTheWindow) {
    StartOsc(0);
    ASSERT_NE(Osc->Port(), 0);
    struct Step {
        const char* address;
        QStringList arguments;
        std::string shown;
        bool sounds;
    };
    const QString i = QStringLiteral("i"), f = QStringLiteral("f");
    const QString one = QStringLiteral("1"), zero = QStringLiteral("0");
    // A step that must change nothing is followed by one that shows whether it did.
    const Step steps[] = {
        {"/cue/1/start", {}, "100 1", true},
        {"/cue/1/pause", {i, one}, "200 1", false},
        {"/cue/1/start", {i, zero}, "200 1", false},
        {"/select/3", {f, one}, "200 3", false},
        {"/cue/1/start", {f, QStringLiteral("0.5")}, "100 3", true},
        {"/cue/1/stop", {}, "000 3", false},
        {"/go", {}, "001 3", true},
        {"/select/1", {}, "001 1", false},
        {"/go", {f, one}, "101 2", true},
        {"/cue/9/start", {}, "101 2", false},
        {"/go", {i, zero}, "101 2", false},
        {"/select/0", {}, "101 2", false},
        {"/stop", {}, "000 2", false},
        {"/cue/2/pause", {}, "000 2", false},
        {"/cue/2/start", {}, "010 2", true},
        {"/panic", {}, "000 2", false},
        {"/select/2", {}, "000 2", false},
    };
    for (const Step& step : steps) {
        const auto sent = TClock::now();
        ASSERT_TRUE(Send(QLatin1String(step.address), step.arguments)) << step.address;
        EXPECT_TRUE(QTest::qWaitFor([&] { return Shown() == step.shown; }, WaitMs))
            << step.address << " shows " << Shown() << " instead of " << step.shown;
        if (step.sounds) {
            EXPECT_TRUE(PlaysSince(sent)) << step.address << " is not heard";
        }
    }
}

TEST_F(TOscControlTest, APortInUseLeavesOscOffSaysWhyAndTheCuesPlay) {
    const TTakenUdpPort holder;
    ASSERT_NE(holder.Port(), 0);
    const int port = holder.Port();

    StartOsc(port);
    EXPECT_EQ(Osc->Port(), 0);
    const QString message = Window->MessageStrip->Text(QStringLiteral("osc"));
    EXPECT_TRUE(message.contains(QStringLiteral("OSC is off: UDP port %1 on 127.0.0.1 is already "
                                                "in use by another program")
                                     .arg(port)))
        << message.toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    const auto start = TClock::now();
    Window->ActionList1->actPlay->trigger();
    EXPECT_EQ(Shown(), "100 1");
    EXPECT_TRUE(PlaysSince(start));
}

TEST_F(TOscControlTest, AFloodOfBadPacketsNeitherStopsTheWindowNorTheNextCommand) {
    StartOsc(0);
    QProcess flood;
    flood.setProcessChannelMode(QProcess::ForwardedChannels);
    flood.start(QStringLiteral(OSC_FLOOD_PATH),
                {QString::number(Osc->Port()), QStringLiteral("100000")});
    ASSERT_TRUE(flood.waitForStarted(10000));
    // The window answers all the while: each event posted to it is handled.
    int answers = 0;
    while (flood.state() != QProcess::NotRunning) {
        bool answered = false;
        QMetaObject::invokeMethod(
            Window.get(), [&] { answered = true; }, Qt::QueuedConnection);
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, WaitMs)) << "after " << answers;
        ++answers;
        flood.waitForFinished(10);
    }
    ASSERT_EQ(flood.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(flood.exitCode(), 0);
    EXPECT_EQ(Shown(), "000 1") << "a bad packet acted on a cue";

    const auto sent = TClock::now();
    ASSERT_TRUE(Send(QStringLiteral("/cue/1/start")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Shown() == "100 1"; }, WaitMs)) << Shown();
    EXPECT_TRUE(PlaysSince(sent));
}
