// The OSC server on real UDP sockets of this computer, with the event loop of the test.
#include "TOscServer.h"
#include "TOscTestClient.h"

#include <lo/lo.h>

#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int WaitMs = 10000;
// Sent after the messages under test: once it has arrived, they have been handled.
const TOscCommand Marker{TOscCommand::ocSelect, 424242};

class TOscServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Server.OnCommand = [this](const TOscCommand& command) { Received.push_back(command); };
        Server.OnDropReport = [this](const std::string& text) {
            Reports.push_back({TClock::now(), text});
        };
        std::string failure;
        ASSERT_TRUE(Server.Start("127.0.0.1", 0, failure)) << failure;
        ASSERT_NE(Server.Port(), 0);
        Client = std::make_unique<TOscTestClient>(Server.Port());
    }

    // Sends the marker and waits for it; the commands received before it.
    std::vector<TOscCommand> Settle() {
        EXPECT_TRUE(Client->Send("/select/424242"));
        EXPECT_TRUE(QTest::qWaitFor(
            [this] { return !Received.empty() && Received.back() == Marker; }, WaitMs));
        std::vector<TOscCommand> before(Received.begin(), Received.end() - 1);
        Received.clear();
        return before;
    }

    // The messages that the reports so far say were ignored.
    size_t Ignored() const {
        size_t total = 0;
        for (const TReport& report : Reports)
            total += std::stoul(report.Text.substr(report.Text.find("ignored ") + 8));
        return total;
    }

    struct TReport {
        TClock::time_point At;
        std::string Text;
    };

    TOscServer Server;
    std::unique_ptr<TOscTestClient> Client;
    std::vector<TOscCommand> Received;
    std::vector<TReport> Reports;
};

lo_message Message(const std::function<void(lo_message)>& add) {
    lo_message message = lo_message_new();
    add(message);
    return message;
}

// An element of a bundle: a message's address, or a nested bundle.
struct TElement {
    std::string Address;
    std::vector<TElement> Nested = {};
};

lo_bundle Bundle(const std::vector<TElement>& elements, lo_timetag when = LO_TT_IMMEDIATE) {
    lo_bundle bundle = lo_bundle_new(when);
    for (const TElement& element : elements) {
        if (element.Address.empty())
            lo_bundle_add_bundle(bundle, Bundle(element.Nested, when));
        else
            lo_bundle_add_message(bundle, element.Address.c_str(), lo_message_new());
    }
    return bundle;
}

std::string Serialised(lo_bundle bundle) {
    size_t size = 0;
    void* data = lo_bundle_serialise(bundle, nullptr, &size);
    std::string bytes(static_cast<const char*>(data), size);
    std::free(data);
    lo_bundle_free_recursive(bundle);
    return bytes;
}

TOscCommand Command(const std::string& address) {
    return TOscCommand::FromAddress(address).value();
}

// A bundle element of raw bytes: the big-endian size, then the bytes.
std::string Element(const std::string& bytes, uint32_t size) {
    const char prefix[4] = {static_cast<char>(size >> 24), static_cast<char>(size >> 16),
                            static_cast<char>(size >> 8), static_cast<char>(size)};
    return std::string(prefix, 4) + bytes;
}

const std::string BundleHeader("#bundle\0\0\0\0\0\0\0\0\1", 16);
const std::string GoMessage("/go\0,\0\0\0", 8);

} // namespace

TEST_F(TOscServerTest, TheMessagesOfABundleRunInOrderAsIfTheyHadComeOneByOne) {
    lo_timetag later{};
    lo_timetag_now(&later);
    later.sec += 3600;
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<TOscCommand> expected;
        size_t ignored;
    };
    const Case cases[] = {
        {"go and a start",
         Serialised(Bundle({{"/go"}, {"/cue/3/start"}})),
         {Command("/go"), Command("/cue/3/start")},
         0},
        {"nested bundles",
         Serialised(
             Bundle({{"/cue/1/stop"}, {"", {{"/cue/2/start"}, {"", {{"/go"}}}}}, {"/select/4"}})),
         {Command("/cue/1/stop"), Command("/cue/2/start"), Command("/go"), Command("/select/4")},
         0},
        {"a time tag an hour ahead runs at once",
         Serialised(Bundle({{"/panic"}}, later)),
         {Command("/panic")},
         0},
        {"an unknown address among others",
         Serialised(Bundle({{"/go"}, {"/lights/1"}, {"/stop"}})),
         {Command("/go"), Command("/stop")},
         1},
    };
    for (const Case& c : cases) {
        const size_t before = Ignored();
        ASSERT_TRUE(Client->SendRaw(c.bytes)) << c.name;
        EXPECT_EQ(Settle(), c.expected) << c.name;
        EXPECT_TRUE(QTest::qWaitFor([&] { return Ignored() == before + c.ignored; }, WaitMs))
            << c.name;
    }
}

