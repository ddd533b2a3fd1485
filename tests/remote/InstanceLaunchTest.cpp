// Launches in other environments and against an instance that does not answer, as separate
// processes.
#include "InstanceProcesses.h"
#include "StartUp.h"
#include "TestSupport.h"
#include "TrelmoApplication.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

class TInstanceLaunchTest : public ::testing::Test {
protected:
    TTempRuntimeDir runtime;
};

TEST_F(TInstanceLaunchTest, ABurstOfLaunchesAgainstAStoppedInstanceOpensNoSecondOne) {
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

TEST_F(TInstanceLaunchTest, ACommandHandedToAStoppedInstanceIsDroppedWhenItResumes) {
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

TEST_F(TInstanceLaunchTest, LaunchesInAnotherEnvironmentReachTheRunningInstance) {
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

TEST_F(TInstanceLaunchTest, AnApplicationLibraryCutShortIsReportedInWords) {
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
