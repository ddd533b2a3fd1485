#pragma once

#include "SoundServerCheck.h"
#include "TAudioEngine.h"
#include "TPulseOutput.h"
#include "TShowControl.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <memory>

// A show on the real sound server: the engine plays through it, with a cue list, a clock and,
// once a test makes it, the show control over them. Skipped where no server can be reached.
class PulseShowFixture : public ::testing::Test {
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
        SetPlaybackLevels({});
        SetAudioLibrary(nullptr);
        FEngine.reset();
    }
    // Whether SetUp found the sound server.
    bool Ready() const { return !IsSkipped() && !HasFailure(); }

    TTempDir Dir;
    TCueList Cues;
    TShowClock Clock;
    std::unique_ptr<TShowControl> Show;
    std::unique_ptr<TAudioEngine> FEngine;
};