// With a bundle handler, each bundle reaches it whole and at once, also one larger than a turn's
// batch; messages on their own still go to OnCommand, between the bundles, in arrival order.
TEST_F(TOscServerTest, ABundleHandlerTakesEachBundleWhole) {
    std::vector<std::vector<TOscCommand>> bundles;
    Server.OnBundle = [&](const std::vector<TOscCommand>& commands) {
        bundles.push_back(commands);
        Received.push_back(Command("/stop"));
    };
    std::vector<TElement> large;
    std::vector<TOscCommand> largeCommands;
    for (size_t cue = 1; cue <= 2 * TOscServer::BatchSize + 1; ++cue) {
        large.push_back({"/cue/" + std::to_string(cue) + "/start"});
        largeCommands.push_back(Command(large.back().Address));
    }
    ASSERT_TRUE(Client->Send("/go"));
    ASSERT_TRUE(Client->SendRaw(Serialised(Bundle(large))));
    ASSERT_TRUE(Client->Send("/select/2"));
    ASSERT_TRUE(Client->SendRaw(Serialised(Bundle({{"/cue/9/pause"}, {"/lights/1"}}))));
    EXPECT_EQ(Settle(), (std::vector<TOscCommand>{Command("/go"), Command("/stop"),
                                                  Command("/select/2"), Command("/stop")}));
    EXPECT_EQ(bundles,
              (std::vector<std::vector<TOscCommand>>{largeCommands, {Command("/cue/9/pause")}}));
}

TEST_F(TOscServerTest, AMalformedBundleIsDroppedWholeAndCounted) {
    Server.DropReportInterval = 10ms;
    std::string tooDeep = Element(GoMessage, 8);
    for (int depth = 0; depth < 9; ++depth)
        tooDeep = Element(BundleHeader + tooDeep, static_cast<uint32_t>(16 + tooDeep.size()));
    const std::string cases[] = {
        BundleHeader + Element(GoMessage, 12),                       // size beyond the end
        BundleHeader + Element(GoMessage, 6) + std::string(2, '\0'), // size not a multiple of 4
        BundleHeader + Element(GoMessage, 8) + std::string(3, '\0'), // bytes left over
        BundleHeader + Element(std::string("/go\0,i\0\0", 8), 8),    // argument missing
        BundleHeader,                                                // no message
        tooDeep.substr(4),
    };
    size_t expected = 0;
    for (const std::string& bytes : cases) {
        ASSERT_TRUE(Client->SendRaw(bytes));
        EXPECT_TRUE(Settle().empty()) << expected;
        ++expected;
        EXPECT_TRUE(QTest::qWaitFor([&] { return Ignored() == expected; }, WaitMs)) << expected;
    }
    EXPECT_NE(Reports.back().Text.find("malformed"), std::string::npos) << Reports.back().Text;
}

