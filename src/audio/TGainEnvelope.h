#pragma once

#include <cstdint>

// A stream's gain over its output position, in frames: moves between silence (0) and full
// level (1) along a ramp or a fade. Pure arithmetic for the audio callback: no allocation, no
// lock. When the output steps back to render queued frames again, a move begun after that point
// begins at it instead, so a move asked for now is heard from the first frame rendered anew.
class TGainEnvelope {
public:
    enum TCurve : uint8_t {
        // Straight in gain: the few-millisecond ramps that keep starts and stops from clicking.
        ecRamp,
        // Even to the ear: straight in decibels down to FloorDB, then straight to silence.
        ecFade,
    };

    static constexpr float FloorDB = -60.0f;

    // Holds `level` from every position on.
    void Reset(float level);
    // From position `at` on, moves from the level there to `target` over `frames` frames; the
    // frame at `at + frames - 1` has `target` exactly.
    void MoveTo(int64_t at, float target, uint32_t frames, TCurve curve);
    // The output stepped back to `position`.
    void Rewound(int64_t position);

    float At(int64_t position) const;
    // The first position from which the level stays `Target()`.
    int64_t SettledFrom() const { return FNow.Start + FNow.Frames; }
    float Target() const { return FNow.To; }

    // Position on the fade's scale (0 silent, 1 full) of a gain, and back.
    static float Taper(float scale);
    static float Untaper(float gain);

private:
    struct TSegment {
        int64_t Start = 0;
        int64_t Frames = 0;
        float From = 1;
        float To = 1;
        TCurve Curve = ecRamp;
        // From and To on the fade's scale, for ecFade.
        float FromScale = 1;
        float ToScale = 1;

        TSegment() = default;
        TSegment(int64_t start, int64_t frames, float from, float to, TCurve curve);
        float At(int64_t position) const;
    };

    // The move under way, and the one before it, whose level a move that is moved back
    // starts from.
    TSegment FNow;
    TSegment FBefore;
};
