#include "TCue.h"
#include "FakeAudioLibrary.h"
#include "TLevels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        Path = fs::temp_directory_path() /
               ("trelmo-cue-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter));
        fs::create_directories(Path);
    }
    ~TempDir() { fs::remove_all(Path); }
    std::string File(const std::string& name) const {
        const fs::path p = Path / name;
        std::ofstream(p) << "x";
        return p.string();
    }
    fs::path Path;
    static inline int Counter = 0;
};

struct CueFixture : ::testing::Test {
    FakeAudioLibrary Audio;
    TempDir Dir;
    TCue Cue;
    std::vector<std::pair<std::string, TCueState>> Notices;

    void SetUp() override {
        Cue.UID = "7";
        Cue.OnStateChange = [this](const std::string& uid) {
            Notices.emplace_back(uid, Cue.State());
        };
    }
};

} // namespace

TEST(TCue, NewCueHasDefaults) {
    TCue cue;
    EXPECT_EQ(cue.Description, "New Sound");
    EXPECT_EQ(cue.FileName, "");
    EXPECT_EQ(cue.UID, "");
    EXPECT_EQ(cue.AudioChannel(), 1);
    EXPECT_EQ(cue.Pan(), 0);
    EXPECT_EQ(cue.Pitch(), 100);
    EXPECT_EQ(cue.VolumeDB(), 0);
    EXPECT_FALSE(cue.Loop);
    EXPECT_EQ(cue.State(), csStopped);
    EXPECT_EQ(cue.Stream(), 0u);
    EXPECT_FALSE(cue.OnStateChange);
}

TEST(TCue, SettersClampToTheirRanges) {
    struct Case {
        void (TCue::*set)(int32_t);
        int32_t (TCue::*get)() const;
        int32_t value, expected;
    };
    const Case cases[] = {
        {&TCue::SetPitch, &TCue::Pitch, 200, 125},
        {&TCue::SetPitch, &TCue::Pitch, 0, 75},
        {&TCue::SetPitch, &TCue::Pitch, 90, 90},
        {&TCue::SetVolumeDB, &TCue::VolumeDB, 6, 0},
        {&TCue::SetVolumeDB, &TCue::VolumeDB, -100, -60},
        {&TCue::SetVolumeDB, &TCue::VolumeDB, -12, -12},
        {&TCue::SetPan, &TCue::Pan, -101, -100},
        {&TCue::SetPan, &TCue::Pan, 101, 100},
        {&TCue::SetPan, &TCue::Pan, INT32_MIN, -100},
        {&TCue::SetAudioChannel, &TCue::AudioChannel, 0, 1},
        {&TCue::SetAudioChannel, &TCue::AudioChannel, 5, 4},
        {&TCue::SetAudioChannel, &TCue::AudioChannel, INT32_MAX, 4},
        {&TCue::SetFadeIn, &TCue::FadeIn, -1, 0},
        {&TCue::SetFadeIn, &TCue::FadeIn, 15, 15},
        {&TCue::SetFadeIn, &TCue::FadeIn, 601, 600},
        {&TCue::SetFadeOut, &TCue::FadeOut, INT32_MIN, 0},
        {&TCue::SetFadeOut, &TCue::FadeOut, 600, 600},
        {&TCue::SetFadeOut, &TCue::FadeOut, INT32_MAX, 600},
        {&TCue::SetPreWait, &TCue::PreWait, -1, 0},
        {&TCue::SetPreWait, &TCue::PreWait, 20, 20},
        {&TCue::SetPreWait, &TCue::PreWait, 36001, 36000},
        {&TCue::SetPostWait, &TCue::PostWait, INT32_MIN, 0},
        {&TCue::SetPostWait, &TCue::PostWait, 36000, 36000},
        {&TCue::SetPostWait, &TCue::PostWait, INT32_MAX, 36000},
    };
    for (const Case& c : cases) {
        TCue cue;
        (cue.*c.set)(c.value);
        EXPECT_EQ((cue.*c.get)(), c.expected) << "value " << c.value;
    }
}

TEST(TCue, ContinueKeepsOnlyTheKnownKinds) {
    const std::pair<TCueContinue, TCueContinue> cases[] = {
        {TCueContinue::AutoContinue, TCueContinue::AutoContinue},
        {TCueContinue::AutoFollow, TCueContinue::AutoFollow},
        {TCueContinue::None, TCueContinue::None},
        {static_cast<TCueContinue>(3), TCueContinue::None},
        {static_cast<TCueContinue>(255), TCueContinue::None},
    };
    for (const auto& [value, expected] : cases) {
        TCue cue;
        cue.SetContinue(TCueContinue::AutoFollow);
        cue.SetContinue(value);
        EXPECT_EQ(cue.Continue(), expected) << static_cast<int>(value);
    }
}

