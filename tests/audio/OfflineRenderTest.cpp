#include "TAudioEngine.h"
#include "TAudioStream.h"
#include "TCue.h"
#include "TOfflineOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
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

    // From here on the output holds `frames` frames rendered ahead of what is heard, as the
    // sound server does; before the first PlayFile.
    void QueueOnOutput(size_t frames) {
        auto output = std::make_unique<TOfflineOutput>(2, frames);
        FOutput = output.get();
        SetAudioLibrary(nullptr);
        FEngine = std::make_unique<TAudioEngine>(std::move(output), false);
        SetAudioLibrary(FEngine.get());
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

// The frames after the start's ramp.
std::vector<float> AfterRamp(const std::vector<float>& mono) {
    const size_t skip = std::min<size_t>(TAudioStream::RampFrames, mono.size());
    return {mono.begin() + static_cast<long>(skip), mono.end()};
}

// The largest step from one sample to the next, silence before the first.
float LargestStep(const std::vector<float>& mono) {
    float largest = 0;
    float last = 0;
    for (float sample : mono) {
        largest = std::max(largest, std::abs(sample - last));
        last = sample;
    }
    return largest;
}

std::vector<float> Constant(size_t frames, float level) {
    return std::vector<float>(frames, level);
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
        EXPECT_EQ(AfterRamp(Channel(out, 0)), AfterRamp(Scaled(left, c.Left)));
        EXPECT_EQ(AfterRamp(Channel(out, 1)), AfterRamp(Scaled(right, c.Right)));
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
        for (size_t i = TAudioStream::RampFrames; i < signal.size(); ++i) {
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
    EXPECT_EQ(AfterRamp(Channel(out, 0)), AfterRamp(samples));
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
    for (size_t i = TAudioStream::RampFrames; i < out.size(); ++i)
        ASSERT_EQ(out[i], samples[i % samples.size()]) << "frame " << i;
    EXPECT_EQ(g_syncs.size(), 3u);
}

TEST_F(OfflineRender, LoopOfAFileLongerThanTheRingStaysSeamless) {
    const std::vector<float> samples = Ramp(30000);
    Cue.Loop = true;
    PlayFile(1, 44100, samples);
    const std::vector<float> out = Channel(Render(65000, 4000), 0);
    ASSERT_EQ(out.size(), 65000u);
    for (size_t i = TAudioStream::RampFrames; i < out.size(); ++i)
        ASSERT_EQ(out[i], samples[i % samples.size()]) << "frame " << i;
    EXPECT_EQ(g_syncs.size(), 2u);
}

// The pause ramps down over the frames after it and then holds the file's position in silence;
// the resume ramps up from there.
TEST_F(OfflineRender, PauseAndResumeContinueAtTheSamePosition) {
    constexpr size_t ramp = TAudioStream::RampFrames;
    const std::vector<float> samples = Constant(8000, 0.5f);
    PlayFile(1, 44100, samples);
    Cue.SetVolumeDB(-30);
    const std::vector<float> before = Channel(Render(3000), 0);
    ASSERT_TRUE(Cue.Pause());
    const std::vector<float> paused = Channel(Render(2000), 0);
    ASSERT_EQ(paused.size(), 2000u);
    for (size_t i = 1; i < ramp; ++i)
        ASSERT_LT(paused[i], paused[i - 1]) << "frame " << i;
    EXPECT_EQ(paused[ramp - 1], 0.0f);
    EXPECT_EQ(std::count(paused.begin() + ramp, paused.end(), 0.0f),
              2000 - static_cast<long>(ramp));
    ASSERT_TRUE(Cue.Play());
    EXPECT_EQ(Cue.State(), csPlaying);
    const std::vector<float> resumed = Channel(Render(10000), 0);
    ASSERT_EQ(before.size() + ramp + resumed.size(), samples.size())
        << "the pause's ramp plays on; no other frame is lost or repeated";
    for (size_t i = 1; i < ramp; ++i)
        ASSERT_GT(resumed[i], resumed[i - 1]) << "frame " << i;
    EXPECT_EQ(AfterRamp(resumed), AfterRamp(std::vector<float>(resumed.size(), 0.5f)))
        << "the volume changed while paused must not apply";
}

// With a fifth of a second queued on the output, the whole file has been rendered, and its
// drain asked for, before its last frames are heard. A pause there and a resume, however much
// later, still play every frame that was left, to the file's last.
TEST_F(OfflineRender, APauseNearTheEndKeepsTheTailHoweverLongItLasts) {
    using namespace std::chrono_literals;
    constexpr size_t ramp = TAudioStream::RampFrames;
    constexpr size_t length = 44100;
    QueueOnOutput(44100 / 5);
    const std::vector<float> samples = Ramp(length);
    struct Case {
        size_t LeftAtPause;
        std::chrono::milliseconds Pause;
    };
    const Case cases[] = {
        {4410, 3000ms}, {882, 3000ms}, {8000, 3000ms}, {4410, 500ms}, {4410, 0ms}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.LeftAtPause << " frames left, paused for " << c.Pause.count() << " ms");
        Cue.StopNow();
        g_syncs.clear();
        PlayFile(1, 44100, samples);
        ASSERT_EQ(Render(length - c.LeftAtPause).size(), (length - c.LeftAtPause) * 2);
        ASSERT_TRUE(Cue.Pause());
        const std::vector<float> paused = Channel(Render(2000), 0);
        ASSERT_EQ(std::count(paused.begin() + ramp, paused.end(), 0.0f), 2000 - long{ramp});
        FOutput->Advance(c.Pause);
        FEngine->Service();
        ASSERT_EQ(Cue.State(), csPaused);
        ASSERT_TRUE(Cue.Play());
        const std::vector<float> resumed = Channel(Render(length), 0);
        const size_t left = c.LeftAtPause - ramp;
        ASSERT_EQ(resumed.size(), left) << "every frame left after the pause's ramp is heard";
        EXPECT_EQ(AfterRamp(resumed), AfterRamp(std::vector<float>(
                                          samples.end() - static_cast<long>(left), samples.end())));
        ASSERT_EQ(g_syncs.size(), 1u);
        EXPECT_EQ(g_syncs[0].Data, AUDIO_END_FILE);
    }
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
    EXPECT_EQ(AfterRamp(Channel(Render(10000), 0)), AfterRamp(samples));
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

// A fade is straight in decibels: the level in dB at a share of the fade, above the floor.
double FadeDB(double share) {
    constexpr double knee = 0.05;
    return TGainEnvelope::FloorDB * (1.0 - (share - knee) / (1.0 - knee));
}

TEST_F(OfflineRender, FadeInReachesFullLevelAtItsLastFrame) {
    struct Case {
        int Tenths;
        size_t Frames;
    };
    const Case cases[] = {{1, 4410}, {10, 44100}, {15, 66150}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Tenths << " tenths");
        Cue.Stop();
        Cue.SetFadeIn(c.Tenths);
        PlayFile(1, 44100, Constant(c.Frames + 5000, 0.5f));
        const std::vector<float> out = Channel(Render(c.Frames + 5000), 0);
        ASSERT_EQ(out.size(), c.Frames + 5000);
        EXPECT_GT(out[0], 0.0f);
        for (size_t i = 1; i < c.Frames; ++i)
            ASSERT_GT(out[i], out[i - 1]) << "frame " << i;
        EXPECT_LT(out[c.Frames - 2], 0.5f);
        for (size_t i = c.Frames - 1; i < out.size(); ++i)
            ASSERT_EQ(out[i], 0.5f) << "frame " << i;
        for (double share : {0.25, 0.5, 0.75}) {
            const auto frame = static_cast<size_t>(share * static_cast<double>(c.Frames)) - 1;
            EXPECT_NEAR(20 * std::log10(out[frame] / 0.5), FadeDB(share), 0.01) << share;
        }
    }
}

// After Stop, the cue plays on, marked as fading, until its fade-out has reached silence at its
// last frame; the end sync then tells that it faded out.
TEST_F(OfflineRender, FadeOutReachesSilenceAtItsLastFrameAndEndsTheStream) {
    constexpr size_t fade = 22050;
    Cue.SetFadeOut(5);
    PlayFile(1, 44100, Constant(100000, 0.5f));
    Render(10000);
    ASSERT_TRUE(Cue.Stop());
    EXPECT_EQ(Cue.State(), csPlaying);
    EXPECT_TRUE(Cue.Fading());
    EXPECT_FALSE(Cue.Pause()) << "a cue fading out is not paused";
    const std::vector<float> out = Channel(Render(50000), 0);
    ASSERT_EQ(out.size(), fade) << "nothing after the fade's last frame";
    EXPECT_LT(out[0], 0.5f);
    for (size_t i = 1; i < fade; ++i)
        ASSERT_LT(out[i], out[i - 1]) << "frame " << i;
    EXPECT_GT(out[fade - 2], 0.0f);
    EXPECT_EQ(out[fade - 1], 0.0f);
    EXPECT_NEAR(20 * std::log10(out[fade / 2 - 1] / 0.5), FadeDB(0.5), 0.01);
    ASSERT_EQ(g_syncs.size(), 1u);
    EXPECT_EQ(g_syncs[0].Data, AUDIO_END_FADED);
    EXPECT_TRUE(Cue.StopNow());
    EXPECT_EQ(Cue.State(), csStopped);
    EXPECT_FALSE(Cue.Fading());
}

// A second Stop during the fade, and a panic's fade over a cue's longer one, end it sooner; a
// panic never makes a shorter fade longer.
TEST_F(OfflineRender, AFadeUnderWayIsOnlyEverShortened) {
    struct Case {
        const char* Name;
        int FadeOut;
        std::function<void(TCue&)> Then;
        size_t Frames; // from the second call to silence
    };
    const Case cases[] = {
        {"second stop", 50, [](TCue& cue) { EXPECT_TRUE(cue.Stop()); }, TAudioStream::RampFrames},
        {"panic over a longer fade", 50, [](TCue& cue) { cue.FadeOutAndStop(10); }, 44100},
        {"panic over a shorter fade", 5, [](TCue& cue) { cue.FadeOutAndStop(10); }, 22050 - 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Cue.StopNow();
        g_syncs.clear();
        Cue.SetFadeOut(c.FadeOut);
        PlayFile(1, 44100, Constant(400000, 0.5f));
        Render(5000);
        ASSERT_TRUE(Cue.Stop());
        const std::vector<float> first = Channel(Render(1000), 0);
        c.Then(Cue);
        std::vector<float> out = Channel(Render(300000), 0);
        ASSERT_EQ(out.size(), c.Frames);
        out.insert(out.begin(), first.back());
        for (size_t i = 1; i < out.size(); ++i)
            ASSERT_LT(out[i], out[i - 1]) << "frame " << i;
        EXPECT_EQ(out.back(), 0.0f);
    }
}

// Every start, pause, resume and stop ramps: no step from one sample to the next is larger than
// the signal's own steps and the ramp's.
TEST_F(OfflineRender, StartPauseResumeAndStopDoNotClick) {
    const std::vector<float> signal = Sine(440, 44100, 44100, 1.0f);
    const float allowed = LargestStep(signal) + 1.0f / TAudioStream::RampFrames;
    struct Case {
        const char* Name;
        bool Pause, Resume, Stop;
    };
    const Case cases[] = {
        {"start", false, false, false},          {"pause", true, false, false},
        {"resume", true, true, false},           {"stop", false, false, true},
        {"stop after resume", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Cue.StopNow();
        PlayFile(1, 44100, signal);
        std::vector<float> out = Channel(Render(10013, 997), 0);
        const auto then = [&](size_t frames) {
            const std::vector<float> more = Channel(Render(frames, 997), 0);
            out.insert(out.end(), more.begin(), more.end());
        };
        if (c.Pause) {
            ASSERT_TRUE(Cue.Pause());
            then(2000);
        }
        if (c.Resume) {
            ASSERT_TRUE(Cue.Play());
            then(3001);
        }
        if (c.Pause && !c.Resume) {
            EXPECT_EQ(out.back(), 0.0f);
        }
        if (c.Stop) {
            ASSERT_TRUE(Cue.Stop());
            then(5000);
            EXPECT_LT(out.size(), 10013 + 2000 + 3001 + TAudioStream::RampFrames + 1);
            out.push_back(0.0f);
        }
        EXPECT_LE(LargestStep(out), allowed);
    }
}

TEST_F(OfflineRender, VolumeAndPanChangesGlide) {
    constexpr size_t ramp = TAudioStream::RampFrames;
    struct Case {
        uint32_t Attribute;
        float Value, Left, Right;
    };
    const Case cases[] = {{AUDIO_ATTRIB_VOL, 0.5f, 0.25f, 0.25f},
                          {AUDIO_ATTRIB_PAN, 1.0f, 0.0f, 0.5f},
                          {AUDIO_ATTRIB_VOL, 0.0f, 0.0f, 0.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "attribute " << c.Attribute << " to " << c.Value);
        Cue.StopNow();
        PlayFile(1, 44100, Constant(20000, 0.5f));
        Render(3000);
        FEngine->AudioChannelSetAttribute(Cue.Stream(), c.Attribute, c.Value);
        const std::vector<float> out = Render(3000);
        for (int side = 0; side < 2; ++side) {
            const std::vector<float> mono = Channel(out, side);
            const float target = side == 0 ? c.Left : c.Right;
            const float step = (0.5f - target) / ramp;
            float last = 0.5f;
            for (size_t i = 0; i < ramp; ++i) {
                ASSERT_NEAR(last - mono[i], step, 1e-5) << "side " << side << " frame " << i;
                last = mono[i];
            }
            for (size_t i = ramp; i < mono.size(); ++i)
                ASSERT_NEAR(mono[i], target, 1e-6) << "side " << side << " frame " << i;
        }
    }
}

// The sound server's queue is rendered again after a change: stepping back over frames rendered
// after, during and before a pause's silence renders the file from the frame stepped back to,
// with the moves of now beginning there.
TEST_F(OfflineRender, RenderingAgainAcrossAPauseResumesAtTheRightFrame) {
    constexpr size_t ramp = TAudioStream::RampFrames;
    const std::vector<float> samples = Ramp(40000);
    const auto rampedUp = [&](size_t first, size_t frames) {
        std::vector<float> expected(frames);
        for (size_t k = 0; k < frames; ++k)
            expected[k] = samples[first + k] *
                          (k < ramp ? static_cast<float>(k + 1) / static_cast<float>(ramp) : 1.0f);
        return expected;
    };
    const auto exact = [&](size_t first, size_t frames) {
        return std::vector<float>(samples.begin() + static_cast<long>(first),
                                  samples.begin() + static_cast<long>(first + frames));
    };
    struct Case {
        size_t Back;
        const char* Into;
        std::function<std::vector<float>(const std::vector<float>& original)> Expected;
    };
    const Case cases[] = {
        // 3000 played, the pause's ramp over 3000-3219, 1780 silent, the resume's ramp from
        // 3220, 280 more.
        {400, "the frames after the resume",
         [](const std::vector<float>& original) {
             return std::vector<float>(original.end() - 400, original.end());
         }},
        {1800, "the pause's silence", [&](const auto&) { return rampedUp(3220, 1800); }},
        {2900, "the frames before the pause", [&](const auto&) { return exact(2600, 2900); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Into);
        Cue.StopNow();
        PlayFile(1, 44100, samples);
        TAudioStream& stream = *FEngine->Stream(Cue.Stream());
        std::vector<float> original;
        bool end = false;
        const auto render = [&](size_t frames) {
            std::vector<float> block(2 * frames);
            EXPECT_EQ(stream.Render(frames, block.data(), end), frames);
            const std::vector<float> mono = Channel(block, 0);
            original.insert(original.end(), mono.begin(), mono.end());
            return mono;
        };
        render(3000);
        ASSERT_TRUE(Cue.Pause());
        render(2000);
        ASSERT_TRUE(Cue.Play());
        render(500);
        const std::vector<float> expected = c.Expected(original);
        ASSERT_EQ(stream.Rewind(c.Back), c.Back);
        EXPECT_EQ(render(c.Back), expected);
    }
}
