// Launches the built program and the probe as separate processes, the way an operator and an
// external controller do.
#include "InstanceProcesses.h"
#include "StartUp.h"
#include "TestSupport.h"

#include <QProcess>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <sys/stat.h>

class TInstanceProcessTest : public ::testing::Test {
protected:
    TTempRuntimeDir runtime;
};

TEST_F(TInstanceProcessTest, ALaterLaunchStandsSecondAndSaysSoWhenTheFirstIsStopped) {
    TCopy copy(TRELMO_PATH);
    QProcess first;
    Start(first, copy, {QStringLiteral("play"), QStringLiteral("1")});
    ASSERT_TRUE(WaitForRegistry(copy, {Pid(first)}));
    ASSERT_TRUE(ShownWindow(first, QStringLiteral("Trelmo")));

    // A stopped first instance answers nothing: the later launch gives up within its bound and
    // says that the command was not carried out.
    ASSERT_EQ(::kill(first.processId(), SIGSTOP), 0);
    QProcess second;
    second.start(copy.Exe(), {QStringLiteral("stop"), QStringLiteral("1")});
    ASSERT_TRUE(second.waitForStarted(10000));
    EXPECT_TRUE(WaitForRegistry(copy, {Pid(first), Pid(second)}));
    ASSERT_TRUE(second.waitForFinished(15000)) << "a stopped instance made the launch hang";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), NotDeliveredExitCode);
    const std::string message = second.readAllStandardError().toStdString();
    EXPECT_NE(message.find("process " + std::to_string(Pid(first))), std::string::npos) << message;
    EXPECT_NE(message.find("not carried out"), std::string::npos) << message;
    EXPECT_EQ(copy.Registered(), std::vector<uint32_t>{Pid(first)});
    ::kill(first.processId(), SIGCONT);

    EXPECT_EQ(Launch(copy, {QStringLiteral("play"), QStringLiteral("3")}), 0);
    EXPECT_EQ(Launch(copy, {}), 0);
    EXPECT_EQ(copy.Registered(), std::vector<uint32_t>{Pid(first)});
    EXPECT_FALSE(fs::exists(copy.Dir() / "Settings.xml")) << "a later launch touched the settings";
    EXPECT_EQ(first.state(), QProcess::Running);

    EXPECT_EQ(Terminate(first), 0);
    EXPECT_TRUE(copy.Registered().empty());
}

TEST_F(TInstanceProcessTest, AForwardingLaunchLoadsNoToolkitDecoderOrSoundLibrary) {
    const std::vector<std::string> heavy = {
        "libQt6",    "libxcb",        "libX11",   "libavcodec", "libavformat",
        "libavutil", "libswresample", "libpulse", "liblo",      "libtrelmo-app"};
    TCopy copy(TRELMO_PATH);
    QProcess first;
    Start(first, copy, {});
    ASSERT_TRUE(WaitForRegistry(copy, {Pid(first)}));
    // The same executable, running as the first instance, maps them all once its window shows.
    ASSERT_TRUE(ShownWindow(first, QStringLiteral("Trelmo")));
    std::ifstream file("/proc/" + std::to_string(Pid(first)) + "/maps");
    const std::string maps{std::istreambuf_iterator<char>(file), {}};
    for (const std::string& library : heavy)
        EXPECT_NE(maps.find(library), std::string::npos) << library;

    // The dynamic loader reports every object it loads into the forwarding launch.
    QProcess launch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    launch.setProcessEnvironment(environment);
    launch.start(copy.Exe(), {QStringLiteral("stop"), QStringLiteral("1")});
    ASSERT_TRUE(launch.waitForFinished(15000));
    EXPECT_EQ(launch.exitCode(), 0);
    const std::string report = launch.readAllStandardError().toStdString();
    ASSERT_NE(report.find("file=libc.so"), std::string::npos) << "no loader report: " << report;
    for (const std::string& library : heavy)
        EXPECT_EQ(report.find("file=" + library), std::string::npos) << library;
    EXPECT_EQ(Terminate(first), 0);
}