TEST_F(TOscServerTest, OneTurnOfTheEventLoopCarriesOutABatchAndTheRestFollow) {
    // Each command notes where a turn ended: a call queued by the first command of a turn runs
    // after that turn's batch and before the next.
    std::vector<size_t> batches;
    bool boundaryQueued = false;
    QObject context;
    Server.OnCommand = [&](const TOscCommand& command) {
        Received.push_back(command);
        if (!std::exchange(boundaryQueued, true))
            QMetaObject::invokeMethod(
                &context,
                [&] {
                    batches.push_back(Received.size());
                    boundaryQueued = false;
                },
                Qt::QueuedConnection);
    };
    const int32_t count = 3 * TOscServer::BatchSize + 3;
    std::vector<TOscCommand> sent;
    // All are waiting before the event loop runs, as in a flood.
    for (int32_t i = 1; i <= count; ++i) {
        ASSERT_TRUE(Client->Send("/select/" + std::to_string(i)));
        sent.push_back(Command("/select/" + std::to_string(i)));
    }
    const auto deadline = TClock::now() + 10s;
    while (Server.Received() < static_cast<uint64_t>(count) && TClock::now() < deadline)
        std::this_thread::yield();
    ASSERT_EQ(Server.Received(), static_cast<uint64_t>(count));

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !batches.empty() && batches.back() == sent.size(); }, WaitMs));
    EXPECT_EQ(Received, sent);
    size_t previous = 0;
    for (size_t end : batches) {
        EXPECT_LE(end - previous, TOscServer::BatchSize);
        previous = end;
    }
    EXPECT_GE(batches.size(), 4u);
}

TEST_F(TOscServerTest, APressIsNoArgumentOrOneNumberOtherThanZero) {
    Server.DropReportInterval = 100ms;
    struct Case {
        const char* name;
        std::function<void(lo_message)> add;
        bool delivered;
    };
    const Case cases[] = {
        {"no argument", [](lo_message) {}, true},
        {"int 1", [](lo_message m) { lo_message_add_int32(m, 1); }, true},
        {"int -3", [](lo_message m) { lo_message_add_int32(m, -3); }, true},
        {"int 0 (release)", [](lo_message m) { lo_message_add_int32(m, 0); }, false},
        {"float 1", [](lo_message m) { lo_message_add_float(m, 1.0f); }, true},
        {"float 0.25", [](lo_message m) { lo_message_add_float(m, 0.25f); }, true},
        {"float 0 (release)", [](lo_message m) { lo_message_add_float(m, 0.0f); }, false},
        {"float -0 (release)", [](lo_message m) { lo_message_add_float(m, -0.0f); }, false},
        {"int64 1", [](lo_message m) { lo_message_add_int64(m, 1); }, true},
        {"double 0 (release)", [](lo_message m) { lo_message_add_double(m, 0.0); }, false},
        {"string", [](lo_message m) { lo_message_add_string(m, "1"); }, false},
        {"true", [](lo_message m) { lo_message_add_true(m); }, false},
        {"two ints",
         [](lo_message m) {
             lo_message_add_int32(m, 1);
             lo_message_add_int32(m, 1);
         },
         false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Client->Send("/cue/2/start", Message(c.add))) << c.name;
        const std::vector<TOscCommand> received = Settle();
        const std::vector<TOscCommand> press = {{TOscCommand::ocCueStart, 2}};
        if (c.delivered)
            EXPECT_EQ(received, press) << c.name;
        else
            EXPECT_TRUE(received.empty()) << c.name;
    }
    // Releases are no fault; only the three messages with other arguments are.
    ASSERT_TRUE(QTest::qWaitFor([this] { return Ignored() >= 3; }, WaitMs));
    EXPECT_EQ(Ignored(), 3u);
    for (const TReport& report : Reports)
        EXPECT_NE(report.Text.find("with arguments other than one number"), std::string::npos)
            << report.Text;
}

TEST_F(TOscServerTest, CommandsArriveInTheOrderSent) {
    std::vector<TOscCommand> sent;
    for (int32_t i = 1; i <= 200; ++i) {
        const std::string verb = i % 3 == 0 ? "start" : i % 3 == 1 ? "stop" : "pause";
        ASSERT_TRUE(Client->Send("/cue/" + std::to_string(i) + "/" + verb));
        sent.push_back(TOscCommand::FromAddress("/cue/" + std::to_string(i) + "/" + verb).value());
    }
    EXPECT_EQ(Settle(), sent);
}

