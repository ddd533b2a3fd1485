#include "TLaunchCheck.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

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