TEST_F(TInstanceProcessTest, FiftySimultaneousLaunchesAreAllDelivered) {
    constexpr int Launches = 50;
    TCopy copy(PROBE_PATH);
    QProcess first;
    Start(first, copy, {QStringLiteral("--cues=%1").arg(Launches)}, true);
    ASSERT_EQ(NextLine(first).substr(0, 5), "ready");

    std::vector<std::unique_ptr<QProcess>> launches;
    for (int cue = 1; cue <= Launches; ++cue) {
        launches.push_back(std::make_unique<QProcess>());
        launches.back()->setProcessChannelMode(QProcess::ForwardedChannels);
        launches.back()->start(copy.Exe(), {QStringLiteral("play"), QString::number(cue)});
    }
    for (auto& launch : launches) {
        ASSERT_TRUE(launch->waitForFinished(60000));
        EXPECT_EQ(launch->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(launch->exitCode(), 0);
    }
    std::set<std::string> received;
    for (int i = 0; i < Launches; ++i) {
        const std::string line = NextLine(first);
        received.insert(line.substr(0, line.find(' ')));
    }
    std::set<std::string> expected;
    for (int cue = 1; cue <= Launches; ++cue)
        expected.insert("lines=play|" + std::to_string(cue) + "|");
    EXPECT_EQ(received, expected);
    EXPECT_EQ(copy.Registered(), std::vector<uint32_t>{Pid(first)});
    EXPECT_EQ(Terminate(first, false), 0);
}

TEST_F(TInstanceProcessTest, AfterAKilledFirstInstanceTheNextLaunchIsFirst) {
    TCopy copy(TRELMO_PATH);
    QProcess killed;
    Start(killed, copy, {});
    ASSERT_TRUE(WaitForRegistry(copy, {Pid(killed)}));
    const uint32_t killedPid = Pid(killed);
    // The socket is made right after the registration, under the registry's lock.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return fs::exists(copy.Folder() + "/" + std::to_string(killedPid) + ".sock"); },
        10000));
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));

    QProcess next;
    Start(next, copy, {QStringLiteral("play"), QStringLiteral("1")});
    ASSERT_TRUE(WaitForRegistry(copy, {Pid(next)}));
    EXPECT_EQ(next.state(), QProcess::Running);
    EXPECT_FALSE(fs::exists(copy.Folder() + "/" + std::to_string(killedPid) + ".sock"));
    EXPECT_EQ(Launch(copy, {QStringLiteral("stop"), QStringLiteral("1")}), 0);
    EXPECT_EQ(Terminate(next), 0);
}

TEST_F(TInstanceProcessTest, ACopyInAnotherFolderRunsAsItsOwnFirstInstance) {
    TCopy show(TRELMO_PATH);
    TCopy backup(TRELMO_PATH);
    QProcess first;
    Start(first, show, {});
    ASSERT_TRUE(WaitForRegistry(show, {Pid(first)}));
    QProcess other;
    Start(other, backup, {QStringLiteral("play"), QStringLiteral("1")});
    ASSERT_TRUE(WaitForRegistry(backup, {Pid(other)}));
    EXPECT_EQ(show.Registered(), std::vector<uint32_t>{Pid(first)});
    EXPECT_EQ(other.state(), QProcess::Running);
    EXPECT_EQ(Terminate(other), 0);
    EXPECT_EQ(Terminate(first), 0);
}

