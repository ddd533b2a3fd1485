#pragma once

#include "TCueList.h"
#include "TShowClock.h"

#include <cstdint>

// The panic key: every playing or paused cue fades to silence over FadeTenths and stops;
// pressed again while that fade lasts, everything stops at once. UI thread only.
class TPanic {
public:
    using TTimePoint = TShowClock::TTimePoint;

    static constexpr int32_t FadeTenths = 10;

    void Press(TCueList& cues, TTimePoint now);

private:
    TTimePoint FFadingUntil;
};
