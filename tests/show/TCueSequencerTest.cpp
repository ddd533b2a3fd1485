// Cues that follow each other, run by the show control on the fake clock: pre-waits, post-waits,
// auto-continue and auto-follow chains, and what pauses and cancels them.
#include "CueSequenceFixture.h"

TEST_F(CueSequenceTest, APreWaitDelaysTheSoundByItsLength) {
    Set(1, No, 20);
    Show.Go();
    EXPECT_EQ(States(), (std::vector<TCueState>{S, S, S, S}));
    EXPECT_EQ(Cues.Current(), 2);
    EXPECT_EQ(Left(1), 2000ms);
    EXPECT_TRUE(Show.Sequencer().Waiting());
    Pass(1999ms);
    EXPECT_EQ(State(1), csStopped);
    EXPECT_EQ(Left(1), 1ms);
    Pass(1ms);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S, S}));
    EXPECT_FALSE(Show.Sequencer().Waiting());
    EXPECT_EQ(Left(1), std::nullopt);
}

TEST_F(CueSequenceTest, AutoContinueStartsTheNextCueAfterThePostWait) {
    Set(1, AC, 0, 15);
    Show.Go();
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S, S}));
    EXPECT_EQ(Left(2), 1500ms) << "the post-wait counts down on the cue it starts";
    Pass(1499ms);
    EXPECT_EQ(State(2), csStopped);
    Pass(1ms);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, S}));
    EXPECT_EQ(Cues.Current(), 3);
}

TEST_F(CueSequenceTest, AutoFollowStartsTheNextCueOnlyAtTheEndOfTheFile) {
    const std::pair<uint32_t, TCueState> cases[] = {
        {AUDIO_END_FILE, P}, {AUDIO_END_FADED, S}, {AUDIO_END_FAILED, S}};
    for (const auto& [how, second] : cases) {
        SCOPED_TRACE(how);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        Set(1, AF);
        Show.Go();
        EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S, S}));
        EXPECT_EQ(Cues.Current(), 3);
        PlayToEnd(1, how);
        EXPECT_EQ(States(), (std::vector<TCueState>{S, second, S, S}));
    }
}

// Doorbell, two seconds later the door, and the rain when the door has ended: one GO.
TEST_F(CueSequenceTest, AChainOfThreeRunsFromOneGo) {
    Set(1, AC, 0, 20);
    Set(2, AF, 5);
    Show.Go();
    EXPECT_EQ(Cues.Current(), 4);
    Pass(2000ms);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S, S})) << "cue 2 in its pre-wait";
    EXPECT_EQ(Left(2), 500ms);
    Pass(500ms);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, S}));
    PlayToEnd(2);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, P, S}));
    EXPECT_EQ(StartOrder(), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(CueSequenceTest, GoMovesTheStandbyCuePastTheWholeChain) {
    struct Case {
        const char* Name;
        std::vector<TCueContinue> Continues;
        bool LoopSecond;
        int32_t Standby;
    };
    const Case cases[] = {
        {"no chain", {No, No, No, No}, false, 2},
        {"two", {AC, No, AC, No}, false, 3},
        {"three", {AF, AC, No, No}, false, 4},
        {"to the end", {AC, AF, AC, No}, false, 4},
        {"the last continues", {AC, AC, AC, AC}, false, 4},
        {"a looping cue ends it", {AC, AF, AC, No}, true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        for (int32_t i = 1; i <= 4; ++i)
            Set(i, c.Continues[static_cast<size_t>(i - 1)]);
        Cue(2).Loop = c.LoopSecond;
        Show.Go();
        EXPECT_EQ(Cues.Current(), c.Standby);
    }
}

// One GO starts a group back to back in list order; waits that a late timer finds due fire
// together, in list order, however late.
TEST_F(CueSequenceTest, GroupsAndLateTimersStartCuesInListOrder) {
    Set(1, AC);
    Set(2, AC);
    Show.Go();
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, P, S}));
    EXPECT_EQ(StartOrder(), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(Cues.Current(), 4);

    Cues.StopAll();
    Audio.Calls.clear();
    Set(1, No, 10);
    Set(2, No, 0);
    Set(3, No, 0);
    Set(4, No, 5);
    Show.Start(TCueNumber(4));
    Show.Start(TCueNumber(1));
    Pass(3000ms);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S, P}));
    EXPECT_EQ(StartOrder(), (std::vector<int32_t>{1, 4}));
}

