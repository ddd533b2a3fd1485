#pragma once

#include <cstdint>

// How the number of a level, -60 to 0 as the operator reads it, becomes a gain.
enum class TVolumeScale : uint8_t {
    // The gain is linear in the number, as stored shows were set up with: -10 is only 1.6 dB
    // quieter than 0, -20 3.6 dB, -60 silent.
    Linear = 0,
    // The number is decibels: gain 10^(dB/20); -60 is silent.
    Decibels = 1,
};

// The levels every cue plays at: how a level becomes a gain, and the master level that
// multiplies the gain of every cue. Fades and stops act on top of this, in the engine.
struct TLevels {
    static constexpr int32_t Silent = -60;
    static constexpr int32_t Full = 0;

    TVolumeScale Scale = TVolumeScale::Linear;
    int32_t MasterDB = Full;

    // The gain of level `dB` under Scale: 0 at -60 and below, 1 at 0.
    float Gain(int32_t dB) const;
    // The volume of a stream played at level `dB`: its gain times the master's.
    float StreamVolume(int32_t dB) const;

    bool operator==(const TLevels&) const = default;
};

// The levels the cues of this process play at; the defaults until set. UI thread only.
const TLevels& PlaybackLevels();
void SetPlaybackLevels(const TLevels& levels);
