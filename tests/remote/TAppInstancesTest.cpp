#include "AppInstancesFixture.h"

#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

TEST_F(TAppInstancesTest, TheFirstLaunchIsRegisteredAtPositionZeroWithAPrivateSocket) {
    EXPECT_EQ(registry.PositionOf(registry.OwnProcessId()), 0);
    EXPECT_EQ(registry.RegisteredCount(), 1);
    EXPECT_EQ(std::filesystem::status(SocketPath()).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(TAppInstancesTest, ALaterLaunchGetsNoReceiverAndHandsItsArgumentsOn) {
    TChildProcess later([](TChildProcess& self) {
        TInstanceRegistry mine(Identity, TestRuntime());
        TLaunchCheck laterCheck(mine);
        const bool reachable = std::filesystem::exists(mine.SocketPathOf(mine.OwnProcessId())) ||
                               mine.ApplicationWindowOf(mine.OwnProcessId()).IsValid();
        self.Send(reachable ? 'r' : 'n');
        const TLaunchCheck::TResult result = laterCheck.CheckLaunch({"play", "3"});
        self.Send(result == TLaunchCheck::TResult::Delivered ? 'd' : 'x');
        return 0;
    });
    EXPECT_EQ(later.Receive(), 'n') << "a later launch can be asked by other launches";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, 10000));
    EXPECT_EQ(received, (std::vector<Lines>{{"play", "3"}}));
    std::optional<char> result;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (result = later.Receive(0ms)).has_value(); }, 10000));
    EXPECT_EQ(*result, 'd');
    EXPECT_EQ(later.Wait(), 0);
    EXPECT_EQ(registry.RegisteredCount(), 1);
}

TEST_F(TAppInstancesTest, DeliversArgumentListsAndRepliesThatItTookThem) {
    struct Case {
        std::string payload;
        Lines lines;
    };
    const Case cases[] = {
        {"play\r\n3\r\n", {"play", "3"}},   {"", {}},
        {"play 3\r\n", {"play 3"}},         {"a\rb\nc\n\rd", {"a", "b", "c", "", "d"}},
        {"a\r\n\r\nb\r\n", {"a", "", "b"}}, {std::string("stop\r\n1\0play\r\n", 15), {"stop", "1"}},
    };
    for (const Case& c : cases) {
        received.clear();
        const std::optional<TFrame> answer = Exchange(CmdLine(c.payload));
        ASSERT_TRUE(answer) << c.payload;
        EXPECT_EQ(answer->Type, TFrameType::Reply);
        EXPECT_EQ(answer->Value, 1);
        EXPECT_EQ(received, std::vector<Lines>{c.lines}) << c.payload;
    }
}

TEST_F(TAppInstancesTest, IgnoresDataFromItsOwnOriginator) {
    const std::optional<TFrame> answer =
        Exchange(CmdLine("play\r\n", static_cast<int32_t>(registry.OwnProcessId())));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Value, 0);
    EXPECT_TRUE(received.empty());
}

TEST_F(TAppInstancesTest, AnswersTheActiveQuestionWithItsOwnActive) {
    for (bool active : {true, false}) {
        instances.Active = active;
        const std::optional<TFrame> answer = Exchange(Notice(4, OtherProcess));
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->Type, TFrameType::Notice);
        EXPECT_EQ(answer->Kind, 5);
        EXPECT_EQ(answer->Value, active ? 1 : 0);
    }
}

TEST_F(TAppInstancesTest, RaisesItsEventsForNoticesAndOtherData) {
    std::vector<std::string> events;
    instances.OnInstanceCreated = [&](uint32_t id) {
        events.push_back("created " + std::to_string(id));
    };
    instances.OnInstanceDestroyed = [&](uint32_t id) {
        events.push_back("destroyed " + std::to_string(id));
    };
    instances.OnUserNotify = [&](int32_t param) {
        events.push_back("user " + std::to_string(param));
    };
    instances.OnDataAvailable = [&](int32_t kind, const char* data, int32_t size) {
        events.push_back("data " + std::to_string(kind) + " " + std::string(data, size));
    };
    const auto own = static_cast<int32_t>(registry.OwnProcessId());
    Send(Notice(1, own));
    Send(Notice(1, 4711));
    Send(Notice(2, 4711));
    Send(Notice(3, -5));
    Send(Notice(99, 1));
    const std::optional<TFrame> answer = Exchange({TFrameType::Data, 7, OtherProcess, "abc"});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Value, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 4; }, 5000));
    EXPECT_EQ(events, (std::vector<std::string>{"created 4711", "destroyed 4711", "user -5",
                                                "data 7 abc"}));
}

TEST_F(TAppInstancesTest, AnAnswerNobodyAskedForLeavesTheComponentActive) {
    // A bare "not active" answer from any process of this user must not switch the single
    // instance off: the next launch would open a second instance.
    Send(Notice(5, 0));
    const std::optional<TFrame> answer = Exchange(Notice(4, OtherProcess));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Value, 1);
    EXPECT_TRUE(instances.Active);
}

TEST_F(TAppInstancesTest, RegistrationsOfOtherProcessesReachTheReceiver) {
    std::vector<std::string> events;
    instances.OnInstanceCreated = [&](uint32_t id) {
        events.push_back("created " + std::to_string(id));
    };
    instances.OnInstanceDestroyed = [&](uint32_t id) {
        events.push_back("destroyed " + std::to_string(id));
    };
    TChildProcess other([](TChildProcess& self) {
        TInstanceRegistry mine(Identity, TestRuntime());
        mine.RegisterInstance(65535);
        mine.UnregisterInstance();
        self.Send('d');
        self.Receive(30s);
        return 0;
    });
    ASSERT_EQ(other.Receive(), 'd');
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 2; }, 5000));
    const std::string id = std::to_string(other.Pid());
    EXPECT_EQ(events, (std::vector<std::string>{"created " + id, "destroyed " + id}));
}