TEST_F(CueSequenceTest, StoppingCancelsPendingWaitsForGood) {
    struct Case {
        const char* Name;
        // Cancels what the running cue `number` would set off.
        std::function<void(TShowControl&, int32_t)> Cancel;
    };
    const Case cases[] = {
        {"panic", [](TShowControl& show, int32_t) { show.Panic(); }},
        {"stop all", [](TShowControl& show, int32_t) { show.StopAll(); }},
        {"osc panic",
         [](TShowControl& show, int32_t) {
             show.Run({TOscCommand::ocPanic, 0});
         }},
        {"osc stop",
         [](TShowControl& show, int32_t) {
             show.Run({TOscCommand::ocStopAll, 0});
         }},
        {"stop of the cue", [](TShowControl& show, int32_t n) { show.Stop(TCueNumber(n)); }},
        {"osc stop of the cue",
         [](TShowControl& show, int32_t n) {
             show.Run({TOscCommand::ocCueStop, n});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        Set(1, AC, 10, 10);
        Set(2, AF);
        Show.Go();
        c.Cancel(Show, 1);
        Pass(5000ms);
        EXPECT_EQ(States(), (std::vector<TCueState>{S, S, S, S})) << "during the pre-wait";

        Show.Start(TCueNumber(1));
        Pass(1000ms);
        ASSERT_EQ(State(1), csPlaying);
        c.Cancel(Show, 1);
        Pass(5000ms);
        Cues.Items(0)->StopNow();
        EXPECT_EQ(States(), (std::vector<TCueState>{S, S, S, S})) << "during the post-wait";

        Show.Start(TCueNumber(2));
        ASSERT_EQ(State(2), csPlaying);
        const HSTREAM stream = Cue(2).Stream();
        c.Cancel(Show, 2);
        EndFromAudioThread(stream, AUDIO_END_FILE, "2");
        QTest::qWait(0);
        QCoreApplication::processEvents();
        Cues.Items(1)->StopNow();
        EXPECT_EQ(State(3), csStopped) << "an end after the cancel sets nothing off";
        EXPECT_FALSE(Show.Sequencer().Waiting());
    }
}

TEST_F(CueSequenceTest, PauseHoldsAWaitAndStartResumesIt) {
    Set(1, AC, 20, 10);
    Show.Go();
    Pass(500ms);
    ASSERT_EQ(Show.PauseStopTarget(Cues.Current()), &Cue(1)) << "P right after GO reaches it";
    Show.Pause(*Show.PauseStopTarget(Cues.Current()));
    EXPECT_FALSE(Show.Sequencer().Waiting());
    Pass(10000ms);
    EXPECT_EQ(States(), (std::vector<TCueState>{S, S, S, S}));
    EXPECT_EQ(Left(1), 1500ms);
    EXPECT_EQ(Show.PauseStopTarget(TCueNumber(1)), &Cue(1)) << "the waiting cue is chosen";
    Show.Start(TCueNumber(1));
    Pass(1499ms);
    EXPECT_EQ(State(1), csStopped);
    Pass(1ms);
    ASSERT_EQ(State(1), csPlaying);

    Pass(400ms);
    Show.Pause(TCueNumber(1));
    Pass(10000ms);
    EXPECT_EQ(States(), (std::vector<TCueState>{Z, S, S, S})) << "the post-wait is held too";
    Show.Start(TCueNumber(1));
    EXPECT_EQ(State(1), csPlaying);
    Pass(599ms);
    EXPECT_EQ(State(2), csStopped);
    Pass(1ms);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, S}));
}

TEST_F(CueSequenceTest, ALoopingCueInAChainNeverFollows) {
    Set(1, AC);
    Set(2, AF);
    Cue(2).Loop = true;
    Show.Go();
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, S}));
    EXPECT_EQ(Cues.Current(), 3);
    const HSTREAM stream = Cue(2).Stream();
    EndFromAudioThread(stream, AUDIO_END_FILE, "2");
    QTest::qWait(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, S}));
    EXPECT_EQ(Cue(2).Stream(), stream);
}

TEST_F(CueSequenceTest, RemoteStartsRunTheChainWithoutMovingTheStandbyCue) {
    struct Case {
        const char* Name;
        std::function<void(TShowControl&)> Start;
        int32_t Standby;
    };
    const Case cases[] = {
        {"play 2",
         [](TShowControl& show) {
             show.RunCommandLine({"play", "2"});
         },
         1},
        {"osc start 2",
         [](TShowControl& show) {
             show.Run({TOscCommand::ocCueStart, 2});
         },
         1},
        {"osc go from 2",
         [](TShowControl& show) {
             show.SelectCue(TCueNumber(2));
             show.Run({TOscCommand::ocGo, 0});
         },
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        Set(2, AC, 10, 5);
        Set(3, No);
        c.Start(Show);
        EXPECT_EQ(Cues.Current(), c.Standby);
        Pass(1000ms);
        EXPECT_EQ(States(), (std::vector<TCueState>{S, P, S, S}));
        Pass(500ms);
        EXPECT_EQ(States(), (std::vector<TCueState>{S, P, P, S}));
    }
}

// One missing file does not break a chain: the cue that cannot play hands on at once.
TEST_F(CueSequenceTest, ACueThatCannotPlayHandsOnToTheNextOne) {
    for (const TCueContinue next : {AC, AF}) {
        SCOPED_TRACE(static_cast<int>(next));
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        Set(1, next);
        Cue(1).FileName = File.string() + ".missing";
        Show.Go();
        EXPECT_EQ(States(), (std::vector<TCueState>{S, P, S, S}));
        EXPECT_EQ(Cues.Current(), 3);
    }
}

TEST_F(CueSequenceTest, TheGoLockoutHoldsForChains) {
    Show.SetGoLockout(TShowControl::DefaultGoLockout);
    Set(1, AC);
    Show.Go();
    Clock.Advance(40ms);
    Show.Go();
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, S}));
    EXPECT_EQ(Cues.Current(), 3);
}

// The timer, not only a caller, fires a wait: with the real clock the cue starts on its own.
TEST(CueSequenceTimer, AWaitFiresOnItsOwn) {
    FakeAudioLibrary audio;
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("trelmo-sequence-" + std::to_string(::getpid()) + ".wav");
    std::ofstream(file) << "x";
    TCueList cues;
    auto cue = std::make_unique<TCue>();
    cue->FileName = file.string();
    cue->SetPreWait(1);
    TCue& waiting = *cue;
    cues.Add(std::move(cue));
    const TShowClock clock;
    TShowControl show(cues, clock);
    show.Start(TCueNumber(1));
    EXPECT_EQ(waiting.State(), csStopped);
    EXPECT_TRUE(QTest::qWaitFor([&] { return waiting.State() == csPlaying; }, 10000));
    std::filesystem::remove(file);
}
