// A cue handed to the audio library to begin when the cue before it ends.
#include "FakeAudioLibrary.h"
#include "TCue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

namespace {

struct CueFollowFixture : ::testing::Test {
    void SetUp() override {
        std::ofstream(File) << "x";
        for (TCue* cue : {&Leader, &Follower})
            cue->FileName = File.string();
        ASSERT_TRUE(Leader.Play());
        Audio.Calls.clear();
    }
    void TearDown() override { std::filesystem::remove(File); }

    FakeAudioLibrary Audio;
    std::filesystem::path File = std::filesystem::temp_directory_path() /
                                 ("trelmo-follow-" + std::to_string(::getpid()) + ".wav");
    TCue Leader;
    TCue Follower;
};

} // namespace

// Set up as a play is, it stays stopped; its play then starts that same stream, opening nothing.
TEST_F(CueFollowFixture, AFollowerIsSetUpAsForAPlayAndItsPlayConfirmsIt) {
    Follower.SetAudioChannel(2);
    ASSERT_TRUE(Follower.PlayAfter(Leader));
    const std::vector<std::string> handed = {"device 2",         "open flags 0", "sync 2 2",
                                             "name 2 New Sound", "set 2 2",      "set 2 3",
                                             "get 2 1",          "set 2 1",      "play 2 after 1"};
    EXPECT_EQ(Audio.Calls, handed);
    EXPECT_EQ(Follower.State(), csStopped);
    EXPECT_TRUE(Follower.Following());
    Audio.Calls.clear();
    ASSERT_TRUE(Follower.Play());
    EXPECT_EQ(Audio.Calls, std::vector<std::string>{"play 2"});
    EXPECT_EQ(Follower.State(), csPlaying);
    EXPECT_EQ(Follower.Stream(), 2u);
    EXPECT_FALSE(Follower.Following());
}

TEST_F(CueFollowFixture, NothingIsLeftHandedOverWhereItCannotBe) {
    struct Case {
        const char* Name;
        std::function<void(CueFollowFixture&)> Arrange;
    };
    const Case cases[] = {
        {"the library cannot", [](CueFollowFixture& f) { f.Audio.FailPlayAfter = true; }},
        {"the leader is stopped", [](CueFollowFixture& f) { f.Leader.StopNow(); }},
        {"the follower plays", [](CueFollowFixture& f) { f.Follower.Play(); }},
        {"the file is missing", [](CueFollowFixture& f) { f.Follower.FileName += ".gone"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Arrange(*this);
        Audio.Calls.clear();
        EXPECT_FALSE(Follower.PlayAfter(Leader));
        EXPECT_FALSE(Follower.Following());
        const auto count = [&](const std::string& prefix) {
            return std::count_if(Audio.Calls.begin(), Audio.Calls.end(),
                                 [&](const std::string& call) { return call.starts_with(prefix); });
        };
        EXPECT_EQ(count("open"), count("free")) << "no stream is left open";
        Follower.StopNow();
        Follower.FileName = File.string();
        Audio.FailPlayAfter = false;
        if (Leader.State() != csPlaying) {
            ASSERT_TRUE(Leader.Play());
        }
    }
}

// A stop of the stopped follower, or letting it go, stops the stream handed over, once.
TEST_F(CueFollowFixture, LettingAFollowerGoStopsItsStreamOnce) {
    for (const std::function<void(TCue&)>& letGo :
         {std::function<void(TCue&)>([](TCue& cue) { cue.CancelFollow(); }),
          std::function<void(TCue&)>([](TCue& cue) { cue.StopNow(); })}) {
        ASSERT_TRUE(Follower.PlayAfter(Leader));
        const std::string stop = "stop " + std::to_string(Follower.Stream());
        letGo(Follower);
        letGo(Follower);
        EXPECT_FALSE(Follower.Following());
        EXPECT_EQ(Follower.State(), csStopped);
        EXPECT_EQ(std::count(Audio.Calls.begin(), Audio.Calls.end(), stop), 1);
    }
}

// A level edited while the follower waits reaches its stream; an edit the stream cannot take
// lets it go, so that the cue starts with it as any other when its turn comes.
TEST_F(CueFollowFixture, EditsReachAWaitingFollowerOrLetItGo) {
    struct Case {
        const char* Name;
        std::function<void(TCue&)> Edit;
        // The call the edit makes on the stream; the follower is let go where it is a stop.
        std::string Call;
    };
    const Case cases[] = {
        {"volume", [](TCue& cue) { cue.SetVolumeDB(-6); }, "set 2 2"},
        {"pan", [](TCue& cue) { cue.SetPan(30); }, "set 2 3"},
        {"pitch", [](TCue& cue) { cue.SetPitch(90); }, "stop 2"},
        {"output", [](TCue& cue) { cue.SetAudioChannel(3); }, "stop 2"},
        {"fade-in", [](TCue& cue) { cue.SetFadeIn(5); }, "stop 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TCue follower;
        follower.FileName = File.string();
        Audio.NextStream = 2;
        ASSERT_TRUE(follower.PlayAfter(Leader));
        follower.SetPitch(follower.Pitch());
        follower.SetAudioChannel(follower.AudioChannel());
        EXPECT_TRUE(follower.Following()) << "setting a value it has changes nothing";
        Audio.Calls.clear();
        c.Edit(follower);
        EXPECT_EQ(Audio.Calls, std::vector<std::string>{c.Call});
        EXPECT_EQ(follower.Following(), c.Call != "stop 2");
    }
}
