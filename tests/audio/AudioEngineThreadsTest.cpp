#include "TAudioEngine.h"
#include "TOfflineOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Where the engine's worker raised an end sync: its scheduling policy.
struct TSyncSeen {
    std::atomic<bool> Raised{false};
    std::atomic<int> Policy{-1};
};

void RecordPolicy(HSYNC, HSTREAM, uint32_t, void* user) {
    auto& seen = *static_cast<TSyncSeen*>(user);
    seen.Policy = sched_getscheduler(0);
    seen.Raised = true;
}

// The decode worker reads files and runs the decoder: it keeps the normal priority even where
// real-time priority would be granted (as root).
TEST(AudioEngineThreads, TheDecodeWorkerRunsAtNormalPriority) {
    TTempDir dir;
    WriteFloatWav(dir / "short.wav", 1, 44100, Sine(440, 44100, 2000));
    auto output = std::make_unique<TOfflineOutput>();
    TOfflineOutput& offline = *output;
    TAudioEngine engine(std::move(output));
    const HSTREAM handle =
        engine.AudioStreamCreateFile(false, (dir / "short.wav").string(), 0, 0, 0);
    ASSERT_NE(handle, 0u);
    TSyncSeen seen;
    ASSERT_NE(engine.AudioChannelSetSync(handle, AUDIO_SYNC_END, 0, RecordPolicy, &seen), 0u);
    ASSERT_TRUE(engine.AudioChannelPlay(handle, true));
    std::vector<float> block(1000 * 2);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (offline.Render(*engine.Stream(handle), 1000, block.data()) == 1000)
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    while (!seen.Raised) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no end sync from the worker";
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(seen.Policy, SCHED_OTHER);
}

} // namespace

namespace {

// An output whose own thread tells of a device change and wakes the engine up to the moment it
// is stopped, as the sound server's thread can: here, in its destructor.
class TLastWordsOutput : public TOfflineOutput {
public:
    ~TLastWordsOutput() override {
        DevicesChanged();
        Wake();
    }
};

TEST(AudioEngineThreads, TheOutputIsStoppedBeforeWhatItCallsGoes) {
    int changes = 0;
    {
        TAudioEngine engine(std::make_unique<TLastWordsOutput>());
        // Big enough that the callback's state lives on the heap, where a use after it is gone
        // is caught.
        const std::string label(64, 'x');
        engine.SetOnDevicesChanged([&changes, label] { changes += !label.empty(); });
    }
    EXPECT_EQ(changes, 1);
}

} // namespace
