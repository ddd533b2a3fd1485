#include "TPeakMeter.h"

#include <gtest/gtest.h>

// Full scale shows 1, -6 dB (0.501) 0.9 on the 60 dB scale; a peak is held half a second, then the
// meter falls 30 dB a second, never below what comes in.
TEST(TPeakMeter, RisesAtOnceHoldsThenFallsOff) {
    struct Step {
        float Peak;
        double At;
        double Shown;
    };
    const Step steps[] = {
        {0.5011872f, 0.0, 0.9}, {0.0f, 0.4, 0.9}, {0.0f, 1.0, 0.65}, {0.001f, 1.5, 0.4},
        {0.001f, 2.0, 0.15},    {0.0f, 3.0, 0.0}, {1.0f, 3.1, 1.0},  {2.0f, 3.2, 1.0},
    };
    TPeakMeter meter;
    EXPECT_TRUE(meter.Silent());
    for (const Step& step : steps) {
        SCOPED_TRACE(step.At);
        meter.Feed(step.Peak, step.At);
        EXPECT_NEAR(meter.Level(), step.Shown, 1e-6);
    }
    EXPECT_FALSE(meter.Silent());
}
