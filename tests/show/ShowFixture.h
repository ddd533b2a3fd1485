#pragma once

#include "TShowControl.h"

#include "FakeAudioLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

class TFakeClock : public TShowClock {
public:
    TTimePoint Now() const override { return FNow; }
    void Advance(std::chrono::milliseconds by) { FNow += by; }

private:
    TTimePoint FNow = TTimePoint() + std::chrono::hours(1);
};

// Four cues of one existing file, cue 1 the standby cue, on the fake sound library and clock.
class ShowControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(File) << "x";
        for (int i = 1; i <= 4; ++i) {
            auto cue = std::make_unique<TCue>();
            cue->UID = std::to_string(i);
            cue->FileName = File.string();
            Cues.Add(std::move(cue));
        }
        Cues.SetCurrent(TCueNumber(1));
    }
    void TearDown() override { std::filesystem::remove(File); }

    TCueState State(int32_t number) const { return Cues.Items(number - 1)->State(); }
    std::vector<TCueState> States() const {
        std::vector<TCueState> states;
        for (int32_t i = 1; i <= Cues.Count(); ++i)
            states.push_back(State(i));
        return states;
    }
    // Tells the end of a stream from another thread, as the audio engine does.
    void EndFromAudioThread(HSTREAM stream, uint32_t how, const std::string& uid) {
        std::thread([&] {
            CueEndSyncProc()(0, stream, how, const_cast<std::string*>(&uid));
        }).join();
    }

    FakeAudioLibrary Audio;
    std::filesystem::path File = std::filesystem::temp_directory_path() /
                                 ("trelmo-show-" + std::to_string(::getpid()) + ".wav");
    TCueList Cues;
    TFakeClock Clock;
    TShowControl Show{Cues, Clock};
};
