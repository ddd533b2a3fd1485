#include "SoundServerCheck.h"
#include "TAudioEngine.h"
#include "TPulseOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A null sink loaded on the test's sound server while the object lives, with the description
// the desktop shows for it.
class TNamedSink {
public:
    TNamedSink(const std::string& name, const std::string& description) {
        // The server reads sink_properties="device.description='Stage Left'".
        std::string quoted;
        for (char c : description)
            quoted += c == ' ' ? std::string("\\ ") : std::string(1, c);
        const std::string command = "pactl load-module module-null-sink sink_name=" + name +
                                    " sink_properties=\\\"device.description=\\'" + quoted +
                                    "\\'\\\"";
        FILE* load = popen(command.c_str(), "r");
        char index[32] = {};
        if (load && fgets(index, sizeof(index), load))
            FModule = std::atoi(index);
        if (load)
            pclose(load);
    }
    ~TNamedSink() { Unload(); }
    TNamedSink(const TNamedSink&) = delete;
    TNamedSink& operator=(const TNamedSink&) = delete;

    bool Loaded() const { return FModule > 0; }
    void Unload() {
        if (FModule > 0)
            std::system(("pactl unload-module " + std::to_string(FModule)).c_str());
        FModule = 0;
    }

private:
    int FModule = 0;
};

// The engine on the test's sound server, counting its notices of changed outputs.
class PulseOutputNames : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SOUND_SERVER(SoundServerReachable(), "pactl info failed");
    }

    void StartEngine() {
        Engine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
        Engine->SetOnDevicesChanged([this] {
            std::lock_guard lock(Lock);
            ++Notices;
            Policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
            Signal.notify_all();
        });
        ASSERT_TRUE(Engine->AudioGetDeviceInfo(1, nullptr));
    }

    const TOutputDevice* Named(const std::string& name) {
        Devices = Engine->AudioDevices();
        auto found = std::find_if(Devices.begin(), Devices.end(),
                                  [&](const TOutputDevice& device) { return device.Name == name; });
        return found == Devices.end() ? nullptr : &*found;
    }

    // Until the engine has told of a change and `done` holds, or five seconds have passed.
    template <class TDone> bool WaitForChange(TDone done) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        std::unique_lock lock(Lock);
        for (;;) {
            const int seen = Notices;
            lock.unlock();
            if (seen > 0 && done())
                return true;
            lock.lock();
            if (!Signal.wait_until(lock, deadline, [&] { return Notices != seen; }))
                return false;
        }
    }

    std::mutex Lock;
    std::condition_variable Signal;
    int Notices = 0;
    // The scheduling policy of the thread that told of the last change.
    int Policy = -1;
    std::vector<TOutputDevice> Devices;
    std::unique_ptr<TAudioEngine> Engine;
};

// Whether this process may move a thread to real-time priority, tried on a thread of its own.
bool RealTimeGranted() {
    bool granted = false;
    std::thread probe([&granted] {
        sched_param parameters{};
        parameters.sched_priority = sched_get_priority_min(SCHED_RR);
        granted = pthread_setschedparam(pthread_self(), SCHED_RR, &parameters) == 0;
    });
    probe.join();
    return granted;
}

} // namespace

// The sound server's thread, which feeds the streams and tells of output changes, runs at
// real-time priority where the system grants it.
TEST_F(PulseOutputNames, TheServerThreadRunsAtRealTimePriorityWhereGranted) {
    if (!RealTimeGranted())
        GTEST_SKIP() << "real-time priority is not granted to this process";
    StartEngine();
    TNamedSink sink("trelmo_monitor_desk", "Monitor Desk");
    ASSERT_TRUE(sink.Loaded());
    ASSERT_TRUE(WaitForChange([&] { return Named("Monitor Desk") != nullptr; }));
    std::lock_guard lock(Lock);
    EXPECT_EQ(Policy, SCHED_RR);
}

TEST_F(PulseOutputNames, OutputsAreNamedByTheServerAndKeepTheirNumbersAsTheyComeAndGo) {
    TNamedSink stage("trelmo_stage", "Stage Left");
    TNamedSink usb("trelmo_usb", "USB Audio Interface");
    ASSERT_TRUE(stage.Loaded() && usb.Loaded());
    StartEngine();
    const TOutputDevice* found = Named("Stage Left");
    ASSERT_NE(found, nullptr);
    const uint32_t stageNumber = found->Number;
    EXPECT_TRUE(found->Present);
    ASSERT_NE(Named("USB Audio Interface"), nullptr);
    EXPECT_EQ(Named("USB Audio Interface")->Number, stageNumber + 1);
    EXPECT_EQ(Devices.front().Number, 1u);

    // Plugged in while running: the next number, and the engine says so.
    TNamedSink headphones("trelmo_phones", "Headphones");
    ASSERT_TRUE(headphones.Loaded());
    ASSERT_TRUE(WaitForChange([&] { return Named("Headphones") != nullptr; }));
    EXPECT_EQ(Named("Headphones")->Number, static_cast<uint32_t>(Devices.size()));
    EXPECT_TRUE(Named("Headphones")->Present);

    // Unplugged: the number stays, marked absent, and no other output moves.
    usb.Unload();
    ASSERT_TRUE(WaitForChange([&] {
        const TOutputDevice* gone = Named("USB Audio Interface");
        return gone && !gone->Present;
    }));
    EXPECT_EQ(Named("USB Audio Interface")->Number, stageNumber + 1);
    EXPECT_EQ(Named("Stage Left")->Number, stageNumber);
    EXPECT_FALSE(Engine->AudioGetDeviceInfo(stageNumber + 1, nullptr));
    EXPECT_TRUE(Engine->AudioGetDeviceInfo(stageNumber + 2, nullptr));

    // Plugged in again: the same number as before.
    TNamedSink again("trelmo_usb", "USB Audio Interface");
    ASSERT_TRUE(WaitForChange([&] {
        const TOutputDevice* back = Named("USB Audio Interface");
        return back && back->Present;
    }));
    EXPECT_EQ(Named("USB Audio Interface")->Number, stageNumber + 1);
}
