// The built program as an operator runs it, driven over OSC by a real client (oscsend).
#include "RunToEnd.h"
#include "SoundServerCheck.h"
#include "TMonitorRecorder.h"
#include "TOscTestClient.h"
#include "TProduction.h"
#include "TestAudioFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int WaitMs = 20000;

// A copy of the program in a folder of its own, with a Settings.xml of one cue that plays a
// long tone and OSC on `port` of 127.0.0.1.
class TProgram {
public:
    explicit TProgram(int32_t port) {
        // Laid out as installed: bin/trelmo beside the application library in lib/trelmo.
        fs::create_directory(FDir / "bin");
        fs::copy_file(TRELMO_PATH, FDir / "bin" / "trelmo");
        fs::create_directory_symlink(fs::canonical(TRELMO_PATH).parent_path().parent_path() / "lib",
                                     FDir / "lib");
        WriteFloatWav(FDir / "tone.wav", 1, 44100, Sine(440, 44100, 44100 * 20));
        TProduction production;
        auto cue = std::make_unique<TCue>();
        cue->FileName = (FDir / "tone.wav").string();
        production.Cues.Add(std::move(cue));
        production.Osc.Port = port;
        EXPECT_TRUE(production.SaveToFile((FDir / "bin" / "Settings.xml").string()));
    }

    ~TProgram() {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.terminate();
            if (!FProcess.waitForFinished(20000))
                FProcess.kill();
            FProcess.waitForFinished();
        }
    }

    QString Exe() const { return QString::fromStdString((FDir / "bin" / "trelmo").string()); }

    void Start() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        FProcess.setProcessEnvironment(environment);
        FProcess.start(Exe(), {});
        ASSERT_TRUE(FProcess.waitForStarted(10000));
    }

    // Standard error up to the first match of `pattern`; none within the time limit.
    std::optional<QRegularExpressionMatch> WaitForError(const QString& pattern) {
        const QRegularExpression expression(pattern);
        QRegularExpressionMatch match;
        const bool found = QTest::qWaitFor(
            [&] {
                FError += QString::fromLocal8Bit(FProcess.readAllStandardError());
                match = expression.match(FError);
                return match.hasMatch();
            },
            WaitMs);
        return found ? std::optional(match) : std::nullopt;
    }

    const QString& Error() const { return FError; }

private:
    TTempDir FDir;
    QProcess FProcess;
    QString FError;
};

class TOscProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SOUND_SERVER(SoundServerReachable(), "pactl info failed");
        ASSERT_TRUE(Monitor.Start());
    }

    bool PlaysSince(TClock::time_point since) {
        return QTest::qWaitFor([&] { return Monitor.PeakSince(since).first > 0.3f; }, WaitMs);
    }

    TMonitorRecorder Monitor{"out1.monitor"};
};

} // namespace

TEST_F(TOscProcessTest, ARealClientStartsACueOfTheRunningProgram) {
    TProgram program(0);
    program.Start();
    const auto listens = program.WaitForError(
        QStringLiteral("Trelmo: OSC listens on UDP 127\\.0\\.0\\.1 port (\\d+)\\."));
    ASSERT_TRUE(listens) << program.Error().toStdString();
    const auto sent = TClock::now();
    ASSERT_TRUE(
        RunToEnd(QStringLiteral("oscsend"), {QStringLiteral("127.0.0.1"), listens->captured(1),
                                             QStringLiteral("/cue/1/start")}));
    EXPECT_TRUE(PlaysSince(sent));
}

TEST_F(TOscProcessTest, WithItsPortInUseTheProgramRunsPlaysAndSaysWhyOscIsOff) {
    const TTakenUdpPort holder;
    ASSERT_NE(holder.Port(), 0);
    const int port = holder.Port();

    TProgram program(port);
    program.Start();
    ASSERT_TRUE(program.WaitForError(
        QStringLiteral("Trelmo: OSC is off: UDP port %1 on 127\\.0\\.0\\.1 is already in use by "
                       "another program\\. .*Settings\\.xml.*\\n")
            .arg(port)))
        << program.Error().toStdString();
    // The running program still takes remote commands and plays.
    const auto sent = TClock::now();
    ASSERT_TRUE(RunToEnd(program.Exe(), {QStringLiteral("play"), QStringLiteral("1")}));
    EXPECT_TRUE(PlaysSince(sent));
    EXPECT_EQ(program.Error().count(QStringLiteral("OSC is off")), 1)
        << program.Error().toStdString();
}
