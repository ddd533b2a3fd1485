#include "TShowClock.h"

TShowClock::TTimePoint TShowClock::Now() const {
    return std::chrono::steady_clock::now();
}
