// One GO of a group on the real sound server: four cues on two outputs, each on a side of its
// own, all sound.
#include "SoundServerCheck.h"
#include "TAudioEngine.h"
#include "TMonitorRecorder.h"
#include "TPulseOutput.h"
#include "TShowControl.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

class SequencePulse : public ::testing::Test {
protected:
    void SetUp() override {
        FEngine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
        SKIP_WITHOUT_SOUND_SERVER(FEngine->AudioGetDeviceInfo(1, nullptr),
                                  FEngine->NoDeviceReason());
        SetAudioLibrary(FEngine.get());
    }
    void TearDown() override {
        Show.reset();
        Cues.Clear();
        SetAudioLibrary(nullptr);
        FEngine.reset();
    }

    // A cue whose file sounds on one side only (0: left, 1: right) of output `device`.
    TCue& AddCue(int32_t device, int side) {
        const std::string path =
            (Dir / ("cue" + std::to_string(Cues.Count() + 1) + ".wav")).string();
        WriteFloatWav(path, 2, 44100, OnChannel(Sine(440, 44100, 44100, 0.5f), 2, side));
        auto cue = std::make_unique<TCue>();
        TCue& added = *cue;
        added.UID = std::to_string(Cues.Count() + 1);
        added.FileName = path;
        added.SetAudioChannel(device);
        Cues.Add(std::move(cue));
        return added;
    }

    TTempDir Dir;
    TCueList Cues;
    TShowClock Clock;
    std::unique_ptr<TShowControl> Show;
    std::unique_ptr<TAudioEngine> FEngine;
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