TEST_F(CueFixture, SetStateNotifiesOnlyOnAChangeAfterStoring) {
    Cue.SetState(csStopped);
    EXPECT_TRUE(Notices.empty());
    Cue.SetState(csPaused);
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0].first, "7");
    EXPECT_EQ(Notices[0].second, csPaused);
}

TEST_F(CueFixture, FileFoundOnlyForAnExistingFile) {
    EXPECT_FALSE(Cue.FileFound());
    Cue.FileName = (Dir.Path / "nothing.wav").string();
    EXPECT_FALSE(Cue.FileFound());
    Cue.FileName = Dir.Path.string();
    EXPECT_FALSE(Cue.FileFound());
    Cue.FileName = Dir.File("a.wav");
    EXPECT_TRUE(Cue.FileFound());
}

TEST_F(CueFixture, PlayMakesTheLibraryCallsInOrder) {
    Cue.FileName = Dir.File("song.MP3");
    Cue.SetAudioChannel(3);
    Cue.SetVolumeDB(-30);
    Cue.SetPan(50);
    Cue.SetPitch(75);
    Cue.Loop = true;
    Cue.Description = "Rain";
    ASSERT_TRUE(Cue.Play());
    const std::vector<std::string> expected = {"device 3",    "open flags 4", "sync 1 2",
                                               "name 1 Rain", "set 1 2",      "set 1 3",
                                               "get 1 1",     "set 1 1",      "play 1"};
    EXPECT_EQ(Audio.Calls, expected);
    EXPECT_FLOAT_EQ(Audio.Volume, 0.5f);
    EXPECT_FLOAT_EQ(Audio.PanValue, 0.5f);
    EXPECT_FLOAT_EQ(Audio.Rate, 33075.0f);
    EXPECT_FLOAT_EQ(Cue.Frequency(), 44100.0f);
    EXPECT_EQ(*static_cast<std::string*>(Audio.SyncUser), "7");
    EXPECT_EQ(Cue.Stream(), 1u);
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0].second, csPlaying);
}

TEST_F(CueFixture, PlayChoosesTheOpenerByExtension) {
    const std::pair<std::string, std::string> cases[] = {
        {"clip.flac", "open-flac flags 0"}, {"talk.WMA", "open-wma flags 0"},
        {"a.wav", "open flags 0"},          {"a.aiff", "open flags 0"},
        {"a.ogg", "open flags 0"},
    };
    for (const auto& [name, opener] : cases) {
        TCue cue;
        cue.FileName = Dir.File(name);
        Audio.Calls.clear();
        EXPECT_TRUE(cue.Play()) << name;
        ASSERT_GE(Audio.Calls.size(), 2u);
        EXPECT_EQ(Audio.Calls[1], opener) << name;
    }
}

TEST_F(CueFixture, PlayRefusesFilesWithoutAnOpener) {
    for (const char* name : {"song.aif", "film.avi", "tune.mid", "clip.m4a", "noextension"}) {
        TCue cue;
        cue.FileName = Dir.File(name);
        EXPECT_FALSE(cue.Play()) << name;
        EXPECT_EQ(cue.State(), csStopped);
        EXPECT_EQ(cue.Stream(), 0u);
    }
}

TEST_F(CueFixture, StateMachine) {
    Cue.FileName = Dir.File("a.wav");
    EXPECT_FALSE(Cue.Pause());
    EXPECT_FALSE(Cue.Resume());
    EXPECT_FALSE(Cue.Stop());
    EXPECT_TRUE(Notices.empty());

    EXPECT_TRUE(Cue.Play());
    EXPECT_FALSE(Cue.Play());
    EXPECT_FALSE(Cue.Resume());
    EXPECT_TRUE(Cue.Pause());
    EXPECT_FALSE(Cue.Pause());
    EXPECT_TRUE(Cue.Play()); // resumes
    EXPECT_TRUE(Cue.Pause());
    EXPECT_TRUE(Cue.Stop());
    EXPECT_FALSE(Cue.Stop());

    const std::vector<TCueState> states = {csPlaying, csPaused, csPlaying, csPaused, csStopped};
    ASSERT_EQ(Notices.size(), states.size());
    for (size_t i = 0; i < states.size(); ++i)
        EXPECT_EQ(Notices[i].second, states[i]) << i;
}

