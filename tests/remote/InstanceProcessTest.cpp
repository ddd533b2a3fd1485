// Launches the built program and the probe as separate processes, the way an operator and an
// external controller do.
#include "StartUp.h"
#include "TInstanceRegistry.h"
#include "TestSupport.h"
#include "TrelmoApplication.h"

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

namespace fs = std::filesystem;

namespace {

// The program copied into a folder of its own, which makes it its own executable: bin/trelmo,
// with the application library of the build in lib/trelmo beside it, as installed.
class TCopy {
public:
    explicit TCopy(const char* program) {
        std::string pattern = (fs::temp_directory_path() / "trelmo-copy-XXXXXX").string();
        FTop = ::mkdtemp(pattern.data());
        FDir = FTop / "bin";
        FExe = FDir / "trelmo";
        fs::create_directory(FDir);
        fs::copy_file(program, FExe);
        fs::create_directory_symlink(fs::canonical(program).parent_path().parent_path() / "lib",
                                     FTop / "lib");
        FFolder = TInstanceRegistry::FolderOf(FExe.string());
    }
    ~TCopy() {
        std::error_code ec;
        fs::remove_all(FFolder, ec);
        fs::remove_all(FTop, ec);
    }
    TCopy(const TCopy&) = delete;
    TCopy& operator=(const TCopy&) = delete;

    const fs::path& Dir() const { return FDir; }
    QString Exe() const { return QString::fromStdString(FExe.string()); }
    std::string Identity() const { return FExe.string(); }

    const std::string& Folder() const { return FFolder; }

    // The process ids in the registry of this copy, in order.
    std::vector<uint32_t> Registered() const {
        std::ifstream file(Folder() + "/registry", std::ios::binary);
        const std::string block{std::istreambuf_iterator<char>(file), {}};
        std::vector<uint32_t> ids;
        if (block.size() != TInstanceRegistry::BlockSize)
            return ids;
        const uint16_t count = qFromLittleEndian<uint16_t>(block.data() + 2);
        for (uint16_t i = 0; i < count && i < TInstanceRegistry::Capacity; ++i)
            ids.push_back(qFromLittleEndian<uint32_t>(block.data() + 4 + 4 * i));
        return ids;
    }

private:
    fs::path FTop;
    fs::path FDir;
    fs::path FExe;
    std::string FFolder;
};

uint32_t Pid(const QProcess& process) {
    return static_cast<uint32_t>(process.processId());
}

void Start(QProcess& process, const TCopy& copy, const QStringList& arguments,
           bool offscreen = false) {
    if (offscreen) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
    }
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(copy.Exe(), arguments);
    ASSERT_TRUE(process.waitForStarted(10000));
}

bool WaitForRegistry(const TCopy& copy, const std::vector<uint32_t>& expected) {
    return QTest::qWaitFor([&] { return copy.Registered() == expected; }, 20000);
}

// Runs a launch to its end; its exit code, or -1 when it did not end in time.
int Launch(const TCopy& copy, const QStringList& arguments, bool offscreen = false,
           const std::function<void(QProcessEnvironment&)>& environment = {}) {
    QProcess process;
    if (environment) {
        QProcessEnvironment changed = QProcessEnvironment::systemEnvironment();
        environment(changed);
        process.setProcessEnvironment(changed);
    }
    Start(process, copy, arguments, offscreen && !environment);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Runs xdotool to its end; its output, or none when it failed or did not end in time.
std::optional<QString> Xdotool(const QStringList& arguments) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForFinished(30000)) {
        xdotool.kill();
        xdotool.waitForFinished();
        return std::nullopt;
    }
    if (xdotool.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(xdotool.readAllStandardOutput()).trimmed();
}

// The window of process with that title, once it is shown; none within the time limit.
std::optional<QString> ShownWindow(const QProcess& process, const QString& title) {
    return Xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--sync"),
                    QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                    QString::number(process.processId()), QStringLiteral("--name"),
                    QLatin1Char('^') + title + QLatin1Char('$')});
}

// Ends a running instance the way a session end does, once it is up; its exit code.
int Terminate(QProcess& process, bool waitForWindow = true) {
    if (waitForWindow) {
        EXPECT_TRUE(ShownWindow(process, QStringLiteral("Trelmo")));
    }
    process.terminate();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitCode();
}

std::string NextLine(QProcess& process) {
    if (!process.canReadLine() && !QTest::qWaitFor([&] { return process.canReadLine(); }, 15000))
        return "(no line)";
    return process.readLine().trimmed().toStdString();
}

} // namespace

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

