// The running of a show without a window: GO and the standby cue, panic, the commands of later
// launches and of OSC through one dispatcher, and the end of a cue's stream.
#include "ShowFixture.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr TCueState S = csStopped, P = csPlaying, Z = csPaused;

} // namespace

TEST_F(ShowControlTest, GoPlaysTheStandbyCueAndMakesTheNextOneStandby) {
    QSignalSpy shown(&Show, &TShowControl::StandbyChanged);
    Show.SetGoLockout(0ms);
    const std::vector<int32_t> standby = {2, 3, 4, 4};
    for (size_t go = 0; go < standby.size(); ++go) {
        SCOPED_TRACE(go);
        Show.Go();
        EXPECT_EQ(State(std::min(static_cast<int32_t>(go) + 1, 4)), csPlaying);
        EXPECT_EQ(Cues.Current(), standby[go]);
    }
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, P, P}));
    ASSERT_EQ(shown.count(), 3) << "the last cue stays standby without a new notice";
    EXPECT_EQ(shown.at(2).at(0).toInt(), 4);
}

TEST_F(ShowControlTest, GoWithoutAStandbyCueDoesNothing) {
    Cues.SetCurrent(TCueNumber(0));
    Show.Go();
    EXPECT_EQ(States(), (std::vector<TCueState>{S, S, S, S}));
    EXPECT_EQ(Cues.Current(), 0);
}

TEST_F(ShowControlTest, AGoWithinTheLockoutOfTheLastOneIsDropped) {
    struct Case {
        const char* Name;
        std::chrono::milliseconds Lockout, Gap;
        int32_t Played;
    };
    const Case cases[] = {
        {"bounce", TShowControl::DefaultGoLockout, 40ms, 1},
        {"just inside", TShowControl::DefaultGoLockout, TShowControl::DefaultGoLockout - 1ms, 1},
        {"just outside", TShowControl::DefaultGoLockout, TShowControl::DefaultGoLockout, 2},
        {"deliberate", TShowControl::DefaultGoLockout, 1000ms, 2},
        {"lockout off", 0ms, 0ms, 2},
        {"set longer", 2000ms, 1000ms, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        Clock.Advance(10s);
        Show.SetGoLockout(c.Lockout);
        Show.Go();
        Clock.Advance(c.Gap);
        Show.Go();
        EXPECT_EQ(State(2) == csPlaying ? 2 : 1, c.Played);
        EXPECT_EQ(Cues.Current(), c.Played + 1);
    }
}

// A dropped GO does not lengthen the lockout: a bouncing key cannot hold GO off for good.
TEST_F(ShowControlTest, TheLockoutCountsFromTheLastGoCarriedOut) {
    Show.SetGoLockout(300ms);
    Show.Go();
    for (int i = 0; i < 2; ++i) {
        Clock.Advance(200ms);
        Show.Go();
    }
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, S}));
}

TEST_F(ShowControlTest, TheLockoutHoldsAcrossEverySourceOfGo) {
    Show.Go();
    Clock.Advance(50ms);
    Show.Run({TOscCommand::ocGo, 0});
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S, S}));
    Clock.Advance(TShowControl::DefaultGoLockout);
    Show.Run({TOscCommand::ocGo, 0});
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, S}));
}

