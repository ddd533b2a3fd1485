#include "TAudioEngine.h"
#include "TMonitorRecorder.h"
#include "TPulseOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int Rate = 44100;

// Interleaved stereo, both sides carrying `signal`.
std::vector<float> Both(const std::vector<float>& signal) {
    std::vector<float> stereo(signal.size() * 2);
    for (size_t i = 0; i < signal.size(); ++i)
        stereo[i * 2] = stereo[i * 2 + 1] = signal[i];
    return stereo;
}

// The amplitude of the sine at `hertz` in one side of interleaved stereo (Goertzel).
float Amplitude(const float* stereo, size_t frames, int side, double hertz) {
    const double step = 2 * std::numbers::pi * hertz / Rate;
    double real = 0;
    double imaginary = 0;
    for (size_t i = 0; i < frames; ++i) {
        const double sample = stereo[i * 2 + static_cast<size_t>(side)];
        real += sample * std::cos(step * static_cast<double>(i));
        imaginary -= sample * std::sin(step * static_cast<double>(i));
    }
    return static_cast<float>(2 * std::hypot(real, imaginary) / static_cast<double>(frames));
}

// The median over tenths of a second: one hole or jump (a slow machine) spoils one tenth only.
float MedianAmplitude(const std::vector<float>& stereo, int side, double hertz) {
    constexpr size_t Tenth = Rate / 10;
    std::vector<float> amplitudes;
    for (size_t at = 0; (at + Tenth) * 2 <= stereo.size(); at += Tenth)
        amplitudes.push_back(Amplitude(stereo.data() + at * 2, Tenth, side, hertz));
    std::nth_element(amplitudes.begin(), amplitudes.begin() + amplitudes.size() / 2,
                     amplitudes.end());
    return amplitudes[amplitudes.size() / 2];
}

// The first frame whose sample on `side` is above `level`.
size_t FirstAbove(const std::vector<float>& stereo, int side, float level) {
    for (size_t frame = 0; frame * 2 < stereo.size(); ++frame)
        if (stereo[frame * 2 + static_cast<size_t>(side)] > level)
            return frame;
    return stereo.size() / 2;
}

// Cues mixed on the real sound server's outputs; skipped where no server can be reached.
class PulseMix : public ::testing::Test {
protected:
    void SetUp() override {
        Engine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
        if (!Engine->AudioGetDeviceInfo(2, nullptr))
            GTEST_SKIP() << "no sound server with two outputs: " << Engine->NoDeviceReason();
    }

    HSTREAM Open(const std::string& name, const std::vector<float>& samples, uint32_t device,
                 bool loop) {
        WriteFloatWav(Dir / name, 2, Rate, samples);
        Engine->AudioSetDevice(device);
        const HSTREAM handle = Engine->AudioStreamCreateFile(false, (Dir / name).string(), 0, 0,
                                                             loop ? AUDIO_SAMPLE_LOOP : 0);
        EXPECT_NE(handle, 0u) << name;
        return handle;
    }

    TTempDir Dir;
    std::unique_ptr<TAudioEngine> Engine;
};

} // namespace

// Twice the server's own limit of streams per output, each cue its own frequency (a multiple
// of 10 Hz, whole periods in a tenth of a second): every one of them is found on the output's
// monitor, at its level.
TEST_F(PulseMix, SixtyFourCuesOnOneOutputAreAllHeard) {
    constexpr int Count = 64;
    constexpr float Volume = 0.02f;
    constexpr float Level = 0.35f * Volume;
    const auto hertz = [](int cue) { return 300.0 + 40.0 * cue; };
    TMonitorRecorder out1("out1.monitor", 20000);
    ASSERT_TRUE(out1.Start());
    std::vector<HSTREAM> cues;
    for (int cue = 0; cue < Count; ++cue) {
        const std::string name = "tone" + std::to_string(cue) + ".wav";
        cues.push_back(Open(name, Both(Sine(hertz(cue), Rate, Rate, 0.35f)), 1, true));
        Engine->AudioChannelSetAttribute(cues.back(), AUDIO_ATTRIB_VOL, Volume);
        ASSERT_TRUE(Engine->AudioChannelPlay(cues.back(), false)) << "cue " << cue;
    }
    const auto since = TClock::now() + 300ms;
    ASSERT_TRUE(out1.WaitUntilRecorded(since + 1200ms, 10s));
    const std::vector<float> heard = out1.SoundFrom(since, Level / 4, Rate);
    ASSERT_EQ(heard.size(), size_t{Rate} * 2);
    for (int cue = 0; cue < Count; ++cue) {
        SCOPED_TRACE(testing::Message() << "cue " << cue << " at " << hertz(cue) << " Hz");
        EXPECT_NEAR(MedianAmplitude(heard, 0, hertz(cue)), Level, Level / 5);
        EXPECT_NEAR(MedianAmplitude(heard, 1, hertz(cue)), Level, Level / 5);
        EXPECT_LT(MedianAmplitude(heard, 0, hertz(cue) + 20), Level / 10) << "between two cues";
    }
    for (HSTREAM cue : cues)
        Engine->AudioChannelStop(cue);
}

// Four cues started by one action, two on each output: on each output they begin on the same
// frame. (How far apart the two outputs begin is measured in bench/.)
TEST_F(PulseMix, AGroupOfFourOnTwoOutputsStartsTogether) {
    const std::vector<float> level(Rate / 2, 0.25f);
    TMonitorRecorder out1("out1.monitor");
    TMonitorRecorder out2("out2.monitor");
    ASSERT_TRUE(out1.Start());
    ASSERT_TRUE(out2.Start());
    const HSTREAM cues[] = {
        Open("l1.wav", OnChannel(level, 2, 0), 1, false),
        Open("r1.wav", OnChannel(level, 2, 1), 1, false),
        Open("l2.wav", OnChannel(level, 2, 0), 2, false),
        Open("r2.wav", OnChannel(level, 2, 1), 2, false),
    };
    const auto start = TClock::now();
    Engine->AudioBeginStarts();
    for (HSTREAM cue : cues)
        ASSERT_TRUE(Engine->AudioChannelPlay(cue, false));
    Engine->AudioCommitStarts();
    ASSERT_TRUE(out1.WaitForSound(start, 0.1f, 3s));
    ASSERT_TRUE(out2.WaitForSound(start, 0.1f, 3s));
    for (TMonitorRecorder* monitor : {&out1, &out2}) {
        const std::vector<float> heard = monitor->SoundFrom(start, 0.1f, Rate / 10);
        ASSERT_FALSE(heard.empty());
        EXPECT_EQ(FirstAbove(heard, 0, 0.1f), FirstAbove(heard, 1, 0.1f));
    }
}
