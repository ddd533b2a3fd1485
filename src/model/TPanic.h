#pragma once

#include "TCueList.h"

#include <chrono>
#include <cstdint>

// The panic key: every playing or paused cue fades to silence over FadeTenths and stops;
// pressed again while that fade lasts, everything stops at once. UI thread only.
class TPanic {
public:
    using TClock = std::chrono::steady_clock;

    static constexpr int32_t FadeTenths = 10;

    void Press(TCueList& cues, TClock::time_point now = TClock::now());

private:
    TClock::time_point FFadingUntil;
};
