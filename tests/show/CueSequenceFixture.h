#pragma once

// Cues that follow each other, run by the show control on the fake clock and the fake library.
#include "ShowFixture.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

constexpr TCueState S = csStopped, P = csPlaying, Z = csPaused;
constexpr TCueContinue No = TCueContinue::None, AC = TCueContinue::AutoContinue,
                       AF = TCueContinue::AutoFollow;

class CueSequenceTest : public ShowControlTest {
protected:
    void SetUp() override {
        ShowControlTest::SetUp();
        Show.SetGoLockout(0ms);
    }
    TCue& Cue(int32_t number) { return *Cues.Items(number - 1); }
    void Set(int32_t number, TCueContinue next, int32_t preWait = 0, int32_t postWait = 0) {
        Cue(number).SetContinue(next);
        Cue(number).SetPreWait(preWait);
        Cue(number).SetPostWait(postWait);
    }
    // Lets the fake clock move on and the sequencer's timer come due.
    void Pass(std::chrono::milliseconds time) {
        Clock.Advance(time);
        Show.FireDueWaits();
    }
    // Cue `number` plays its file to the end, told from the audio thread.
    void PlayToEnd(int32_t number, uint32_t how = AUDIO_END_FILE) {
        const TCue& cue = Cue(number);
        EndFromAudioThread(cue.Stream(), how, cue.UID);
        ASSERT_TRUE(QTest::qWaitFor([&] { return cue.State() == csStopped; }, 5000));
        QCoreApplication::processEvents();
    }
    // The cue numbers in the order their sound was started.
    std::vector<int32_t> StartOrder() const {
        std::vector<int32_t> order;
        for (const std::string& call : Audio.Calls)
            for (int32_t i = 1; i <= Cues.Count(); ++i)
                if (Cues.Items(i - 1)->Stream() != 0 &&
                    call == "play " + std::to_string(Cues.Items(i - 1)->Stream()))
                    order.push_back(i);
        return order;
    }
    size_t Called(const std::string& call) const {
        return static_cast<size_t>(std::count(Audio.Calls.begin(), Audio.Calls.end(), call));
    }
    // The sequencer hands a follower over once the start that set it off is done.
    bool HandedOver(int32_t number) {
        return QTest::qWaitFor([&] { return Cue(number).Following(); }, 5000);
    }
    std::optional<std::chrono::milliseconds> Left(int32_t number) const {
        const auto left = Show.Sequencer().TimeToStart(*Cues.Items(number - 1));
        if (!left)
            return std::nullopt;
        return std::chrono::duration_cast<std::chrono::milliseconds>(*left);
    }
};
