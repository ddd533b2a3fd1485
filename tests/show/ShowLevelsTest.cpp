// The levels cues play at while the show runs: a live level for one playback, the master level
// for every cue, and the panic time.
#include "ShowFixture.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class ShowLevelsTest : public ShowControlTest {
protected:
    void TearDown() override {
        SetPlaybackLevels({});
        ShowControlTest::TearDown();
    }
    TCue& Cue(int32_t number) { return *Cues.Items(number - 1); }
    // The volume the engine was given last for the cue's stream; -1 when none.
    float VolumeOf(int32_t number) {
        const auto found = Audio.Volumes.find(Cue(number).Stream());
        return found == Audio.Volumes.end() ? -1.0f : found->second;
    }
};

} // namespace

TEST_F(ShowLevelsTest, ALiveLevelChangesThisPlaybackOnly) {
    TCue& cue = Cue(1);
    cue.SetVolumeDB(-10);
    Show.Start(TCueNumber(1));
    Show.SetLiveLevel(cue, -30);
    EXPECT_FLOAT_EQ(VolumeOf(1), 0.5f);
    EXPECT_EQ(Show.LiveLevel(cue), -30);
    EXPECT_EQ(cue.VolumeDB(), -10) << "the cue keeps its own level";

    ASSERT_TRUE(cue.Pause());
    EXPECT_EQ(Show.LiveLevel(cue), -30) << "a pause keeps the live level";
    Show.SetLiveLevel(cue, -45);
    EXPECT_FLOAT_EQ(VolumeOf(1), 0.25f);
    Show.Start(TCueNumber(1));
    EXPECT_EQ(Show.LiveLevel(cue), -45);

    Show.Stop(TCueNumber(1));
    EXPECT_EQ(Show.LiveLevel(cue), -10) << "a stop forgets the live level";
    Show.Start(TCueNumber(1));
    EXPECT_FLOAT_EQ(VolumeOf(1), 50.0f / 60.0f);
    EXPECT_EQ(Show.LiveLevel(cue), -10);
}

TEST_F(ShowLevelsTest, ALiveLevelIsKeptWithinTheRangeAndNeedsAPlayingCue) {
    const std::pair<int32_t, int32_t> cases[] = {{-100, -60}, {-60, -60}, {0, 0}, {12, 0}};
    Show.Start(TCueNumber(1));
    for (const auto& [set, kept] : cases) {
        Show.SetLiveLevel(Cue(1), set);
        EXPECT_EQ(Show.LiveLevel(Cue(1)), kept) << set;
    }
    Cue(2).SetVolumeDB(-20);
    Audio.Calls.clear();
    Show.SetLiveLevel(Cue(2), -40);
    EXPECT_TRUE(Audio.Calls.empty()) << "a stopped cue is left alone";
    EXPECT_EQ(Show.LiveLevel(Cue(2)), -20);
}

TEST_F(ShowLevelsTest, TheEndOfTheStreamForgetsTheLiveLevel) {
    TCue& cue = Cue(2);
    Show.Start(TCueNumber(2));
    Show.SetLiveLevel(cue, -40);
    EndFromAudioThread(cue.Stream(), AUDIO_END_FILE, cue.UID);
    ASSERT_TRUE(QTest::qWaitFor([&] { return cue.State() == csStopped; }, 5000));
    EXPECT_EQ(Show.LiveLevel(cue), 0);
    Show.Start(TCueNumber(2));
    EXPECT_FLOAT_EQ(VolumeOf(2), 1.0f);
}

TEST_F(ShowLevelsTest, TheMasterLevelReachesPlayingPausedAndLaterCuesAndOutlivesAPanic) {
    Show.SetGoLockout(0ms);
    Cue(2).SetVolumeDB(-30);
    Show.Start(TCueNumber(1));
    Show.Start(TCueNumber(2));
    Show.SetLiveLevel(Cue(1), -30);
    Show.Pause(TCueNumber(2));
    Show.SetLevels({TVolumeScale::Linear, -30});
    EXPECT_FLOAT_EQ(VolumeOf(1), 0.25f) << "live level times master";
    EXPECT_FLOAT_EQ(VolumeOf(2), 0.25f) << "a paused cue";
    EXPECT_EQ(VolumeOf(3), -1.0f) << "a stopped cue gets no call";

    Show.Panic();
    EXPECT_EQ(Show.Levels().MasterDB, -30);
    Clock.Advance(10s);
    Cues.StopAll();
    Show.Start(TCueNumber(3));
    EXPECT_FLOAT_EQ(VolumeOf(3), 0.5f);

    Show.SetLevels({TVolumeScale::Decibels, -20});
    EXPECT_FLOAT_EQ(VolumeOf(3), 0.1f) << "a change of scale reaches a playing cue";
    Show.SetLevels({TVolumeScale::Decibels, -200});
    EXPECT_EQ(Show.Levels().MasterDB, -60);
}

TEST_F(ShowLevelsTest, PanicFadesOverThePanicTimeSet) {
    struct Case {
        int32_t Tenths;
        const char* FirstCall;
        std::chrono::milliseconds StillFading;
    };
    const Case cases[] = {{25, "fadeout 1 2500", 2499ms}, {3, "fadeout 1 300", 299ms}};
    EXPECT_EQ(Show.PanicTime(), 10);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Tenths);
        Show.SetPanicTime(c.Tenths);
        Show.Start(TCueNumber(1));
        Show.Start(TCueNumber(2));
        const HSTREAM first = Cue(1).Stream();
        Audio.Calls.clear();
        Show.Panic();
        ASSERT_FALSE(Audio.Calls.empty());
        EXPECT_EQ(Audio.Calls[0],
                  "fadeout " + std::to_string(first) + " " + std::to_string(c.Tenths * 100));
        Clock.Advance(c.StillFading);
        Show.Start(TCueNumber(3));
        Show.Panic();
        EXPECT_TRUE(Cues.AllStopped()) << "again within the panic time stops at once";
        Clock.Advance(c.StillFading + 1ms);
        Show.Start(TCueNumber(1));
        Show.Panic();
        EXPECT_TRUE(Cue(1).Fading()) << "after the panic time, a panic fades again";
        Clock.Advance(10s);
        Cues.StopAll();
    }
}

TEST_F(ShowLevelsTest, APanicTimeOfNoneStopsAtOnce) {
    Show.SetPanicTime(0);
    Show.Start(TCueNumber(1));
    Show.Panic();
    EXPECT_TRUE(Cues.AllStopped());
}