TEST_F(ShowControlTest, PanicFadesEverythingAndAgainWithinTheFadeStopsAtOnce) {
    struct Case {
        const char* Name;
        std::chrono::milliseconds Gap;
        bool AtOnce;
    };
    const Case cases[] = {{"again at once", 0ms, true},
                          {"again near the end", 999ms, true},
                          {"again after the fade", 1000ms, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (int32_t number : {1, 2})
            Show.Start(TCueNumber(number));
        Show.Run({TOscCommand::ocPanic, 0});
        EXPECT_TRUE(Cues.Items(0)->Fading());
        EXPECT_TRUE(Cues.Items(1)->Fading());
        Clock.Advance(c.Gap);
        for (int32_t number : {1, 2})
            if (State(number) == csStopped)
                Show.Start(TCueNumber(number));
        Show.Panic();
        EXPECT_EQ(Cues.AllStopped(), c.AtOnce);
        Clock.Advance(10s);
        Cues.StopAll();
    }
}

// OSC addresses and the verbs of later launches go through the one dispatcher: the same
// command has the same effect whichever way it came.
TEST_F(ShowControlTest, OscAndCommandLinesActAlike) {
    struct Case {
        const char* Name;
        std::vector<TOscCommand> Osc;
        std::vector<std::string> CmdLine;
        std::vector<TCueState> States;
    };
    const Case cases[] = {
        {"start", {{TOscCommand::ocCueStart, 3}}, {"play", "3"}, {S, S, P, S}},
        {"pause",
         {{TOscCommand::ocCueStart, 2}, {TOscCommand::ocCuePause, 2}},
         {"play", "2", "pause", "2"},
         {S, Z, S, S}},
        {"stop",
         {{TOscCommand::ocCueStart, 2}, {TOscCommand::ocCueStop, 2}},
         {"PLAY", "2", "Stop", "2"},
         {S, S, S, S}},
        {"beyond the list",
         {{TOscCommand::ocCueStart, 5}, {TOscCommand::ocCueStart, 0}},
         {"play", "5", "play", "0"},
         {S, S, S, S}},
        {"unknown word", {}, {"jump", "2"}, {S, S, S, S}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const TOscCommand& command : c.Osc)
            Show.Run(command);
        EXPECT_EQ(States(), c.States) << "over OSC";
        EXPECT_EQ(Cues.Current(), 1);
        Cues.StopAll();
        Show.RunCommandLine(c.CmdLine);
        EXPECT_EQ(States(), c.States) << "from a later launch";
        EXPECT_EQ(Cues.Current(), 1) << "commands never move the standby cue";
        Cues.StopAll();
    }
}

// The cues that one bundle or one command line starts are played in one start batch, so they
// are heard from the same sample; messages that come one by one start one by one.
TEST_F(ShowControlTest, TheCuesOfOneBundleOrCommandLineStartInOneBatch) {
    const TOscCommand start2{TOscCommand::ocCueStart, 2}, start4{TOscCommand::ocCueStart, 4},
        go{TOscCommand::ocGo, 0};
    const struct {
        const char* Name;
        std::function<void()> Run;
        std::vector<std::vector<HSTREAM>> Batches;
    } cases[] = {
        {"bundle",
         [&] {
             Show.Run(std::vector<TOscCommand>{start2, go, start4});
         },
         {{1, 2, 3}}},
        {"command line",
         [&] {
             Show.RunCommandLine({"play", "2", "play", "1", "play", "4"});
         },
         {{4, 5, 6}}},
        {"one by one",
         [&] {
             for (const TOscCommand& command : {start2, go, start4})
                 Show.Run(command);
         },
         {{7}, {8}, {9}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(1));
        Clock.Advance(10s);
        Audio.Batches.clear();
        c.Run();
        EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S, P}));
        EXPECT_EQ(Audio.Batches, c.Batches);
    }
}

TEST_F(ShowControlTest, SelectAndStopAllOverOsc) {
    QSignalSpy shown(&Show, &TShowControl::StandbyChanged);
    Show.Run({TOscCommand::ocSelect, 3});
    Show.Run({TOscCommand::ocSelect, 9});
    EXPECT_EQ(Cues.Current(), 3);
    ASSERT_EQ(shown.count(), 1);
    EXPECT_EQ(shown.at(0).at(0).toInt(), 3);
    Show.Start(TCueNumber(1));
    Show.Start(TCueNumber(4));
    Show.Run({TOscCommand::ocStopAll, 0});
    EXPECT_TRUE(Cues.AllStopped());
}

// Pause and Stop reach the cue just fired while the standby cue after it is stopped.
TEST_F(ShowControlTest, PauseAndStopActOnTheCueStartedLastWhileTheChosenOneIsStopped) {
    Show.Go();
    EXPECT_EQ(Show.PauseStopTarget(Cues.Current()), Cues.Items(0));
    Show.Start(TCueNumber(3));
    EXPECT_EQ(Show.PauseStopTarget(TCueNumber(2)), Cues.Items(2));
    EXPECT_EQ(Show.PauseStopTarget(TCueNumber(1)), Cues.Items(0)) << "the chosen cue plays";
    Cues.Items(2)->StopNow();
    EXPECT_EQ(Show.PauseStopTarget(TCueNumber(2)), nullptr) << "the cue started last is stopped";
    Show.Start(TCueNumber(3));
    Cues.Delete(2);
    EXPECT_EQ(Show.PauseStopTarget(TCueNumber(2)), nullptr) << "the cue started last is gone";
}

TEST_F(ShowControlTest, TheEndOfAStreamStopsTheCueThatStillPlaysIt) {
    struct Case {
        const char* Name;
        bool Loop;
        uint32_t How;
        bool EarlierStream;
        TCueState After;
    };
    const Case cases[] = {{"end of file", false, AUDIO_END_FILE, false, csStopped},
                          {"fade reached silence", false, AUDIO_END_FADED, false, csStopped},
                          {"looping at end of file", true, AUDIO_END_FILE, false, csPlaying},
                          {"looping, output failed", true, AUDIO_END_FAILED, false, csStopped},
                          {"an earlier stream", false, AUDIO_END_FILE, true, csPlaying}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TCue& cue = *Cues.Items(1);
        cue.Loop = c.Loop;
        ASSERT_TRUE(cue.Play());
        HSTREAM stream = cue.Stream();
        if (c.EarlierStream) {
            ASSERT_TRUE(cue.StopNow());
            ASSERT_TRUE(cue.Play());
        }
        EndFromAudioThread(stream, c.How, cue.UID);
        const TCueState expected = c.After;
        EXPECT_TRUE(QTest::qWaitFor([&] { return cue.State() == expected; }, 5000));
        QCoreApplication::processEvents();
        EXPECT_EQ(cue.State(), expected);
        cue.StopNow();
    }
}