TEST_F(CueFixture, ResumeKeepsTheStreamAndTheFirstSettings) {
    Cue.FileName = Dir.File("a.wav");
    ASSERT_TRUE(Cue.Play());
    ASSERT_TRUE(Cue.Pause());
    Cue.SetVolumeDB(-60);
    Audio.Calls.clear();
    EXPECT_TRUE(Cue.Play());
    EXPECT_EQ(Audio.Calls, std::vector<std::string>{"play 1"});
    EXPECT_EQ(Cue.State(), csPlaying);
}

TEST_F(CueFixture, PausedCueWhoseFileWentCannotBeResumedButStopped) {
    Cue.FileName = Dir.File("a.wav");
    ASSERT_TRUE(Cue.Play());
    ASSERT_TRUE(Cue.Pause());
    fs::remove(Cue.FileName);
    EXPECT_FALSE(Cue.Play());
    EXPECT_EQ(Cue.State(), csPaused);
    EXPECT_TRUE(Cue.Stop());
    EXPECT_EQ(Cue.State(), csStopped);
}

TEST_F(CueFixture, StopThenPlayFreesTheOldStreamFirst) {
    Cue.FileName = Dir.File("a.wav");
    ASSERT_TRUE(Cue.Play());
    ASSERT_TRUE(Cue.Stop());
    EXPECT_EQ(Cue.Stream(), 1u); // kept while stopped
    Audio.Calls.clear();
    ASSERT_TRUE(Cue.Play());
    EXPECT_EQ(Audio.Calls.front(), "free 1");
    EXPECT_EQ(Cue.Stream(), 2u);
}

// A stream that opens but cannot start (the sound server does not answer) is given back, and
// the cue stays stopped.
TEST_F(CueFixture, FailedStartLeavesTheCueStoppedWithoutAStream) {
    Cue.FileName = Dir.File("a.wav");
    Audio.FailPlay = true;
    EXPECT_FALSE(Cue.Play());
    EXPECT_EQ(Cue.State(), csStopped);
    EXPECT_EQ(Cue.Stream(), 0u);
    EXPECT_EQ(Audio.Freed, std::vector<HSTREAM>{1});
    EXPECT_TRUE(Notices.empty());
    Audio.FailPlay = false;
    EXPECT_TRUE(Cue.Play());
    EXPECT_EQ(Cue.State(), csPlaying);
}

TEST_F(CueFixture, FailedOpenAfterAPlayLeavesNoStreamAndNoNotice) {
    Cue.FileName = Dir.File("a.mp3");
    ASSERT_TRUE(Cue.Play());
    ASSERT_TRUE(Cue.Stop());
    Notices.clear();
    Cue.FileName = Dir.File("film.avi");
    EXPECT_FALSE(Cue.Play());
    EXPECT_EQ(Cue.State(), csStopped);
    EXPECT_EQ(Cue.Stream(), 0u);
    EXPECT_EQ(Audio.Freed, std::vector<HSTREAM>{1});
    EXPECT_TRUE(Notices.empty());

    Audio.FailOpen = true;
    Cue.FileName = Dir.File("b.wav");
    EXPECT_FALSE(Cue.Play());
    EXPECT_EQ(Cue.Stream(), 0u);
}

TEST_F(CueFixture, ReleaseFreesTheStreamWithoutNotifying) {
    {
        TCue cue;
        cue.FileName = Dir.File("a.wav");
        ASSERT_TRUE(cue.Play());
        cue.OnStateChange = [this](const std::string& uid) {
            Notices.emplace_back(uid, csStopped);
        };
    }
    EXPECT_EQ(Audio.Freed, std::vector<HSTREAM>{1});
    EXPECT_TRUE(Notices.empty());
}

TEST_F(CueFixture, TransitionsWithoutSubscriberStillHappen) {
    Cue.OnStateChange = nullptr;
    Cue.FileName = Dir.File("a.wav");
    EXPECT_TRUE(Cue.Play());
    EXPECT_EQ(Cue.State(), csPlaying);
    EXPECT_TRUE(Cue.Stop());
    EXPECT_EQ(Cue.State(), csStopped);
}

