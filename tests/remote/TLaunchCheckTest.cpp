#include "TLaunchCheck.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

const std::string Identity = "/opt/show/trelmo";

} // namespace

TEST(TLaunchCheck, AnInstanceThatTakesNothingLeavesTheLaunchUndeliveredWithinTheLimit) {
    TTempRuntimeDir dir;
    // A first instance whose receiver exists but is never served, as when it has been stopped.
    TChildProcess first([](TChildProcess& self) {
        TInstanceRegistry registry(Identity, TestRuntime());
        TLaunchCheck check(registry);
        const bool runs = check.CheckLaunch({}) == TLaunchCheck::TResult::Run;
        self.Send(runs ? 'r' : 'x');
        self.Receive(std::chrono::seconds(60));
        return 0;
    });
    ASSERT_EQ(first.Receive(), 'r');

    TInstanceRegistry registry(Identity, TestRuntime());
    TLaunchCheck later(registry);
    EXPECT_FALSE(std::filesystem::exists(registry.SocketPathOf(registry.OwnProcessId())))
        << "a later launch made a receiver";
    EXPECT_EQ(later.CheckLaunch({"stop", "1"}), TLaunchCheck::TResult::NotDelivered);
    EXPECT_NE(later.Failure().find("process " + std::to_string(first.Pid())), std::string::npos)
        << later.Failure();
}

TEST(TLaunchCheck, ARegisteredInstanceWithoutReceiverIsReportedAsUnreachable) {
    TTempRuntimeDir dir;
    // Registered, then killed: its entry stays while another holder keeps the registry.
    TChildProcess killed([](TChildProcess& self) {
        TInstanceRegistry registry(Identity, TestRuntime());
        TLaunchCheck check(registry);
        self.Send('r');
        self.Receive(std::chrono::seconds(60));
        return 0;
    });
    ASSERT_EQ(killed.Receive(), 'r');
    TInstanceRegistry registry(Identity, TestRuntime());
    killed.Kill();
    ASSERT_NE(killed.Wait(), -1);

    TLaunchCheck later(registry);
    EXPECT_EQ(later.CheckLaunch({"play", "1"}), TLaunchCheck::TResult::NotDelivered);
    EXPECT_NE(later.Failure().find("could be reached"), std::string::npos) << later.Failure();
}

TEST(TLaunchCheck, ALaunchThatFindsTheRegistryFullIsAnErrorNotAFirstInstance) {
    TTempRuntimeDir dir;
    TInstanceRegistry registry(Identity, TestRuntime());
    // Every place taken by a process that runs (process 1 never ends).
    std::string block(TInstanceRegistry::BlockSize, '\0');
    block[0] = block[1] = '\xff';
    block[2] = static_cast<char>(TInstanceRegistry::Capacity & 0xff);
    block[3] = static_cast<char>(TInstanceRegistry::Capacity >> 8);
    for (int32_t i = 0; i < TInstanceRegistry::Capacity; ++i)
        block[4 + 4 * i] = 1;
    std::ofstream(registry.Folder() + "/registry", std::ios::binary | std::ios::in)
        .write(block.data(), static_cast<std::streamsize>(block.size()));
    ASSERT_EQ(registry.RegisteredCount(), TInstanceRegistry::Capacity);

    try {
        TLaunchCheck check(registry);
        FAIL() << "a launch without a place in the registry went on";
    } catch (const TRegistryFull& e) {
        EXPECT_NE(std::string(e.what()).find("not carried out"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(registry.SocketPathOf(registry.OwnProcessId())));
    EXPECT_EQ(registry.PositionOf(registry.OwnProcessId()), -1);
}

TEST(TLaunchCheck, ACommandTooLongToHandOnIsNotSentAndSaysSo) {
    TTempRuntimeDir dir;
    TChildProcess first([](TChildProcess& self) {
        TInstanceRegistry registry(Identity, TestRuntime());
        TLaunchCheck check(registry);
        self.Send(check.CheckLaunch({}) == TLaunchCheck::TResult::Run ? 'r' : 'x');
        self.Receive(std::chrono::seconds(60));
        return 0;
    });
    ASSERT_EQ(first.Receive(), 'r');
    struct Case {
        size_t size;
        bool tooLong;
    };
    // "play" and a number, each followed by CR LF.
    const size_t fixed = 6 + 2;
    for (const Case c : {Case{TLaunchCheck::MaxCommandSize, false},
                         Case{TLaunchCheck::MaxCommandSize + 1, true}, Case{2 << 20, true}}) {
        TInstanceRegistry registry(Identity, TestRuntime());
        TLaunchCheck later(registry);
        EXPECT_EQ(later.CheckLaunch({"play", std::string(c.size - fixed, '1')}),
                  TLaunchCheck::TResult::NotDelivered);
        const std::string failure = later.Failure();
        EXPECT_EQ(failure.find("too long") != std::string::npos, c.tooLong) << failure;
    }
}
