#include "TAudioEngine.h"
#include "TAudioStream.h"
#include "TCue.h"
#include "TOfflineOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numeric>

namespace {

struct TSyncCall {
    HSTREAM Stream;
    uint32_t Data;
    std::string UID;
};
std::vector<TSyncCall> g_syncs;

void RecordSync(HSYNC, HSTREAM stream, uint32_t data, void* user) {
    g_syncs.push_back({stream, data, *static_cast<const std::string*>(user)});
}

// A cue playing through the engine on an offline target; the test renders by hand.
class OfflineRender : public ::testing::Test {
protected:
    OfflineRender() {
        auto output = std::make_unique<TOfflineOutput>();
        FOutput = output.get();
        FEngine = std::make_unique<TAudioEngine>(std::move(output), false);
        SetAudioLibrary(FEngine.get());
        SetCueEndSyncProc(RecordSync);
        g_syncs.clear();
        Cue.UID = "7";
    }
    ~OfflineRender() override {
        Cue.Stop();
        SetAudioLibrary(nullptr);
        SetCueEndSyncProc(nullptr);
    }

    // Plays `samples` (interleaved, `channels` wide) from a float WAV file at `rate`.
    void PlayFile(int channels, int rate, const std::vector<float>& samples) {
        const auto path = Dir / "sound.wav";
        WriteFloatWav(path, channels, rate, samples);
        Cue.FileName = path.string();
        ASSERT_TRUE(Cue.Play());
    }

    // Renders up to `frames` frames as the server would pull them, the engine servicing the
    // stream between pulls; stops early at the end of the file.
    std::vector<float> Render(size_t frames, size_t pull = 1000) {
        std::vector<float> out;
        std::vector<float> block(pull * 2);
        while (out.size() / 2 < frames) {
            FEngine->Service();
            TAudioStream* stream = FEngine->Stream(Cue.Stream());
            const size_t wanted = std::min(pull, frames - out.size() / 2);
            const size_t got = FOutput->Render(*stream, wanted, block.data());
            out.insert(out.end(), block.begin(), block.begin() + static_cast<long>(got) * 2);
            if (got < wanted)
                break;
        }
        FEngine->Service();
        return out;
    }

    TTempDir Dir;
    TCue Cue;
    TOfflineOutput* FOutput = nullptr;
    std::unique_ptr<TAudioEngine> FEngine;
};

std::vector<float> Ramp(size_t frames) {
    std::vector<float> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<float>(i + 1) / static_cast<float>(frames + 1);
    return samples;
}

std::vector<float> Channel(const std::vector<float>& stereo, int channel) {
    std::vector<float> out(stereo.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = stereo[i * 2 + static_cast<size_t>(channel)];
    return out;
}

std::vector<float> Scaled(const std::vector<float>& samples, float gain) {
    std::vector<float> out(samples);
    for (float& s : out)
        s *= gain;
    return out;
}

// Rising zero crossings per second of a sine: its frequency.
double Frequency(const std::vector<float>& mono, int rate) {
    int rising = 0;
    for (size_t i = 1; i < mono.size(); ++i)
        rising += mono[i - 1] < 0 && mono[i] >= 0;
    return rising * static_cast<double>(rate) / static_cast<double>(mono.size());
}

} // namespace

TEST_F(OfflineRender, VolumeAndPanScaleEachSideExactly) {
    struct Case {
        int VolumeDB, Pan;
        float Left, Right;
    };
    const Case cases[] = {
        {0, 0, 1.0f, 1.0f},  {-30, 0, 0.5f, 0.5f}, {-60, 0, 0.0f, 0.0f},   {0, -100, 1.0f, 0.0f},
        {0, 50, 0.5f, 1.0f}, {0, 100, 0.0f, 1.0f}, {-30, 50, 0.25f, 0.5f},
    };
    const std::vector<float> left = Sine(440, 44100, 4410);
    const std::vector<float> right = Sine(660, 44100, 4410);
    std::vector<float> stereo(left.size() * 2);
    for (size_t i = 0; i < left.size(); ++i) {
        stereo[i * 2] = left[i];
        stereo[i * 2 + 1] = right[i];
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dB " << c.VolumeDB << " pan " << c.Pan);
        Cue.Stop();
        Cue.SetVolumeDB(c.VolumeDB);
        Cue.SetPan(c.Pan);
        PlayFile(2, 44100, stereo);
        const std::vector<float> out = Render(10000);
        EXPECT_EQ(Channel(out, 0), Scaled(left, c.Left));
        EXPECT_EQ(Channel(out, 1), Scaled(right, c.Right));
    }
}

TEST_F(OfflineRender, MonoPlaysOnBothSidesAndFiveOneIsMixedDown) {
    const std::vector<float> signal = Sine(440, 44100, 4410);
    struct Case {
        int Channels, Channel;
        float Left, Right;
    };
    const Case cases[] = {
        {1, 0, 1.0f, 1.0f},                                                   // mono
        {6, 0, 1.0f, 0.0f},                                                   // front left
        {6, 1, 0.0f, 1.0f},                                                   // front right
        {6, 2, static_cast<float>(M_SQRT1_2), static_cast<float>(M_SQRT1_2)}, // centre
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Channels << " channels, channel " << c.Channel);
        Cue.Stop();
        PlayFile(c.Channels, 44100, OnChannel(signal, c.Channels, c.Channel));
        const std::vector<float> out = Render(10000);
        ASSERT_EQ(out.size(), signal.size() * 2);
        const std::vector<float> left = Channel(out, 0);
        const std::vector<float> right = Channel(out, 1);
        for (size_t i = 0; i < signal.size(); ++i) {
            ASSERT_NEAR(left[i], signal[i] * c.Left, 1e-6) << "frame " << i;
            ASSERT_NEAR(right[i], signal[i] * c.Right, 1e-6) << "frame " << i;
        }
    }
}

