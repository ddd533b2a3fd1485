#include "TLevels.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double Decibels(float gain) {
    return 20.0 * std::log10(static_cast<double>(gain));
}

} // namespace

// Stored shows were set up with this gain: it must not move.
TEST(TLevels, TheDefaultGainIsLinearInTheNumber) {
    const std::pair<int32_t, float> cases[] = {
        {0, 1.0f},   {-6, 0.9f},          {-10, 50.0f / 60.0f}, {-20, 40.0f / 60.0f},
        {-30, 0.5f}, {-59, 1.0f / 60.0f}, {-60, 0.0f},          {-100, 0.0f},
        {6, 1.0f},
    };
    const TLevels levels;
    for (const auto& [dB, gain] : cases)
        EXPECT_FLOAT_EQ(levels.Gain(dB), gain) << dB;
    // What the README tells operators about the default.
    EXPECT_NEAR(Decibels(levels.Gain(-10)), -1.6, 0.05);
    EXPECT_NEAR(Decibels(levels.Gain(-20)), -3.5, 0.05);
}

TEST(TLevels, TrueDecibelsGiveTheGainOfTheNumber) {
    const std::pair<int32_t, double> cases[] = {
        {0, 0.0}, {-1, -1.0}, {-6, -6.0}, {-10, -10.0}, {-20, -20.0}, {-40, -40.0}, {-59, -59.0},
    };
    const TLevels levels{TVolumeScale::Decibels, 0};
    for (const auto& [dB, expected] : cases)
        EXPECT_NEAR(Decibels(levels.Gain(dB)), expected, 1e-4) << dB;
    for (int32_t silent : {-60, -61, -1000})
        EXPECT_EQ(levels.Gain(silent), 0.0f) << silent;
    EXPECT_EQ(levels.Gain(3), 1.0f);
}

TEST(TLevels, TheMasterLevelMultipliesEveryCuesGainOnTheSameScale) {
    struct Case {
        TLevels Levels;
        int32_t CueDB;
        float Volume;
    };
    const Case cases[] = {
        {{TVolumeScale::Linear, 0}, -30, 0.5f},      {{TVolumeScale::Linear, -30}, -30, 0.25f},
        {{TVolumeScale::Linear, -60}, 0, 0.0f},      {{TVolumeScale::Decibels, -20}, 0, 0.1f},
        {{TVolumeScale::Decibels, -20}, -20, 0.01f}, {{TVolumeScale::Decibels, 0}, -60, 0.0f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(c.Levels.StreamVolume(c.CueDB), c.Volume)
            << static_cast<int>(c.Levels.Scale) << " " << c.Levels.MasterDB << " " << c.CueDB;
}
