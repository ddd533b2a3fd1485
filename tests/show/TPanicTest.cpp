#include "TPanic.h"
#include "FakeAudioLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Four cues: playing, paused, stopped, and playing with a long fade-out of its own.
struct PanicFixture : ::testing::Test {
    FakeAudioLibrary Audio;
    TCueList Cues;
    fs::path File =
        fs::temp_directory_path() / ("trelmo-panic-" + std::to_string(::getpid()) + ".wav");

    void SetUp() override {
        std::ofstream(File) << "x";
        for (int i = 0; i < 4; ++i) {
            auto cue = std::make_unique<TCue>();
            cue->FileName = File.string();
            Cues.Add(std::move(cue));
        }
        Cues.Items(3)->SetFadeOut(100);
        ASSERT_TRUE(Cues.Items(0)->Play());
        ASSERT_TRUE(Cues.Items(1)->Play());
        ASSERT_TRUE(Cues.Items(1)->Pause());
        ASSERT_TRUE(Cues.Items(3)->Play());
        Audio.Calls.clear();
    }
    void TearDown() override { fs::remove(File); }
};

} // namespace

TEST_F(PanicFixture, FadesPlayingCuesOverASecondAndStopsPausedOnes) {
    TPanic panic;
    const auto now = TShowClock().Now();
    panic.Press(Cues, now);
    const std::vector<std::string> expected = {"fadeout 1 1000", "stop 2", "fadeout 3 1000"};
    EXPECT_EQ(Audio.Calls, expected);
    EXPECT_TRUE(Cues.Items(0)->Fading());
    EXPECT_EQ(Cues.Items(1)->State(), csStopped);
    EXPECT_EQ(Cues.Items(2)->State(), csStopped);
    EXPECT_TRUE(Cues.Items(3)->Fading());
}

TEST_F(PanicFixture, PressedAgainWhileTheFadeLastsStopsEverythingAtOnce) {
    struct Case {
        const char* Name;
        std::chrono::milliseconds After;
        bool AtOnce;
    };
    const Case cases[] = {{"at once", std::chrono::milliseconds(0), true},
                          {"near the end", std::chrono::milliseconds(999), true},
                          {"after the fade", std::chrono::milliseconds(1000), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (int32_t i : {0, 3}) {
            if (Cues.Items(i)->State() == csStopped) {
                ASSERT_TRUE(Cues.Items(i)->Play());
            }
        }
        TPanic panic;
        const auto now = TShowClock().Now();
        panic.Press(Cues, now);
        Audio.Calls.clear();
        panic.Press(Cues, now + c.After);
        EXPECT_EQ(Cues.Items(0)->State() == csStopped, c.AtOnce);
        EXPECT_EQ(Cues.AllStopped(), c.AtOnce);
        for (const std::string& call : Audio.Calls)
            EXPECT_EQ(call.rfind(c.AtOnce ? "stop " : "fadeout ", 0), 0u) << call;
    }
}
