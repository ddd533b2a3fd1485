#include "TAppInstances.h"
#include "TInstanceRegistry.h"
#include "TLaunchCheck.h"
#include "TestSupport.h"

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

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

const std::string Identity = "/opt/show/trelmo";
// The originator of data messages sent by the tests: any process but the receiver's own.
const int32_t OtherProcess = 1;

int RawConnect(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        return -1;
    }
    return socket;
}

// Whether the receiver has closed its end: the socket reads end of file.
bool ClosedByPeer(int socket) {
    char byte;
    return ::recv(socket, &byte, 1, MSG_DONTWAIT) == 0;
}

TFrame CmdLine(const std::string& payload, int32_t originator = OtherProcess) {
    return {TFrameType::Data, 1, originator, payload};
}

TFrame Notice(int32_t kind, int32_t value) {
    return {TFrameType::Notice, kind, value, {}};
}

} // namespace

class TAppInstancesTest : public ::testing::Test {
protected:
    void SetUp() override {
        instances.OnCmdLineReceived = [this](const Lines& lines) { received.push_back(lines); };
        instances.StartReceiving();
    }

    std::string SocketPath() const { return registry.SocketPathOf(registry.OwnProcessId()); }

    // Sends frame from another thread while the event loop runs; the receiver's answer.
    std::optional<TFrame> Exchange(const TFrame& frame) {
        std::optional<TFrame> answer;
        std::atomic<bool> done = false;
        std::thread sender([&] {
            TPeerConnection peer = registry.ApplicationWindowOf(registry.OwnProcessId());
            if (peer.IsValid())
                answer = peer.Exchange(frame, TPeerConnection::TClock::now() + 5s);
            done = true;
        });
        const bool finished = QTest::qWaitFor([&] { return done.load(); }, 8000);
        sender.join();
        EXPECT_TRUE(finished);
        return answer;
    }

    void Send(const TFrame& frame) {
        TPeerConnection peer = registry.ApplicationWindowOf(registry.OwnProcessId());
        ASSERT_TRUE(peer.IsValid());
        ASSERT_TRUE(peer.Send(frame, TPeerConnection::TClock::now() + 5s));
    }

    TTempRuntimeDir dir;
    TInstanceRegistry registry{Identity, TestRuntime()};
    TLaunchCheck check{registry};
    TAppInstances instances{check.TakeReceiver(), registry.OwnProcessId()};
    std::vector<Lines> received;
};

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

TEST_F(TAppInstancesTest, AMessagePastItsDeadlineIsDroppedAndAnsweredAsNotTaken) {
    const int64_t now = TFrame::MonotonicNowNs();
    struct Case {
        const char* name;
        int64_t deadline;
        bool taken;
    };
    const Case cases[] = {
        {"no deadline", 0, true},
        {"deadline ahead", now + 60'000'000'000, true},
        {"deadline passed", now - 1, false},
        {"deadline long passed", 1, false},
    };
    int64_t late = 0;
    for (const Case& c : cases) {
        received.clear();
        TFrame frame = CmdLine("stop\r\n1\r\n");
        frame.DeadlineNs = c.deadline;
        const std::optional<TFrame> answer = Exchange(frame);
        ASSERT_TRUE(answer) << c.name;
        EXPECT_EQ(answer->Value, c.taken ? 1 : 0) << c.name;
        EXPECT_EQ(received.size(), c.taken ? 1u : 0u) << c.name;
        late += c.taken ? 0 : 1;
        EXPECT_EQ(instances.LateMessages, late) << c.name;
    }
}

TEST_F(TAppInstancesTest, ArgumentListsRunInBatchesOfOneTurnOfTheEventLoopEach) {
    // A call queued by the first list of a turn runs after that turn's lists.
    std::vector<size_t> batches;
    bool boundaryQueued = false;
    QObject context;
    instances.OnCmdLineReceived = [&](const Lines& lines) {
        received.push_back(lines);
        if (!std::exchange(boundaryQueued, true))
            QMetaObject::invokeMethod(
                &context,
                [&] {
                    batches.push_back(received.size());
                    boundaryQueued = false;
                },
                Qt::QueuedConnection);
    };
    constexpr int Lists = 3 * TAppInstances::BatchSize + 3;
    // All are waiting before the event loop runs, as when many launches come at once.
    TChildProcess launches([&](TChildProcess& self) {
        std::vector<TPeerConnection> connections;
        for (int i = 1; i <= Lists; ++i) {
            connections.push_back(registry.ApplicationWindowOf(registry.OwnProcessId()));
            if (!connections.back().Send(CmdLine("select\r\n" + std::to_string(i) + "\r\n"),
                                         TPeerConnection::TClock::now() + 5s))
                return 1;
        }
        self.Send('s');
        self.Receive(30s);
        return 0;
    });
    ASSERT_EQ(launches.Receive(), 's');
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !batches.empty() && batches.back() == static_cast<size_t>(Lists); }, 10000));
    std::vector<Lines> expected;
    for (int i = 1; i <= Lists; ++i)
        expected.push_back({"select", std::to_string(i)});
    EXPECT_EQ(received, expected);
    size_t previous = 0;
    for (size_t end : batches) {
        EXPECT_LE(end - previous, static_cast<size_t>(TAppInstances::BatchSize));
        previous = end;
    }
    EXPECT_GE(batches.size(), 4u);
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

TEST_F(TAppInstancesTest, WithNoDescriptorLeftItPausesAcceptingAndAnswersOnceOneIsFree) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    // Everything the receiver does is done once before the descriptors run out, so that the
    // sanitizers' first checks (which need descriptors themselves) are behind it.
    ASSERT_TRUE(Exchange(CmdLine("warm\r\n")));
    received.clear();
    rlimit low = saved;
    low.rlim_cur =
        static_cast<rlim_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator{})) +
        8;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    // Peers that connect and send nothing, from a process whose descriptors are not counted here.
    TChildProcess idle([&](TChildProcess& self) {
        ::setrlimit(RLIMIT_NOFILE, &saved);
        std::vector<int> sockets;
        for (int i = 0; i < 64; ++i)
            sockets.push_back(RawConnect(SocketPath()));
        self.Send(std::ranges::count(sockets, -1) == 0 ? 'c' : 'x');
        self.Receive(30s);
        for (int socket : sockets)
            ::close(socket);
        self.Send('d');
        self.Receive(30s);
        return 0;
    });
    ASSERT_EQ(idle.Receive(), 'c');
    const bool paused = QTest::qWaitFor([&] { return !instances.Accepting(); }, 10000);

    idle.Send('e');
    ASSERT_EQ(idle.Receive(), 'd');
    const bool answered = QTest::qWaitFor(
        [&] {
            const std::optional<TFrame> answer = Exchange(CmdLine("play\r\n1\r\n"));
            return answer && answer->Value == 1;
        },
        20000);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(paused) << "it went on accepting with no descriptor left";
    EXPECT_TRUE(answered);
    EXPECT_EQ(received, (std::vector<Lines>{{"play", "1"}}));
    EXPECT_TRUE(instances.Accepting());
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