TEST_F(CueFixture, FadeInIsAskedForBeforeTheStartOnlyWhenSet) {
    Cue.FileName = Dir.File("a.wav");
    Cue.SetFadeIn(15);
    ASSERT_TRUE(Cue.Play());
    const auto fadeIn = std::find(Audio.Calls.begin(), Audio.Calls.end(), "fadein 1 1500");
    ASSERT_NE(fadeIn, Audio.Calls.end());
    EXPECT_LT(fadeIn, std::find(Audio.Calls.begin(), Audio.Calls.end(), "play 1"));
    Cue.StopNow();
    Cue.SetFadeIn(0);
    Audio.Calls.clear();
    ASSERT_TRUE(Cue.Play());
    EXPECT_EQ(std::count_if(Audio.Calls.begin(), Audio.Calls.end(),
                            [](const std::string& call) { return call.rfind("fadein", 0) == 0; }),
              0);
}

// Stop of a playing cue with a fade-out fades; it stays playing, marked as fading, with one
// notice, until a second Stop (or the end of the fade, which the window turns into StopNow).
TEST_F(CueFixture, StopFadesOutAPlayingCueAndAGainStopsAtOnce) {
    struct Case {
        const char* Name;
        int32_t FadeOut;
        bool Pause;
        std::vector<std::string> StopCalls;
        bool Fading;
    };
    const Case cases[] = {
        {"fade-out", 20, false, {"fadeout 1 2000"}, true},
        {"no fade-out", 0, false, {"stop 1"}, false},
        {"paused", 20, true, {"stop 1"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FakeAudioLibrary audio;
        TCue cue;
        std::vector<std::pair<TCueState, bool>> notices;
        cue.OnStateChange = [&](const std::string&) {
            notices.emplace_back(cue.State(), cue.Fading());
        };
        cue.FileName = Dir.File("a.wav");
        cue.SetFadeOut(c.FadeOut);
        ASSERT_TRUE(cue.Play());
        if (c.Pause) {
            ASSERT_TRUE(cue.Pause());
        }
        notices.clear();
        audio.Calls.clear();
        EXPECT_TRUE(cue.Stop());
        EXPECT_EQ(audio.Calls, c.StopCalls);
        EXPECT_EQ(cue.Fading(), c.Fading);
        EXPECT_EQ(cue.State(), c.Fading ? csPlaying : csStopped);
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0], std::pair(cue.State(), c.Fading));
        if (!c.Fading)
            continue;
        EXPECT_FALSE(cue.Pause());
        EXPECT_FALSE(cue.Play());
        EXPECT_TRUE(cue.Stop());
        EXPECT_EQ(audio.Calls.back(), "stop 1");
        EXPECT_EQ(cue.State(), csStopped);
        EXPECT_FALSE(cue.Fading());
        EXPECT_EQ(notices.size(), 2u);
    }
}

TEST_F(CueFixture, FadeOutAndStopFadesEveryPlayingCueAndStopsAPausedOne) {
    Cue.FileName = Dir.File("a.wav");
    EXPECT_FALSE(Cue.FadeOutAndStop(10)) << "a stopped cue";
    ASSERT_TRUE(Cue.Play());
    EXPECT_TRUE(Cue.FadeOutAndStop(10));
    EXPECT_TRUE(Cue.FadeOutAndStop(10)) << "a cue that is fading already";
    EXPECT_EQ(Audio.Calls.back(), "fadeout 1 1000");
    EXPECT_TRUE(Cue.Fading());
    Cue.StopNow();
    Audio.FailFadeOut = true;
    ASSERT_TRUE(Cue.Play());
    EXPECT_TRUE(Cue.FadeOutAndStop(10)) << "a stream that cannot fade stops at once";
    EXPECT_EQ(Cue.State(), csStopped);
    ASSERT_TRUE(Cue.Play());
    ASSERT_TRUE(Cue.Pause());
    EXPECT_TRUE(Cue.FadeOutAndStop(10));
    EXPECT_EQ(Cue.State(), csStopped);
}

TEST_F(CueFixture, PlayStartsAtTheVolumeOfThePlaybackLevels) {
    struct Case {
        TLevels Levels;
        int32_t VolumeDB;
        float Volume;
    };
    const Case cases[] = {
        {{}, -30, 0.5f},
        {{TVolumeScale::Linear, -30}, 0, 0.5f},
        {{TVolumeScale::Decibels, 0}, -20, 0.1f},
        {{TVolumeScale::Decibels, -20}, -20, 0.01f},
    };
    Cue.FileName = Dir.File("a.wav");
    for (const Case& c : cases) {
        SetPlaybackLevels(c.Levels);
        Cue.SetVolumeDB(c.VolumeDB);
        ASSERT_TRUE(Cue.Play());
        EXPECT_FLOAT_EQ(Audio.Volume, c.Volume) << c.VolumeDB << " " << c.Levels.MasterDB;
        Cue.StopNow();
    }
    SetPlaybackLevels({});
}