TEST_F(OfflineRender, PitchChangesSpeedAndFrequencyTogether) {
    struct Case {
        int Rate, Pitch;
        double PlayRate;
    };
    const Case cases[] = {
        {44100, 125, 55125}, {44100, 75, 33075}, {48000, 100, 48000}, {22050, 125, 27562.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Rate << " Hz at pitch " << c.Pitch);
        Cue.Stop();
        Cue.SetPitch(c.Pitch);
        const size_t frames = static_cast<size_t>(c.Rate);
        PlayFile(1, c.Rate, Sine(1000, c.Rate, frames));
        EXPECT_EQ(Cue.Frequency(), static_cast<float>(c.Rate));
        float rate = 0;
        FEngine->AudioChannelGetAttribute(Cue.Stream(), AUDIO_ATTRIB_FREQ, &rate);
        EXPECT_NEAR(rate, c.PlayRate, 0.01);
        const std::vector<float> out = Render(100000);
        const double seconds = static_cast<double>(frames) / c.PlayRate;
        EXPECT_NEAR(static_cast<double>(out.size() / 2), seconds * 44100, 64);
        EXPECT_NEAR(Frequency(Channel(out, 0), 44100), 1000.0 * c.PlayRate / c.Rate, 10);
    }
}

TEST_F(OfflineRender, StreamEndsRightAfterItsLastSample) {
    const std::vector<float> samples = Ramp(10000);
    PlayFile(1, 44100, samples);
    std::vector<float> out = Render(9999);
    EXPECT_TRUE(g_syncs.empty());
    EXPECT_EQ(Cue.State(), csPlaying);
    const std::vector<float> rest = Render(1000);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(Channel(out, 0), samples);
    ASSERT_EQ(g_syncs.size(), 1u);
    EXPECT_EQ(g_syncs[0].Stream, Cue.Stream());
    EXPECT_EQ(g_syncs[0].Data, 0u);
    EXPECT_EQ(g_syncs[0].UID, "7");
    FEngine->Service();
    EXPECT_EQ(g_syncs.size(), 1u);
}

TEST_F(OfflineRender, LoopRepeatsTheFileWithoutAGapAndSignalsEachPass) {
    const std::vector<float> samples = Ramp(3000);
    Cue.Loop = true;
    PlayFile(1, 44100, samples);
    const std::vector<float> out = Channel(Render(3 * 3000 + 1500, 700), 0);
    ASSERT_EQ(out.size(), 3u * 3000 + 1500);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], samples[i % samples.size()]) << "frame " << i;
    EXPECT_EQ(g_syncs.size(), 3u);
}