TEST_F(TInstanceProcessTest, ForwardedArgumentListsRunAsCommandsInTheFirstInstance) {
    TCopy copy(PROBE_PATH);
    QProcess first;
    Start(first, copy, {QStringLiteral("play"), QStringLiteral("1")}, true);
    // Its own arguments are ignored.
    ASSERT_EQ(NextLine(first), "ready lines= states=0000000000 current=5 modal=0");

    struct Case {
        std::vector<QStringList> launches;
        std::string expected;
    };
    const Case cases[] = {
        {{{"play", "3"}}, "lines=play|3| states=0010000000 current=5 modal=0"},
        {{{"PLAY", "3"}}, "lines=PLAY|3| states=0010000000 current=5 modal=0"},
        {{{"Play", "3"}}, "lines=Play|3| states=0010000000 current=5 modal=0"},
        {{{"play"}}, "lines=play| states=1000000000 current=5 modal=0"},
        {{{"play", "three"}}, "lines=play|three| states=1000000000 current=5 modal=0"},
        {{{"play", "$A"}}, "lines=play|$A| states=0000000001 current=5 modal=0"},
        {{{"play", "2", "play", "3"}, {"stop", "2", "3"}},
         "lines=stop|2|3| states=0010000000 current=5 modal=0"},
        {{{"play", "stop", "2"}}, "lines=play|stop|2| states=1000000000 current=5 modal=0"},
        {{{"play", "0"}}, "lines=play|0| states=0000000000 current=5 modal=0"},
        {{{"play", "-1"}}, "lines=play|-1| states=0000000000 current=5 modal=0"},
        {{{"play", "11"}}, "lines=play|11| states=0000000000 current=5 modal=0"},
        {{{"go", "1"}}, "lines=go|1| states=0000000000 current=5 modal=0"},
        {{{}}, "lines= states=0000000000 current=5 modal=0"},
        {{{"play 3"}}, "lines=play 3| states=0000000000 current=5 modal=0"},
        {{{"play", "", "3"}}, "lines=play|3| states=0010000000 current=5 modal=0"},
        {{{"", ""}}, "lines= states=0000000000 current=5 modal=0"},
        {{{"play", "1", "pause", "1"}},
         "lines=play|1|pause|1| states=2000000000 current=5 modal=0"},
        {{{"play", "1", "pause", "1"}, {"play", "1"}},
         "lines=play|1| states=1000000000 current=5 modal=0"},
    };
    QStringList stopAll;
    for (int i = 1; i <= 10; ++i)
        stopAll << QStringLiteral("stop") << QString::number(i);
    for (const Case& c : cases) {
        std::string last;
        for (const QStringList& arguments : c.launches) {
            ASSERT_EQ(Launch(copy, arguments, true), 0) << arguments.join(' ').toStdString();
            last = NextLine(first);
        }
        EXPECT_EQ(last, c.expected);
        ASSERT_EQ(Launch(copy, stopAll, true), 0);
        NextLine(first);
    }
    EXPECT_EQ(copy.Registered(), std::vector<uint32_t>{Pid(first)});
    EXPECT_EQ(Terminate(first, false), 0);
}

TEST_F(TInstanceProcessTest, ACommandArrivesWhileAModalBoxIsOpen) {
    TCopy copy(PROBE_PATH);
    QProcess first;
    Start(first, copy, {QStringLiteral("--modal")}, true);
    ASSERT_EQ(NextLine(first).substr(0, 5), "ready");
    ASSERT_EQ(NextLine(first), "modal");
    EXPECT_EQ(Launch(copy, {QStringLiteral("play"), QStringLiteral("2")}, true), 0);
    EXPECT_EQ(NextLine(first), "lines=play|2| states=0100000000 current=5 modal=1");
    EXPECT_EQ(Terminate(first, false), 0);
}

TEST_F(TInstanceProcessTest, ARegistryThatCannotBeSetUpEndsWithAnApplicationErrorBox) {
    TCopy copy(TRELMO_PATH);
    ASSERT_EQ(::chmod(copy.Folder().c_str(), 0755), 0);
    QProcess launch;
    Start(launch, copy, {});
    const std::optional<QString> box = ShownWindow(launch, QStringLiteral("Application Error"));
    ASSERT_TRUE(box);
    EXPECT_TRUE(Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), *box,
                         QStringLiteral("key"), QStringLiteral("Return")}));
    ASSERT_TRUE(launch.waitForFinished(15000));
    EXPECT_EQ(launch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(launch.exitCode(), 1);
}
