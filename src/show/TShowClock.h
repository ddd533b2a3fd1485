#pragma once

#include <chrono>

// The monotonic clock that show timing reads; tests put a clock of their own in its place.
class TShowClock {
public:
    using TTimePoint = std::chrono::steady_clock::time_point;

    virtual ~TShowClock() = default;
    virtual TTimePoint Now() const;
};
