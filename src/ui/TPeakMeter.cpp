#include "TPeakMeter.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double RangeDB = 60;

double ScaleOf(float peak) {
    if (!(peak > 0))
        return 0;
    return std::clamp((20 * std::log10(static_cast<double>(peak)) + RangeDB) / RangeDB, 0.0, 1.0);
}
} // namespace

void TPeakMeter::Feed(float peak, double now) {
    const double level = ScaleOf(peak);
    if (level >= FLevel) {
        FLevel = level;
        FHeldUntil = now + HoldSeconds;
    } else if (now > FHeldUntil) {
        const double fallen =
            FLevel - (now - std::max(FLast, FHeldUntil)) * FallDBPerSecond / RangeDB;
        FLevel = std::max(level, fallen);
    }
    FLast = now;
}