TEST_F(TInstanceProcessTest, ABurstOfLaunchesAgainstAStoppedInstanceOpensNoSecondOne) {
    constexpr int Launches = 300;
    TCopy copy(PROBE_PATH);
    QProcess first;
    Start(first, copy, {}, true);
    ASSERT_EQ(NextLine(first).substr(0, 5), "ready");
    ASSERT_EQ(::kill(first.processId(), SIGSTOP), 0);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    std::vector<std::unique_ptr<QProcess>> launches;
    for (int i = 0; i < Launches; ++i) {
        launches.push_back(std::make_unique<QProcess>());
        launches.back()->setProcessEnvironment(environment);
        launches.back()->setStandardOutputFile(QProcess::nullDevice());
        launches.back()->setStandardErrorFile(QProcess::nullDevice());
        launches.back()->start(copy.Exe(), {QStringLiteral("stop"), QStringLiteral("9")});
    }
    int ended = 0;
    for (auto& launch : launches) {
        // A launch taken for a first instance would run its window and not end.
        if (launch->waitForFinished(120000)) {
            ++ended;
            const int code = launch->exitCode();
            EXPECT_TRUE(code == 1 || code == NotDeliveredExitCode) << code;
        } else {
            launch->kill();
            launch->waitForFinished();
        }
    }
    ::kill(first.processId(), SIGCONT);
    EXPECT_EQ(ended, Launches);
    EXPECT_EQ(copy.Registered(), std::vector<uint32_t>{Pid(first)});
    EXPECT_EQ(Terminate(first, false), 0);
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

TEST_F(TInstanceProcessTest, ACommandHandedToAStoppedInstanceIsDroppedWhenItResumes) {
    TCopy copy(PROBE_PATH);
    QProcess first;
    Start(first, copy, {}, true);
    ASSERT_EQ(NextLine(first).substr(0, 5), "ready");
    ASSERT_EQ(::kill(first.processId(), SIGSTOP), 0);
    {
        // What a launch sends once the instance has answered its question and then stops.
        TInstanceRegistry registry(copy.Identity());
        const TDelivery delivery =
            registry.ForwardArguments({"play", "2"}, registry.OwnProcessId(), {});
        EXPECT_EQ(delivery.Taken, 0);
        EXPECT_EQ(delivery.Missed, std::vector<uint32_t>{Pid(first)});
    }
    ASSERT_EQ(::kill(first.processId(), SIGCONT), 0);
    EXPECT_EQ(Launch(copy, {QStringLiteral("play"), QStringLiteral("3")}, true), 0);
    EXPECT_EQ(NextLine(first), "lines=play|3| states=0010000000 current=5 modal=0");
    EXPECT_EQ(Terminate(first, false), 0);
}

TEST_F(TInstanceProcessTest, LaunchesInAnotherEnvironmentReachTheRunningInstance) {
    TCopy copy(PROBE_PATH);
    QProcess first;
    Start(first, copy, {}, true);
    ASSERT_EQ(NextLine(first).substr(0, 5), "ready");
    struct Case {
        const char* name;
        std::function<void(QProcessEnvironment&)> environment;
        const char* cue;
    };
    TTempRuntimeDir other;
    const Case cases[] = {
        {"runtime folder unset", [](QProcessEnvironment& e) { e.remove("XDG_RUNTIME_DIR"); }, "2"},
        {"another runtime folder",
         [&](QProcessEnvironment& e) {
             e.insert("XDG_RUNTIME_DIR", QString::fromStdString(other.Path().string()));
         },
         "3"},
        {"no home, no runtime folder",
         [](QProcessEnvironment& e) {
             e.remove("XDG_RUNTIME_DIR");
             e.remove("HOME");
         },
         "4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Launch(copy, {QStringLiteral("play"), QString::fromLatin1(c.cue)}, true,
                         [&](QProcessEnvironment& e) {
                             c.environment(e);
                             e.insert("QT_QPA_PLATFORM", "offscreen");
                         }),
                  0)
            << c.name;
        EXPECT_EQ(NextLine(first).substr(0, 16), std::string("lines=play|") + c.cue + "| st")
            << c.name;
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

TEST_F(TInstanceProcessTest, AnApplicationLibraryCutShortIsReportedInWords) {
    TCopy copy(TRELMO_PATH);
    // A library of its own beside the copy, cut to half its size.
    const fs::path lib = fs::path(copy.Identity()).parent_path().parent_path() / "lib";
    const fs::path library = fs::canonical(lib) / "trelmo" / TrelmoApplicationLibrary;
    fs::remove(lib);
    fs::create_directories(lib / "trelmo");
    fs::copy_file(library, lib / "trelmo" / TrelmoApplicationLibrary);
    fs::resize_file(lib / "trelmo" / TrelmoApplicationLibrary, fs::file_size(library) / 2);

    QProcess launch;
    launch.start(copy.Exe(), {});
    ASSERT_TRUE(launch.waitForFinished(15000));
    EXPECT_EQ(launch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(launch.exitCode(), 1);
    const std::string message = launch.readAllStandardError().toStdString();
    EXPECT_NE(message.find("cannot load the application library"), std::string::npos) << message;
    EXPECT_NE(message.find("cut short"), std::string::npos) << message;
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
