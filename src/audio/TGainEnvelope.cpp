#include "TGainEnvelope.h"

#include <algorithm>
#include <cmath>

namespace {
// The share of a fade's scale below FloorDB, where the gain goes straight to silence.
constexpr float Knee = 0.05f;
const float FloorGain = std::pow(10.0f, TGainEnvelope::FloorDB / 20.0f);
} // namespace

float TGainEnvelope::Taper(float scale) {
    if (scale >= 1.0f)
        return 1.0f;
    if (scale <= 0.0f)
        return 0.0f;
    if (scale < Knee)
        return FloorGain * scale / Knee;
    return std::pow(10.0f, FloorDB * (1.0f - (scale - Knee) / (1.0f - Knee)) / 20.0f);
}

float TGainEnvelope::Untaper(float gain) {
    if (gain >= 1.0f)
        return 1.0f;
    if (gain <= 0.0f)
        return 0.0f;
    if (gain < FloorGain)
        return Knee * gain / FloorGain;
    return Knee + (1.0f - Knee) * (1.0f - 20.0f * std::log10(gain) / FloorDB);
}

TGainEnvelope::TSegment::TSegment(int64_t start, int64_t frames, float from, float to, TCurve curve)
    : Start(start), Frames(frames), From(from), To(to), Curve(curve), FromScale(Untaper(from)),
      ToScale(Untaper(to)) {}

float TGainEnvelope::TSegment::At(int64_t position) const {
    if (position < Start)
        return From;
    if (position - Start + 1 >= Frames)
        return To;
    const float progress = static_cast<float>(position - Start + 1) / static_cast<float>(Frames);
    if (Curve == ecRamp)
        return From + (To - From) * progress;
    return Taper(FromScale + (ToScale - FromScale) * progress);
}

void TGainEnvelope::Reset(float level) {
    FNow = {0, 0, level, level, ecRamp};
    FBefore = FNow;
}

void TGainEnvelope::MoveTo(int64_t at, float target, uint32_t frames, TCurve curve) {
    FBefore = FNow;
    FNow = {at, frames, FBefore.At(at - 1), target, curve};
}

void TGainEnvelope::Rewound(int64_t position) {
    if (position >= FNow.Start)
        return;
    FBefore.Start = std::min(FBefore.Start, position);
    FNow = {position, FNow.Frames, FBefore.At(position - 1), FNow.To, FNow.Curve};
}

float TGainEnvelope::At(int64_t position) const {
    return position < FNow.Start ? FBefore.At(position) : FNow.At(position);
}
