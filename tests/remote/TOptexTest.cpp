#include "TOptex.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <thread>

namespace {

bool OtherThreadCanTake(TOptex& lock) {
    bool taken = false;
    std::thread other([&] {
        taken = lock.TryAcquire();
        if (taken)
            lock.Release();
    });
    other.join();
    return taken;
}

} // namespace

TEST(TOptex, ReentrantForItsThreadAndFreeAfterAsManyReleasesAsAcquisitions) {
    TTempRuntimeDir dir;
    TOptex lock((dir.Path() / "lock").string());
    lock.Acquire();
    EXPECT_TRUE(lock.TryAcquire());
    lock.Acquire();
    EXPECT_FALSE(OtherThreadCanTake(lock));
    lock.Release();
    lock.Release();
    EXPECT_FALSE(OtherThreadCanTake(lock));
    lock.Release();
    EXPECT_TRUE(OtherThreadCanTake(lock));
}

TEST(TOptex, ExcludesOtherProcessesAndAKilledHolderBlocksNobody) {
    TTempRuntimeDir dir;
    const std::string path = (dir.Path() / "lock").string();
    TChildProcess holder([&](TChildProcess& self) {
        TOptex lock(path);
        lock.Acquire();
        self.Send('h');
        self.Receive(std::chrono::seconds(30));
        return 0;
    });
    ASSERT_EQ(holder.Receive(), 'h');
    TOptex lock(path);
    EXPECT_FALSE(lock.TryAcquire());
    holder.Kill();
    ASSERT_NE(holder.Wait(), -1);
    ASSERT_TRUE(lock.TryAcquire());
    lock.Release();
}

TEST(TOptex, AWaitingProcessGetsTheLockWhenItIsReleased) {
    TTempRuntimeDir dir;
    const std::string path = (dir.Path() / "lock").string();
    TOptex lock(path);
    lock.Acquire();
    TChildProcess waiter([&](TChildProcess& self) {
        TOptex mine(path);
        self.Send('w');
        mine.Acquire();
        self.Send('a');
        mine.Release();
        return 0;
    });
    ASSERT_EQ(waiter.Receive(), 'w');
    EXPECT_EQ(waiter.Receive(std::chrono::milliseconds(300)), std::nullopt);
    lock.Release();
    EXPECT_EQ(waiter.Receive(), 'a');
    EXPECT_EQ(waiter.Wait(), 0);
}

TEST(TOptex, AStoppedHolderDelaysAcquireOnlyForTheTimeLimit) {
    TTempRuntimeDir dir;
    const std::string path = (dir.Path() / "lock").string();
    TChildProcess holder([&](TChildProcess& self) {
        TOptex lock(path);
        lock.Acquire();
        self.Send('h');
        ::raise(SIGSTOP);
        return 0;
    });
    ASSERT_EQ(holder.Receive(), 'h');
    TOptex lock(path);
    std::promise<void> acquired;
    std::thread waiter([&] {
        lock.Acquire();
        acquired.set_value();
    });
    const auto status = acquired.get_future().wait_for(TOptex::TimeLimit * 3);
    EXPECT_EQ(status, std::future_status::ready) << "a stopped holder made Acquire hang";
    // Also frees the lock, so a waiter that hangs ends here.
    holder.Kill();
    waiter.join();
    lock.Release();
    EXPECT_TRUE(OtherThreadCanTake(lock));
}
