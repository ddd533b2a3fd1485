#include "TAudioEngine.h"
#include "TCue.h"
#include "TOfflineOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

namespace {

// A cue on an offline target: the test pulls frames as the server would.
class PlaybackProgress : public ::testing::Test {
protected:
    PlaybackProgress() {
        auto output = std::make_unique<TOfflineOutput>();
        FOutput = output.get();
        FEngine = std::make_unique<TAudioEngine>(std::move(output), false);
        SetAudioLibrary(FEngine.get());
    }
    ~PlaybackProgress() override {
        Cue.Stop();
        SetAudioLibrary(nullptr);
    }

    // A mono tone of `frames` frames at amplitude 0.5.
    void Play(size_t frames) {
        WriteFloatWav(Dir / "tone.wav", 1, 44100, Sine(441, 44100, frames));
        Cue.FileName = (Dir / "tone.wav").string();
        ASSERT_TRUE(Cue.Play());
    }

    void Pull(size_t frames) {
        std::vector<float> block(frames * 2);
        FEngine->Service();
        FOutput->Render(*FEngine->Stream(Cue.Stream()), frames, block.data());
        FEngine->Service();
    }

    std::optional<TAudioPosition> Position() {
        TAudioPosition position;
        if (!FEngine->AudioChannelGetPosition(Cue.Stream(), &position))
            return std::nullopt;
        return position;
    }

    TTempDir Dir;
    TCue Cue;
    TOfflineOutput* FOutput = nullptr;
    std::unique_ptr<TAudioEngine> FEngine;
};

} // namespace

TEST_F(PlaybackProgress, PositionFollowsTheFramesSentAndTheSpeedThePitch) {
    struct Case {
        int32_t Pitch;
        double Speed;
    };
    for (const Case c : {Case{100, 1.0}, Case{75, 0.75}, Case{125, 1.25}}) {
        SCOPED_TRACE(c.Pitch);
        Cue.SetPitch(c.Pitch);
        Play(44100);
        ASSERT_TRUE(Position().has_value());
        EXPECT_EQ(Position()->Seconds, 0.0);
        Pull(4410);
        Pull(4410);
        EXPECT_DOUBLE_EQ(Position()->Seconds, 0.2);
        EXPECT_NEAR(Position()->Speed, c.Speed, 1e-6);
        ASSERT_TRUE(Cue.Pause());
        EXPECT_DOUBLE_EQ(Position()->Seconds, 0.2) << "a paused cue keeps its place";
        ASSERT_TRUE(Cue.Stop());
        EXPECT_FALSE(Position().has_value()) << "a stopped cue has no place";
    }
}

TEST_F(PlaybackProgress, ALoopingCueCountsFromTheStartOfEachPass) {
    Cue.Loop = true;
    Play(4410);
    Pull(3000);
    EXPECT_DOUBLE_EQ(Position()->Seconds, 3000.0 / 44100);
    Pull(3000);
    EXPECT_DOUBLE_EQ(Position()->Seconds, (6000.0 - 4410) / 44100);
    Pull(4410);
    EXPECT_DOUBLE_EQ(Position()->Seconds, (10410.0 - 8820) / 44100);
}

TEST_F(PlaybackProgress, LevelIsThePeakSentSinceItWasLastAskedFor) {
    Cue.SetVolumeDB(-30);
    Play(44100);
    float peak = -1;
    Pull(2000);
    ASSERT_TRUE(FEngine->AudioChannelGetLevel(Cue.Stream(), &peak));
    EXPECT_NEAR(peak, 0.25f, 0.001f) << "amplitude 0.5 at half volume";
    ASSERT_TRUE(FEngine->AudioChannelGetLevel(Cue.Stream(), &peak));
    EXPECT_EQ(peak, 0.0f) << "nothing was sent since";
    Pull(2000);
    ASSERT_TRUE(Cue.Stop());
    EXPECT_FALSE(FEngine->AudioChannelGetLevel(Cue.Stream(), &peak));
}

// Each side's peak is that side's own: left-only audio gives the right side nothing, and the pan
// moves the level from one side to the other. The mono level is the louder side.
TEST_F(PlaybackProgress, LevelsAreThePeaksOfEachSide) {
    struct Case {
        const char* Name;
        float Left, Right;
        int32_t Pan;
        TAudioLevels Expected;
    };
    const Case cases[] = {{"left only", 0.5f, 0, 0, {0.5f, 0}},
                          {"right only", 0, 0.25f, 0, {0, 0.25f}},
                          {"both sides", 0.5f, 0.25f, 0, {0.5f, 0.25f}},
                          {"panned hard left", 0.5f, 0.5f, -100, {0.5f, 0}},
                          {"panned half right", 0.5f, 0.5f, 50, {0.25f, 0.5f}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<float> samples;
        for (size_t frame = 0; frame < 8820; ++frame) {
            const float sign = frame % 2 == 0 ? 1.0f : -1.0f;
            samples.push_back(sign * c.Left);
            samples.push_back(sign * c.Right);
        }
        WriteFloatWav(Dir / "sides.wav", 2, 44100, samples);
        Cue.FileName = (Dir / "sides.wav").string();
        Cue.SetPan(c.Pan);
        ASSERT_TRUE(Cue.Play());
        Pull(2000);
        TAudioLevels levels;
        ASSERT_TRUE(FEngine->AudioChannelGetLevels(Cue.Stream(), &levels));
        EXPECT_NEAR(levels.Left, c.Expected.Left, 1e-6f);
        EXPECT_NEAR(levels.Right, c.Expected.Right, 1e-6f);
        ASSERT_TRUE(FEngine->AudioChannelGetLevels(Cue.Stream(), &levels));
        EXPECT_EQ(levels.Left + levels.Right, 0.0f) << "nothing was sent since";
        Pull(2000);
        float peak = -1;
        ASSERT_TRUE(FEngine->AudioChannelGetLevel(Cue.Stream(), &peak));
        EXPECT_NEAR(peak, std::max(c.Expected.Left, c.Expected.Right), 1e-6f);
        ASSERT_TRUE(Cue.StopNow());
        EXPECT_FALSE(FEngine->AudioChannelGetLevels(Cue.Stream(), &levels));
    }
}
