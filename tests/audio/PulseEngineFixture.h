#pragma once

#include "SoundServerCheck.h"
#include "TAudioEngine.h"
#include "TPulseOutput.h"

#include <gtest/gtest.h>

#include <memory>

// The cue engine on the real sound server, as the program's audio library; skipped where no
// server can be reached.
class PulseEngineFixture : public ::testing::Test {
protected:
    void SetUp() override {
        FEngine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
        SKIP_WITHOUT_SOUND_SERVER(FEngine->AudioGetDeviceInfo(1, nullptr),
                                  FEngine->NoDeviceReason());
        SetAudioLibrary(FEngine.get());
    }
    void TearDown() override {
        SetAudioLibrary(nullptr);
        FEngine.reset();
    }
    // Whether SetUp found the sound server.
    bool Ready() const { return !IsSkipped() && !HasFailure(); }

    std::unique_ptr<TAudioEngine> FEngine;
};
