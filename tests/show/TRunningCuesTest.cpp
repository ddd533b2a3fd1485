// The list of running cues kept by the show control: what it holds whichever way a cue was
// started, what each entry is doing, and the buttons of a line acting on that cue alone.
#include "ShowFixture.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sstream>

using namespace std::chrono_literals;

namespace {

using R = TRunningState;

class RunningCuesTest : public ShowControlTest {
protected:
    void SetUp() override {
        ShowControlTest::SetUp();
        Show.SetGoLockout(0ms);
    }
    TCue& Cue(int32_t number) { return *Cues.Items(number - 1); }
    uint64_t Id(int32_t number) { return Cue(number).Identity(); }
    // The running list as cue numbers and states, in its order.
    std::vector<std::pair<int32_t, R>> Running() {
        std::vector<std::pair<int32_t, R>> running;
        for (const TRunningCue& entry : Show.Running().Entries())
            running.emplace_back(Cues.IndexOfIdentity(entry.Identity).Number(), entry.State);
        return running;
    }
    // Lets the fake clock move on, the due waits fire and the list catch up.
    void Pass(std::chrono::milliseconds time) {
        Clock.Advance(time);
        Show.FireDueWaits();
        QCoreApplication::processEvents();
    }
    void StopEverything() {
        Show.StopAll();
        for (int32_t i = 0; i < Cues.Count(); ++i)
            Cues.Items(i)->StopNow();
        Show.Running().Refresh();
    }
    void PlayToEnd(int32_t number) {
        const TCue& cue = Cue(number);
        const HSTREAM stream = cue.Stream();
        EndFromAudioThread(stream, AUDIO_END_FILE, cue.UID);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                QCoreApplication::processEvents();
                return Running().empty() || Running().front().first != number || cue.Loop;
            },
            5000));
    }
    // The stream a recorded call of the fake library was made for.
    static HSTREAM StreamOf(const std::string& call) {
        std::istringstream words(call);
        std::string verb;
        HSTREAM stream = 0;
        words >> verb >> stream;
        return stream;
    }
    bool Called(const std::string& call) const {
        return std::find(Audio.Calls.begin(), Audio.Calls.end(), call) != Audio.Calls.end();
    }
};

} // namespace

TEST_F(RunningCuesTest, FollowsCuesFromEverySourceInTheOrderTheyStarted) {
    QSignalSpy changed(&Show.Running(), &TRunningCues::Changed);
    Cues.SetCurrent(TCueNumber(2));
    Show.Go();
    Show.RunCommandLine({"play", "4"});
    Show.Run({TOscCommand::ocCueStart, 1});
    Show.Start(TCueNumber(3));
    EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{
                             {2, R::Playing}, {4, R::Playing}, {1, R::Playing}, {3, R::Playing}}));
    EXPECT_EQ(changed.count(), 4);
    Show.Start(TCueNumber(3));
    EXPECT_EQ(changed.count(), 4) << "starting a playing cue again changes nothing";
}

TEST_F(RunningCuesTest, ShowsWhatEachCueDoesAndDropsItOnceItHasStopped) {
    Cue(1).SetFadeOut(20);
    Cue(2).SetPreWait(50);
    Show.Start(TCueNumber(1));
    Show.Start(TCueNumber(2));
    Show.Start(TCueNumber(3));
    Show.Start(TCueNumber(4));
    EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{
                             {1, R::Playing}, {2, R::Waiting}, {3, R::Playing}, {4, R::Playing}}));
    Show.Stop(TCueNumber(1));
    Show.Pause(TCueNumber(2));
    Show.Pause(TCueNumber(3));
    Show.Run({TOscCommand::ocCueStop, 4});
    EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{
                             {1, R::Fading}, {2, R::WaitPaused}, {3, R::Paused}}));
    Show.Start(TCueNumber(2));
    Pass(5s);
    PlayToEnd(3);
    EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{{1, R::Fading}, {2, R::Playing}}))
        << "a paused cue stopped through its end notice leaves; a resumed wait starts its cue";
    EXPECT_EQ(Cue(3).State(), csStopped);
    EndFromAudioThread(Cue(1).Stream(), AUDIO_END_FADED, Cue(1).UID);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Running().size() == 1; }, 5000));
    EXPECT_EQ(Running().front().first, 2);
    Show.StopAll();
    EXPECT_TRUE(Show.Running().Empty());
}

