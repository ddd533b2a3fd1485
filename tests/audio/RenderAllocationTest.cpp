#include "TAudioEngine.h"
#include "TAudioStream.h"
#include "TOfflineMixOutput.h"
#include "TOfflineOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// From the sanitizers' allocator interface; its header is not installed with every compiler.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void*));
#define TRELMO_MALLOC_HOOKS 1
#endif

#include <atomic>

namespace {

thread_local bool t_counting = false;
std::atomic<int> g_allocations{0};

[[maybe_unused]] void CountMalloc(const volatile void*, size_t) {
    if (t_counting)
        ++g_allocations;
}

[[maybe_unused]] void IgnoreFree(const volatile void*) {}

} // namespace

// The audio callback's work, Render, allocates nothing once the stream runs: not while
// playing, not when its gains change, not at an underrun, not at the end of the file.
TEST(RenderAllocation, RenderAllocatesNothingAfterWarmUp) {
#ifndef TRELMO_MALLOC_HOOKS
    GTEST_SKIP() << "allocation hooks need a sanitizer build";
#else
    static bool installed = __sanitizer_install_malloc_and_free_hooks(CountMalloc, IgnoreFree);
    ASSERT_TRUE(installed);
    TTempDir dir;
    WriteFloatWav(dir / "tone.wav", 2, 48000, OnChannel(Sine(440, 48000, 48000), 2, 0));
    auto output = std::make_unique<TOfflineOutput>();
    TOfflineOutput& offline = *output;
    TAudioEngine engine(std::move(output), false);
    const HSTREAM handle =
        engine.AudioStreamCreateFile(false, (dir / "tone.wav").string(), 0, 0, 0);
    ASSERT_NE(handle, 0u);
    engine.AudioChannelSetAttribute(handle, AUDIO_ATTRIB_FREQ, 52000);
    ASSERT_TRUE(engine.AudioChannelPlay(handle, false));
    TAudioStream& stream = *engine.Stream(handle);
    std::vector<float> block(2048);
    size_t rendered = 0;
    int allocations = 0;
    for (int pull = 0; pull < 200; ++pull) {
        if (pull % 30 == 0)
            engine.Service();
        engine.AudioChannelSetAttribute(handle, AUDIO_ATTRIB_PAN, (pull % 21 - 10) / 10.0f);
        g_allocations = 0;
        t_counting = true;
        rendered += offline.Render(stream, 1024, block.data());
        t_counting = false;
        allocations += g_allocations;
    }
    EXPECT_GT(rendered, 40000u);
    EXPECT_GT(stream.Underruns, 0u) << "the pulls outran the decoding at least once";
    EXPECT_EQ(allocations, 0);
#endif
}

// The mix of an output allocates nothing either: not while many cues play, not when one starts
// or stops, not when gains change and what is queued is rendered again.
TEST(RenderAllocation, MixingAllocatesNothingAfterWarmUp) {
#ifndef TRELMO_MALLOC_HOOKS
    GTEST_SKIP() << "allocation hooks need a sanitizer build";
#else
    static bool installed = __sanitizer_install_malloc_and_free_hooks(CountMalloc, IgnoreFree);
    ASSERT_TRUE(installed);
    TTempDir dir;
    WriteFloatWav(dir / "tone.wav", 2, 48000, OnChannel(Sine(440, 48000, 48000), 2, 0));
    auto output = std::make_unique<TOfflineMixOutput>(1, 4410);
    TOfflineMixOutput& offline = *output;
    TAudioEngine engine(std::move(output), false);
    std::vector<HSTREAM> handles;
    for (int i = 0; i < 16; ++i) {
        handles.push_back(engine.AudioStreamCreateFile(false, (dir / "tone.wav").string(), 0, 0,
                                                       AUDIO_SAMPLE_LOOP));
        ASSERT_NE(handles.back(), 0u);
        ASSERT_TRUE(engine.AudioChannelPlay(handles.back(), false));
    }
    std::vector<float> block(2048);
    size_t taken = 0;
    int allocations = 0;
    for (int pull = 0; pull < 200; ++pull) {
        engine.Service();
        const HSTREAM changed = handles[static_cast<size_t>(pull) % handles.size()];
        engine.AudioChannelSetAttribute(changed, AUDIO_ATTRIB_PAN, (pull % 21 - 10) / 10.0f);
        if (pull % 40 == 20)
            engine.AudioChannelStop(changed);
        else if (pull % 40 == 39)
            engine.AudioChannelPlay(changed, false);
        g_allocations = 0;
        t_counting = true;
        taken += offline.Take(1, 1024, block.data());
        t_counting = false;
        allocations += pull > 0 ? g_allocations.load() : 0;
    }
    EXPECT_GT(taken, 150000u);
    EXPECT_EQ(allocations, 0);
#endif
}