TEST_F(TOscServerTest, BadInputIsDroppedCountedAndReportedNoMoreOftenThanTheInterval) {
    Server.DropReportInterval = 300ms;
    ASSERT_TRUE(Client->SendRaw("not OSC at all"));
    ASSERT_TRUE(Client->SendRaw(std::string("/go\0,i\0\0\0\0", 11)));      // argument cut short
    ASSERT_TRUE(Client->SendRaw(std::string("/go\0,\0\0\0\0\0\0\0", 12))); // 3 padding bytes
    ASSERT_TRUE(Client->SendRaw(std::string("#bundle\0\0\0\0\0\0\0\0\1", 16)));
    ASSERT_TRUE(Client->SendRaw(std::string(60000, '/')));
    ASSERT_TRUE(Client->Send("/cue/1/play"));
    ASSERT_TRUE(Client->Send("/lights/1"));
    EXPECT_TRUE(Settle().empty());
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Client->Send("/nowhere"));
    EXPECT_TRUE(Settle().empty());

    ASSERT_TRUE(QTest::qWaitFor([&] { return Ignored() == 10; }, WaitMs)) << Ignored();
    std::string all;
    for (const TReport& report : Reports)
        all += report.Text + "\n";
    for (const char* kind : {"malformed", "too large", "for unknown addresses"})
        EXPECT_NE(all.find(kind), std::string::npos) << kind << " in " << all;
    for (size_t i = 1; i < Reports.size(); ++i)
        EXPECT_GE(Reports[i].At - Reports[i - 1].At, Server.DropReportInterval - 5ms) << all;
}

TEST_F(TOscServerTest, CommandsBeyondWhatTheWindowCanTakeAreDropped) {
    // The event loop does not run while they arrive, as when the window is busy. Each is read
    // before the next is sent, so that none is lost in the socket's buffer instead.
    for (int32_t i = 1; i <= 1000; ++i) {
        ASSERT_TRUE(Client->Send("/select/" + std::to_string(i)));
        const auto deadline = TClock::now() + 10s;
        while (Server.Received() < static_cast<uint64_t>(i) && TClock::now() < deadline)
            std::this_thread::yield();
        ASSERT_EQ(Server.Received(), static_cast<uint64_t>(i));
    }
    ASSERT_TRUE(QTest::qWaitFor([this] { return Ignored() == 744; }, WaitMs)) << Ignored();
    const std::vector<TOscCommand> received = Settle();
    ASSERT_EQ(received.size(), 256u);
    for (size_t i = 0; i < received.size(); ++i)
        EXPECT_EQ(received[i].Cue, static_cast<int32_t>(i) + 1);
    EXPECT_NE(Reports[0].Text.find("arriving faster than the window could carry them out"),
              std::string::npos)
        << Reports[0].Text;
}

TEST_F(TOscServerTest, ListensOnItsOwnAddressOnly) {
    // 127.0.0.2 is this computer too, but not the address the server is bound to.
    TOscTestClient elsewhere(Server.Port(), "127.0.0.2");
    ASSERT_TRUE(elsewhere.Send("/select/5"));
    EXPECT_TRUE(Settle().empty());
}

TEST(TOscServerStart, SaysWhyItCannotListen) {
    const TTakenUdpPort holder;
    ASSERT_NE(holder.Port(), 0);
    const int32_t taken = holder.Port();

    struct Case {
        std::string address;
        int32_t port;
        std::string says;
    };
    const Case cases[] = {
        {"127.0.0.1", taken,
         "UDP port " + std::to_string(taken) +
             " on 127.0.0.1 is already in use by another program"},
        {"localhost", 0, "\"localhost\" is not an IP address"},
        {"", 0, "\"\" is not an IP address"},
        {"127.0.0.1", 65536, "65536 is not a UDP port (0 to 65535)"},
        {"127.0.0.1", -1, "-1 is not a UDP port"},
        // An address of no interface of this computer (documentation range).
        {"192.0.2.1", 0, "cannot listen on UDP 192.0.2.1:0"},
    };
    for (const Case& c : cases) {
        TOscServer server;
        std::string failure;
        EXPECT_FALSE(server.Start(c.address, c.port, failure)) << c.address;
        EXPECT_EQ(server.Port(), 0);
        EXPECT_TRUE(failure.starts_with("OSC is off: ")) << failure;
        EXPECT_NE(failure.find(c.says), std::string::npos) << failure;
        EXPECT_NE(failure.find("Settings.xml"), std::string::npos) << failure;
    }
}
