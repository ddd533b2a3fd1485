#include "TGainEnvelope.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(TGainEnvelope, TaperIsStraightInDecibelsAboveTheFloorAndReachesSilence) {
    struct Case {
        float Scale, DB;
    };
    const Case cases[] = {{1.0f, 0.0f}, {0.525f, -30.0f}, {0.05f, -60.0f}, {0.025f, -66.02f}};
    for (const Case& c : cases) {
        EXPECT_NEAR(20 * std::log10(TGainEnvelope::Taper(c.Scale)), c.DB, 0.01) << c.Scale;
        EXPECT_NEAR(TGainEnvelope::Untaper(TGainEnvelope::Taper(c.Scale)), c.Scale, 1e-5);
    }
    EXPECT_EQ(TGainEnvelope::Taper(0.0f), 0.0f);
    EXPECT_EQ(TGainEnvelope::Untaper(0.0f), 0.0f);
    float last = 0;
    for (int i = 1; i <= 1000; ++i) {
        const float gain = TGainEnvelope::Taper(static_cast<float>(i) / 1000.0f);
        ASSERT_GT(gain, last) << i;
        last = gain;
    }
}

TEST(TGainEnvelope, MovesStartFromTheLevelReachedAndEndOnTheirLastFrame) {
    TGainEnvelope envelope;
    envelope.Reset(0.0f);
    envelope.MoveTo(100, 1.0f, 200, TGainEnvelope::ecRamp);
    EXPECT_EQ(envelope.At(99), 0.0f);
    EXPECT_EQ(envelope.At(100), 1.0f / 200);
    EXPECT_EQ(envelope.At(199), 0.5f);
    EXPECT_EQ(envelope.At(299), 1.0f);
    EXPECT_EQ(envelope.SettledFrom(), 300);
    // Down from halfway up: it begins where the ramp had got to.
    envelope.MoveTo(200, 0.0f, 1000, TGainEnvelope::ecFade);
    EXPECT_EQ(envelope.At(199), 0.5f);
    EXPECT_LT(envelope.At(200), 0.5f);
    EXPECT_GT(envelope.At(200), 0.49f);
    EXPECT_EQ(envelope.At(1199), 0.0f);
    EXPECT_GT(envelope.At(1198), 0.0f);
    EXPECT_EQ(envelope.Target(), 0.0f);
}

// A move asked for while frames were queued ahead is heard from the first frame rendered again.
TEST(TGainEnvelope, SteppingBackBeginsALaterMoveThere) {
    TGainEnvelope envelope;
    envelope.Reset(1.0f);
    envelope.MoveTo(5000, 0.0f, 100, TGainEnvelope::ecRamp);
    envelope.Rewound(1000);
    EXPECT_EQ(envelope.At(999), 1.0f);
    EXPECT_EQ(envelope.At(1099), 0.0f);
    EXPECT_EQ(envelope.SettledFrom(), 1100);
    envelope.Rewound(4000);
    EXPECT_EQ(envelope.SettledFrom(), 1100) << "a move begun before stays";
}
