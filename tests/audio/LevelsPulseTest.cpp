// The levels of the show as the sound server plays them: a cue's Volume under either scale,
// and a live level, measured on the output's monitor.
#include "PulseShowFixture.h"
#include "TMonitorRecorder.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

// Long enough for every level of a case to be heard steadily.
constexpr size_t ToneFrames = 44100 * 8;
constexpr float Heard = 0.001f;
// After a start or a change, the gain ramp and the rewrite of what is queued are long over.
constexpr auto Settled = 300ms;
constexpr auto Listen = 300ms;

class LevelsPulse : public PulseShowFixture {
protected:
    void SetUp() override {
        PulseShowFixture::SetUp();
        if (!Ready())
            return;
        const std::string path = (Dir / "tone.wav").string();
        WriteFloatWav(path, 2, 44100, OnChannel(Sine(440, 44100, ToneFrames, 0.5f), 2, 0));
        auto cue = std::make_unique<TCue>();
        cue->UID = "1";
        cue->FileName = path;
        Cues.Add(std::move(cue));
        Show = std::make_unique<TShowControl>(Cues, Clock);
    }
    // The peak heard on the left of out1 once what was set at `since` has settled.
    float PeakAfter(TMonitorRecorder& out, TClock::time_point since) {
        const auto from = since + Settled;
        EXPECT_TRUE(out.WaitUntilRecorded(from + Listen, 5s));
        return out.PeakSince(from).first;
    }
    // Plays the cue at `volumeDB` from silence; the peak heard.
    float PeakPlayed(TMonitorRecorder& out, int32_t volumeDB) {
        TCue& cue = *Cues.Items(0);
        cue.StopNow();
        const auto quiet = TClock::now();
        EXPECT_TRUE(out.WaitForQuiet(quiet, Heard, 100ms, 5s));
        cue.SetVolumeDB(volumeDB);
        const auto start = TClock::now();
        Show->Start(TCueNumber(1));
        EXPECT_TRUE(out.WaitForSound(start, Heard, 5s));
        return PeakAfter(out, TClock::now());
    }
    static double Decibels(float peak, float reference) {
        return 20.0 * std::log10(static_cast<double>(peak) / static_cast<double>(reference));
    }
};

} // namespace

TEST_F(LevelsPulse, MinusTwentyIsHeardAsTheScaleSays) {
    struct Case {
        TVolumeScale Scale;
        double Below;
    };
    // The linear scale: (-20 + 60) / 60 is 3.5 dB below full.
    const Case cases[] = {{TVolumeScale::Decibels, 20.0}, {TVolumeScale::Linear, 3.52}};
    TMonitorRecorder out("out1.monitor");
    ASSERT_TRUE(out.Start());
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Scale));
        Show->SetLevels({c.Scale, 0});
        const float full = PeakPlayed(out, 0);
        ASSERT_GT(full, 0.3f);
        const float minus20 = PeakPlayed(out, -20);
        EXPECT_NEAR(Decibels(minus20, full), -c.Below, 0.5);

        // The same level set live on the playing cue, and the master on top of it.
        Cues.Items(0)->SetVolumeDB(0);
        Show->SetLiveLevel(*Cues.Items(0), 0);
        const float back = PeakAfter(out, TClock::now());
        EXPECT_NEAR(Decibels(back, full), 0.0, 0.5);
        Show->SetLiveLevel(*Cues.Items(0), -20);
        EXPECT_NEAR(Decibels(PeakAfter(out, TClock::now()), full), -c.Below, 0.5);
        EXPECT_EQ(Cues.Items(0)->VolumeDB(), 0);
        Show->SetLevels({c.Scale, -20});
        EXPECT_NEAR(Decibels(PeakAfter(out, TClock::now()), full), -2 * c.Below, 0.5);
        Cues.Items(0)->StopNow();
    }
}
