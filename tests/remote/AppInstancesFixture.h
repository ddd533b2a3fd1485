#pragma once

// The receiver of a first instance served by the test's event loop, and raw peers for it.
#include "TAppInstances.h"
#include "TInstanceRegistry.h"
#include "TLaunchCheck.h"
#include "TestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

inline const std::string Identity = "/opt/show/trelmo";
// The originator of data messages sent by the tests: any process but the receiver's own.
inline constexpr int32_t OtherProcess = 1;

inline int RawConnect(const std::string& path) {
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
inline bool ClosedByPeer(int socket) {
    char byte;
    return ::recv(socket, &byte, 1, MSG_DONTWAIT) == 0;
}

inline TFrame CmdLine(const std::string& payload, int32_t originator = OtherProcess) {
    return {TFrameType::Data, 1, originator, payload};
}

inline TFrame Notice(int32_t kind, int32_t value) {
    return {TFrameType::Notice, kind, value, {}};
}

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
