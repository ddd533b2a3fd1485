// The receiver under load: late messages, many launches at once, no descriptor left.
#include "AppInstancesFixture.h"

#include <algorithm>
#include <filesystem>
#include <sys/resource.h>
#include <utility>

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