TEST_F(TAppInstancesTest, AHandlerErrorIsReportedAndTheReceiverGoesOn) {
    std::vector<std::string> errors;
    instances.OnError = [&](const std::string& message) { errors.push_back(message); };
    instances.OnCmdLineReceived = [&](const Lines& lines) {
        if (lines.at(0) == "fail")
            throw std::runtime_error("Cue list broken");
        received.push_back(lines);
    };
    std::optional<TFrame> answer = Exchange(CmdLine("fail\r\n"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->Value, 1);
    EXPECT_EQ(errors, std::vector<std::string>{"Cue list broken."});
    answer = Exchange(CmdLine("play\r\n"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(received, std::vector<Lines>{{"play"}});
}

TEST(TAppInstances, ThePayloadHoldsEachNonEmptyArgumentFollowedByCrLf) {
    EXPECT_EQ(TInstanceRegistry::ArgumentPayload({"play", "3"}), "play\r\n3\r\n");
    EXPECT_EQ(TInstanceRegistry::ArgumentPayload({"play", "", "3"}), "play\r\n3\r\n");
    EXPECT_EQ(TInstanceRegistry::ArgumentPayload({"play 3"}), "play 3\r\n");
    EXPECT_EQ(TInstanceRegistry::ArgumentPayload({""}), "");
    EXPECT_EQ(TInstanceRegistry::ArgumentPayload({}), "");
}

TEST_F(TAppInstancesTest, HostileFramesAreDroppedAndTheReceiverGoesOn) {
    std::string oversize = CmdLine("").Encode();
    oversize[12] = 1;
    oversize[14] = 0x10; // 1 MiB + 1
    std::string noticeWithPayload = Notice(1, 5).Encode() + "x";
    noticeWithPayload[12] = 1;
    std::string truncated = CmdLine("play\r\n3\r\n").Encode();
    truncated.resize(truncated.size() - 3);
    struct Case {
        const char* name;
        std::string bytes;
        bool closeWriting;
    };
    const Case cases[] = {
        {"garbage", "GET / HTTP/1.1\r\nHost: trelmo\r\n\r\n", false},
        {"oversize", oversize, false},
        {"truncated", truncated, true},
        {"notice with payload", noticeWithPayload, false},
        {"short header", std::string("\x02\x00\x00", 3), true},
    };
    for (const Case& c : cases) {
        const int socket = RawConnect(SocketPath());
        ASSERT_GE(socket, 0) << c.name;
        ASSERT_EQ(::send(socket, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(c.bytes.size()));
        if (c.closeWriting)
            ::shutdown(socket, SHUT_WR);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ClosedByPeer(socket); }, 1500)) << c.name;
        ::close(socket);
    }
    EXPECT_TRUE(received.empty());
    const std::optional<TFrame> answer = Exchange(CmdLine("stop\r\n1\r\n"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(received, (std::vector<Lines>{{"stop", "1"}}));
}

TEST_F(TAppInstancesTest, ASilentPeerStallsNobodyAndIsDroppedAfterTheTimeLimit) {
    const int silent = RawConnect(SocketPath());
    ASSERT_GE(silent, 0);
    const std::optional<TFrame> answer = Exchange(CmdLine("play\r\n"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(received, std::vector<Lines>{{"play"}});
    EXPECT_FALSE(ClosedByPeer(silent)) << "dropped before its time limit";
    EXPECT_TRUE(QTest::qWaitFor([&] { return ClosedByPeer(silent); }, 5000));
    ::close(silent);
}

TEST_F(TAppInstancesTest, ASocketServedByAnotherProcessIsNotItsWindow) {
    const uint32_t impostor = 4194304 + 7;
    ASSERT_EQ(::link(SocketPath().c_str(), registry.SocketPathOf(impostor).c_str()), 0);
    EXPECT_FALSE(registry.ApplicationWindowOf(impostor).IsValid());
    EXPECT_FALSE(registry.ApplicationWindowOf(impostor + 1).IsValid());
    EXPECT_TRUE(registry.ApplicationWindowOf(registry.OwnProcessId()).IsValid());
}

namespace {

// Becomes user nobody but keeps the right to open other users' files, so that it can reach
// the socket: only the receiver's check of the peer's user id stands in its way.
bool BecomeAnotherUserThatCanReachTheSocket() {
    if (::prctl(PR_SET_KEEPCAPS, 1) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0)
        return false;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    data[0].effective = data[0].permitted = 1u << CAP_DAC_OVERRIDE;
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

TEST_F(TAppInstancesTest, ConnectionsOfAnotherUserAreRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    const std::string path = SocketPath();
    const std::string bytes = CmdLine("play\r\n1\r\n").Encode();
    TChildProcess intruder([&](TChildProcess&) {
        if (!BecomeAnotherUserThatCanReachTheSocket())
            return 4;
        const int socket = RawConnect(path);
        if (socket < 0)
            return 2;
        ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        pollfd entry{socket, POLLIN, 0};
        char reply[16];
        if (::poll(&entry, 1, 5000) != 1)
            return 5;
        return ::recv(socket, reply, sizeof reply, 0) > 0 ? 3 : 0;
    });
    int code = -1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (code = intruder.Wait(0ms)) != -1; }, 10000));
    EXPECT_EQ(code, 0) << "2: could not connect, 3: got a reply, 4: could not switch user, "
                          "5: connection neither answered nor closed";
    EXPECT_TRUE(received.empty());
}
