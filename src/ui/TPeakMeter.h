#pragma once

// The level a row's meter shows: follows a rising peak at once, holds it a moment, then falls
// off steadily. On a 60 dB scale, 0 (silence) to 1 (full scale). UI thread only.
class TPeakMeter {
public:
    static constexpr double HoldSeconds = 0.5;
    // Decibels the meter falls per second once the hold has passed.
    static constexpr double FallDBPerSecond = 30;

    // `peak`: the largest sample (0 to 1) since the last call, at `now` seconds.
    void Feed(float peak, double now);
    double Level() const { return FLevel; }
    bool Silent() const { return FLevel <= 0; }

private:
    double FLevel = 0;
    double FHeldUntil = 0;
    double FLast = 0;
};
