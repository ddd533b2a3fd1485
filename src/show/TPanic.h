#pragma once

#include "TCueList.h"
#include "TShowClock.h"

#include <cstdint>

// The panic key: every playing or paused cue fades to silence over the panic time and stops;
// pressed again while that fade lasts, everything stops at once. UI thread only.
class TPanic {
public:
    using TTimePoint = TShowClock::TTimePoint;

    static constexpr int32_t DefaultFadeTenths = 10;

    void Press(TCueList& cues, TTimePoint now);

    // The panic time in tenths of a second; 0 stops at once.
    int32_t FadeTenths() const { return FFadeTenths; }
    void SetFadeTenths(int32_t tenths) { FFadeTenths = tenths < 0 ? 0 : tenths; }

private:
    TTimePoint FFadingUntil;
    int32_t FFadeTenths = DefaultFadeTenths;
};
