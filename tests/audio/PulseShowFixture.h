#pragma once

#include "PulseEngineFixture.h"
#include "TShowControl.h"
#include "TestAudioFiles.h"

#include <memory>

// A show on the real sound server: a cue list, a clock and, once a test makes it, the show
// control over them.
class PulseShowFixture : public PulseEngineFixture {
protected:
    void TearDown() override {
        Show.reset();
        Cues.Clear();
        SetPlaybackLevels({});
        PulseEngineFixture::TearDown();
    }

    TTempDir Dir;
    TCueList Cues;
    TShowClock Clock;
    std::unique_ptr<TShowControl> Show;
};
