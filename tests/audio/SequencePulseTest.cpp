// Cues that one GO starts, on the real sound server: a group of four cues on two outputs, each
// on a side of its own, all sound; a cue that auto-follows another on the same output begins
// where that one ends.
#include "PulseShowFixture.h"
#include "TMonitorRecorder.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

class SequencePulse : public PulseShowFixture {
protected:
    // A cue whose file sounds on one side only (0: left, 1: right) of output `device`.
    TCue& AddCue(int32_t device, int side,
                 const std::vector<float>& signal = Sine(440, 44100, 44100, 0.5f)) {
        const std::string path =
            (Dir / ("cue" + std::to_string(Cues.Count() + 1) + ".wav")).string();
        WriteFloatWav(path, 2, 44100, OnChannel(signal, 2, side));
        auto cue = std::make_unique<TCue>();
        TCue& added = *cue;
        added.UID = std::to_string(Cues.Count() + 1);
        added.FileName = path;
        added.SetAudioChannel(device);
        Cues.Add(std::move(cue));
        return added;
    }
};

} // namespace

TEST_F(SequencePulse, OneGoStartsAGroupOfFourCuesOnTwoOutputs) {
    TMonitorRecorder out1("out1.monitor"), out2("out2.monitor");
    ASSERT_TRUE(out1.Start());
    ASSERT_TRUE(out2.Start());
    for (const auto& [device, side] :
         {std::pair(1, 0), std::pair(1, 1), std::pair(2, 0), std::pair(2, 1)})
        AddCue(device, side);
    for (int32_t i = 0; i < 3; ++i)
        Cues.Items(i)->SetContinue(TCueContinue::AutoContinue);
    Cues.SetCurrent(TCueNumber(1));
    Show = std::make_unique<TShowControl>(Cues, Clock);
    const auto start = TClock::now();
    Show->Go();
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(Cues.Items(i)->State(), csPlaying) << "cue " << i + 1;
    EXPECT_EQ(Cues.Current(), 4);
    ASSERT_TRUE(out1.WaitForSound(start, 0.3f, 3s));
    ASSERT_TRUE(out2.WaitForSound(start, 0.3f, 3s));
    const auto during = TClock::now();
    ASSERT_TRUE(out1.WaitUntilRecorded(during + 200ms, 3s));
    ASSERT_TRUE(out2.WaitUntilRecorded(during + 200ms, 3s));
    for (TMonitorRecorder* out : {&out1, &out2}) {
        const auto [left, right] = out->PeakSince(during);
        EXPECT_GT(left, 0.3f);
        EXPECT_GT(right, 0.3f);
    }
}

// The monitor's frames tell the seam without any clock: the cue that follows is heard, it does
// not begin before the one it follows has ended, and it begins about where that one ends.
// Exact figures are the benchmark's.
TEST_F(SequencePulse, AnAutoFollowCueBeginsWhereTheCueBeforeEnds) {
    constexpr float Level = 0.2f;
    TMonitorRecorder out1("out1.monitor");
    ASSERT_TRUE(out1.Start());
    // Steady levels: each frame tells which cue sounds.
    AddCue(1, 0, std::vector<float>(17640, 0.4f)).SetContinue(TCueContinue::AutoFollow);
    AddCue(1, 1, std::vector<float>(13230, 0.4f));
    Cues.SetCurrent(TCueNumber(1));
    Show = std::make_unique<TShowControl>(Cues, Clock);
    const auto start = TClock::now();
    Show->Go();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cues.Items(1)->State() == csPlaying; }, 5000));
    ASSERT_TRUE(out1.WaitForSound(start, Level, 3s));
    ASSERT_TRUE(out1.WaitUntilRecorded(TClock::now() + 400ms, 3s));
    const std::vector<float> heard = out1.SoundFrom(start, Level, 44100);
    std::optional<size_t> leftEnd, rightStart;
    for (size_t frame = 0; frame * 2 + 1 < heard.size(); ++frame) {
        if (std::abs(heard[frame * 2]) > Level)
            leftEnd = frame;
        if (!rightStart && std::abs(heard[frame * 2 + 1]) > Level)
            rightStart = frame;
    }
    ASSERT_TRUE(leftEnd && rightStart) << "both cues are heard";
    EXPECT_GT(*rightStart + 44, *leftEnd) << "they overlap by no more than a millisecond";
    EXPECT_LT(*rightStart, *leftEnd + 4410) << "the second begins within 100 ms of the end";
    EXPECT_TRUE(QTest::qWaitFor([&] { return Cues.Items(1)->State() == csStopped; }, 5000))
        << "the second ends as a cue that played to its end";
}