TEST_F(RunningCuesTest, APendingContinueWaitsAndAnEndedOrLoopingCueIsKept) {
    Cue(1).SetContinue(TCueContinue::AutoContinue);
    Cue(1).SetPostWait(30);
    Cue(3).Loop = true;
    Show.Start(TCueNumber(1));
    Show.Start(TCueNumber(3));
    EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{
                             {1, R::Playing}, {2, R::Waiting}, {3, R::Playing}}));
    PlayToEnd(1);
    PlayToEnd(3);
    EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{{2, R::Waiting}, {3, R::Playing}}))
        << "the continue still waits after its cue ended; a looping cue plays on";
    Pass(3s);
    EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{{2, R::Playing}, {3, R::Playing}}));
}

TEST_F(RunningCuesTest, ACueTakenOutOfTheListLeavesIt) {
    Show.Start(TCueNumber(1));
    Show.Start(TCueNumber(2));
    std::unique_ptr<TCue> taken = Cues.Extract(0);
    Show.Running().Refresh();
    ASSERT_EQ(Running().size(), 1u);
    EXPECT_EQ(Show.Running().Entries().front().Identity, Cues.Items(0)->Identity());
    taken->StopNow();
}

TEST_F(RunningCuesTest, TheButtonsOfALineActOnThatCueOnly) {
    struct Case {
        const char* Name;
        std::function<void(TShowControl&, uint64_t)> Press;
        std::vector<std::pair<int32_t, R>> After;
        std::string Call;
    };
    const std::vector<Case> cases = {
        {"stop, with the cue's fade",
         [](TShowControl& s, uint64_t id) { s.StopRunning(id); },
         {{1, R::Playing}, {2, R::Fading}},
         "fadeout %2 1500"},
        {"fade out over the panel's time",
         [](TShowControl& s, uint64_t id) { s.FadeOutRunning(id, 40); },
         {{1, R::Playing}, {2, R::Fading}},
         "fadeout %2 4000"},
        {"pause",
         [](TShowControl& s, uint64_t id) { s.PauseOrResume(id); },
         {{1, R::Playing}, {2, R::Paused}},
         "pause %2"},
        {"pause and resume",
         [](TShowControl& s, uint64_t id) {
             s.PauseOrResume(id);
             s.PauseOrResume(id);
         },
         {{1, R::Playing}, {2, R::Playing}},
         "play %2"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        StopEverything();
        Audio.Calls.clear();
        Cue(1).SetFadeOut(15);
        Cue(2).SetFadeOut(15);
        Show.Start(TCueNumber(1));
        Show.Start(TCueNumber(2));
        const HSTREAM first = Cue(1).Stream();
        Audio.Calls.clear();
        c.Press(Show, Id(2));
        EXPECT_EQ(Running(), c.After);
        std::string call = c.Call;
        call.replace(call.find("%2"), 2, std::to_string(Cue(2).Stream()));
        EXPECT_TRUE(Called(call)) << call;
        for (const std::string& made : Audio.Calls)
            EXPECT_NE(StreamOf(made), first) << made;
    }
}

TEST_F(RunningCuesTest, StoppingOrFadingAWaitingLineCancelsTheWaitThatWouldStartIt) {
    for (const bool fade : {false, true}) {
        SCOPED_TRACE(fade ? "fade" : "stop");
        StopEverything();
        Cue(1).SetContinue(TCueContinue::AutoContinue);
        Cue(1).SetPostWait(20);
        Cue(3).SetPreWait(20);
        Show.Start(TCueNumber(1));
        Show.Start(TCueNumber(3));
        for (const int32_t number : {2, 3})
            fade ? Show.FadeOutRunning(Id(number), 30) : Show.StopRunning(Id(number));
        EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{{1, R::Playing}}));
        Pass(5s);
        EXPECT_EQ(Cue(2).State(), csStopped);
        EXPECT_EQ(Cue(3).State(), csStopped);
    }
}

TEST_F(RunningCuesTest, AnIdentityNoLongerInTheListChangesNothing) {
    Show.Start(TCueNumber(1));
    const uint64_t gone = Cues.Items(0)->Identity() + 1000;
    Show.StopRunning(gone);
    Show.PauseOrResume(gone);
    Show.FadeOutRunning(gone, 10);
    EXPECT_EQ(Running(), (std::vector<std::pair<int32_t, R>>{{1, R::Playing}}));
}