TEST_F(OfflineRender, LoopOfAFileLongerThanTheRingStaysSeamless) {
    const std::vector<float> samples = Ramp(30000);
    Cue.Loop = true;
    PlayFile(1, 44100, samples);
    const std::vector<float> out = Channel(Render(65000, 4000), 0);
    ASSERT_EQ(out.size(), 65000u);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], samples[i % samples.size()]) << "frame " << i;
    EXPECT_EQ(g_syncs.size(), 2u);
}

TEST_F(OfflineRender, PauseAndResumeContinueAtTheSamePosition) {
    const std::vector<float> samples = Ramp(8000);
    PlayFile(1, 44100, samples);
    Cue.SetVolumeDB(-30);
    std::vector<float> out = Render(3000);
    ASSERT_TRUE(Cue.Pause());
    EXPECT_TRUE(Render(2000).empty());
    ASSERT_TRUE(Cue.Play());
    EXPECT_EQ(Cue.State(), csPlaying);
    const std::vector<float> rest = Render(10000);
    out.insert(out.end(), rest.begin(), rest.end());
    EXPECT_EQ(Channel(out, 0), samples) << "the volume changed while paused must not apply";
}

TEST_F(OfflineRender, StopThenPlayStartsOverWithANewStream) {
    const std::vector<float> samples = Ramp(8000);
    PlayFile(1, 44100, samples);
    Render(3000);
    const HSTREAM first = Cue.Stream();
    ASSERT_TRUE(Cue.Stop());
    FEngine->Service();
    EXPECT_TRUE(g_syncs.empty());
    ASSERT_TRUE(Cue.Play());
    EXPECT_NE(Cue.Stream(), first);
    EXPECT_EQ(FEngine->Stream(first), nullptr);
    EXPECT_EQ(Channel(Render(10000), 0), samples);
}

TEST_F(OfflineRender, UnplayableFilesAreNotOpened) {
    struct Case {
        std::string Name, Content;
    };
    std::string wavHeader;
    {
        WriteFloatWav(Dir / "good.wav", 1, 44100, Ramp(1000));
        std::ifstream in(Dir / "good.wav", std::ios::binary);
        wavHeader.assign(std::istreambuf_iterator<char>(in), {});
        wavHeader.resize(30);
    }
    const Case cases[] = {
        {"empty.wav", ""},
        {"text.mp3", "This is not a sound file at all, only some words.\n"},
        {"noise.ogg", std::string(4096, '\x5a')},
        {"header.wav", wavHeader},
        {"fake.flac", std::string("fLaC\x00\x00\x00\x22garbage", 15)},
        {"fake.wma", std::string(100, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::ofstream(Dir / c.Name, std::ios::binary) << c.Content;
        Cue.FileName = (Dir / c.Name).string();
        EXPECT_FALSE(Cue.Play());
        EXPECT_EQ(Cue.Stream(), 0u);
        EXPECT_EQ(Cue.State(), csStopped);
    }
}

TEST_F(OfflineRender, MissingDeviceFallsBackToTheFirst) {
    EXPECT_FALSE(FEngine->AudioSetDevice(3));
    Cue.SetAudioChannel(3);
    PlayFile(1, 44100, Ramp(100));
    EXPECT_EQ(FEngine->Stream(Cue.Stream())->Device(), 1u);
    Cue.Stop();
    Cue.SetAudioChannel(2);
    PlayFile(1, 44100, Ramp(100));
    EXPECT_EQ(FEngine->Stream(Cue.Stream())->Device(), 2u);
}

TEST_F(OfflineRender, HandlesAreNeverReused) {
    PlayFile(1, 44100, Ramp(100));
    std::vector<HSTREAM> seen;
    for (int i = 0; i < 5; ++i) {
        Cue.Stop();
        ASSERT_TRUE(Cue.Play());
        EXPECT_NE(Cue.Stream(), 0u);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), Cue.Stream()), 0);
        seen.push_back(Cue.Stream());
    }
}
