// Cues that auto-follow: handed to the library to begin on the frame after the cue before
// ends, let go when that cue ends early, and started at its end where they cannot be handed over.
#include "CueSequenceFixture.h"

// Each cue that auto-follows is handed to the library to begin at the end of the one before,
// and the end notice only confirms it: every cue is opened once and started once.
TEST_F(CueSequenceTest, AnAutoFollowChainIsHandedOverAndStartedOnce) {
    Set(1, AF);
    Set(2, AF);
    Show.Go();
    EXPECT_EQ(Cues.Current(), 4);
    ASSERT_TRUE(HandedOver(2));
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S, S})) << "cue 2 waits for the end";
    const HSTREAM second = Cue(2).Stream();
    EXPECT_EQ(
        Called("play " + std::to_string(second) + " after " + std::to_string(Cue(1).Stream())), 1u);
    PlayToEnd(1);
    EXPECT_EQ(States(), (std::vector<TCueState>{S, P, S, S}));
    EXPECT_EQ(Cue(2).Stream(), second) << "the stream handed over plays on";
    ASSERT_TRUE(HandedOver(3));
    EXPECT_EQ(
        Called("play " + std::to_string(Cue(3).Stream()) + " after " + std::to_string(second)), 1u);
    PlayToEnd(2);
    EXPECT_EQ(States(), (std::vector<TCueState>{S, S, P, S}));
    EXPECT_EQ(StartOrder(), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(Called("open flags 0"), 3u);
    EXPECT_TRUE(Audio.Freed.empty());
}

// Whatever ends the leader early lets the follower go at once; after it, the leader's end
// sets nothing off.
TEST_F(CueSequenceTest, AFollowerIsLetGoWhenItsLeaderEndsEarly) {
    struct Case {
        const char* Name;
        std::function<void()> End;
    };
    const Case cases[] = {
        {"panic", [this] { Show.Panic(); }},
        {"stop all", [this] { Show.StopAll(); }},
        {"osc panic",
         [this] {
             Show.Run({TOscCommand::ocPanic, 0});
         }},
        {"stop of the cue", [this] { Show.Stop(TCueNumber(1)); }},
        {"fade-out", [this] { PlayToEnd(1, AUDIO_END_FADED); }},
        {"failed output", [this] { PlayToEnd(1, AUDIO_END_FAILED); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        Set(1, AF);
        Show.Go();
        ASSERT_TRUE(HandedOver(2));
        const HSTREAM first = Cue(1).Stream();
        const HSTREAM second = Cue(2).Stream();
        c.End();
        EXPECT_FALSE(Cue(2).Following());
        EXPECT_EQ(Called("stop " + std::to_string(second)), 1u);
        EndFromAudioThread(first, AUDIO_END_FILE, "1");
        QTest::qWait(0);
        QCoreApplication::processEvents();
        Cues.Items(0)->StopNow();
        EXPECT_EQ(State(2), csStopped) << "a late end sets nothing off";
        EXPECT_EQ(Called("play " + std::to_string(second)), 0u);
    }
}

// A pause lets the follower go; the resume hands it over again, and the end starts it.
TEST_F(CueSequenceTest, AFollowerIsHandedOverAgainWhenItsLeaderResumes) {
    Set(1, AF);
    Show.Go();
    ASSERT_TRUE(HandedOver(2));
    const HSTREAM before = Cue(2).Stream();
    Show.Pause(TCueNumber(1));
    EXPECT_FALSE(Cue(2).Following());
    EXPECT_EQ(Called("stop " + std::to_string(before)), 1u);
    Show.Start(TCueNumber(1));
    ASSERT_EQ(State(1), csPlaying);
    ASSERT_TRUE(HandedOver(2));
    PlayToEnd(1);
    EXPECT_EQ(States(), (std::vector<TCueState>{S, P, S, S}));
    EXPECT_EQ(Called("play " + std::to_string(Cue(2).Stream())), 1u);
    EXPECT_EQ(Called("open flags 0"), 3u) << "cue 1, and cue 2 twice: let go and handed again";
}

// Where the follower cannot be handed over, the end of the leader starts it as any start.
TEST_F(CueSequenceTest, AFollowerThatCannotBeHandedOverStartsAtTheEnd) {
    struct Case {
        const char* Name;
        int32_t Output;
        int32_t PreWait;
        bool LibraryCannot;
        bool Handed;
    };
    const Case cases[] = {
        {"the same output", 1, 0, false, true},
        {"another output", 2, 0, false, false},
        {"a pre-wait", 1, 5, false, false},
        {"a library that cannot", 1, 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        Set(1, AF);
        Set(2, No, c.PreWait);
        Cue(2).SetAudioChannel(c.Output);
        Audio.FailPlayAfter = c.LibraryCannot;
        Show.Go();
        QTest::qWait(0);
        QCoreApplication::processEvents();
        EXPECT_EQ(Cue(2).Following(), c.Handed);
        PlayToEnd(1);
        Pass(500ms);
        EXPECT_EQ(States(), (std::vector<TCueState>{S, P, S, S}));
    }
}