TEST_F(ShowControlTest, AnEndForACueWithTheSameUidStopsOnlyTheCuePlayingThatStream) {
    Cues.Items(2)->UID = "2";
    Show.Start(TCueNumber(2));
    Show.Start(TCueNumber(3));
    EndFromAudioThread(Cues.Items(2)->Stream(), AUDIO_END_FILE, "2");
    EXPECT_TRUE(QTest::qWaitFor([&] { return State(3) == csStopped; }, 5000));
    EXPECT_EQ(State(2), csPlaying);
}

TEST(ShowControlLifetime, EndNoticesGoNowhereOnceTheShowControlIsGone) {
    TCueList cues;
    TShowClock clock;
    auto show = std::make_unique<TShowControl>(cues, clock);
    EXPECT_NE(CueEndSyncProc(), nullptr);
    const std::string uid = "1";
    CueEndSyncProc()(0, 1, AUDIO_END_FILE, const_cast<std::string*>(&uid));
    show.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(CueEndSyncProc(), nullptr);
}

// A cue that cannot start says why and what to do; the standby cue still moves on, and a later
// start of that cue takes the problem back.
TEST_F(ShowControlTest, ACueThatCannotStartSaysWhyAndTheShowGoesOn) {
    struct TCase {
        const char* name;
        std::string fileName;
        bool failOpen;
        std::vector<QString> said;
    };
    const std::string missing = File.string() + ".gone";
    const std::vector<TCase> cases = {
        {"no file",
         "",
         false,
         {QStringLiteral("Cue 2 \"Door\" could not play: it has no audio file")}},
        {"missing file",
         missing,
         false,
         {QStringLiteral("its file %1 is missing").arg(QString::fromStdString(missing))}},
        {"unreadable audio",
         File.string(),
         true,
         {QStringLiteral("could not be opened as audio, or output 1 did not take it")}},
    };
    Show.SetGoLockout(0ms);
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.name);
        Cues.StopAll();
        Cues.SetCurrent(TCueNumber(2));
        TCue& cue = *Cues.Items(1);
        cue.Description = "Door";
        cue.FileName = test.fileName;
        Audio.FailOpen = test.failOpen;
        QSignalSpy problems(&Show, &TShowControl::CueProblem);

        Show.Go();
        EXPECT_EQ(cue.State(), csStopped);
        EXPECT_EQ(Cues.Current(), 3);
        ASSERT_EQ(problems.count(), 1);
        EXPECT_EQ(problems[0][0].toULongLong(), cue.Identity());
        const QString text = problems[0][1].toString();
        for (const QString& part : test.said)
            EXPECT_TRUE(text.contains(part)) << text.toStdString();

        Audio.FailOpen = false;
        cue.FileName = File.string();
        Show.Start(TCueNumber(2));
        EXPECT_EQ(cue.State(), csPlaying);
        ASSERT_EQ(problems.count(), 2);
        EXPECT_EQ(problems[1][0].toULongLong(), cue.Identity());
        EXPECT_TRUE(problems[1][1].toString().isEmpty());
    }
}

// Starting a cue that already plays is no failure.
TEST_F(ShowControlTest, StartingAPlayingCueReportsNoProblem) {
    Show.Start(TCueNumber(1));
    QSignalSpy problems(&Show, &TShowControl::CueProblem);
    Show.Start(TCueNumber(1));
    EXPECT_EQ(problems.count(), 0);
}

// The standby cue is armed as it would play: file, loop, output and pitch; a GO arms the cue
// that becomes standby, or the same one again once its armed stream was taken; a standby cue
// with nothing to play, or none, disarms.
TEST_F(ShowControlTest, TheStandbyCueIsArmedAsItWouldPlay) {
    Show.SetGoLockout(0ms);
    const std::string file = File.string();
    TCue& second = *Cues.Items(1);
    second.Loop = true;
    second.SetAudioChannel(2);
    second.SetPitch(110);
    const struct {
        const char* Step;
        std::function<void()> Do;
        std::vector<std::string> Armed;
    } steps[] = {
        {"select",
         [&] { Show.SelectCue(TCueNumber(2)); },
         {file + " flags 4 device 2 speed 1.100000"}},
        {"go", [&] { Show.Go(); }, {file + " flags 0 device 1 speed 1.000000"}},
        {"pitch changed",
         [&] {
             Cues.Items(2)->SetPitch(80);
             Show.ArmStandby();
         },
         {file + " flags 0 device 1 speed 0.800000"}},
        {"go on the last cue",
         [&] {
             Show.SelectCue(TCueNumber(4));
             Show.Go();
         },
         {file + " flags 0 device 1 speed 1.000000", file + " flags 0 device 1 speed 1.000000"}},
        {"no file",
         [&] {
             Cues.Items(3)->FileName.clear();
             Show.ArmStandby();
         },
         {"disarm"}},
        {"not a sound file",
         [&] {
             Cues.Items(3)->FileName = "/show/notes.txt";
             Show.ArmStandby();
         },
         {"disarm"}},
        {"no standby cue",
         [&] {
             Cues.SetCurrent(TCueNumber(0));
             Show.ArmStandby();
         },
         {"disarm"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Step);
        Audio.Arms.clear();
        step.Do();
        EXPECT_EQ(Audio.Arms, step.Armed);
    }
}
