#include "TLevels.h"

#include "AudioFileType.h"

#include <algorithm>
#include <cmath>

namespace {
TLevels g_playbackLevels;
} // namespace

float TLevels::Gain(int32_t dB) const {
    const int32_t level = std::clamp(dB, Silent, Full);
    if (Scale == TVolumeScale::Linear)
        return DBToVolume(level);
    if (level == Silent)
        return 0.0f;
    return static_cast<float>(std::pow(10.0, static_cast<double>(level) / 20.0));
}

float TLevels::StreamVolume(int32_t dB) const {
    return Gain(dB) * Gain(MasterDB);
}

const TLevels& PlaybackLevels() {
    return g_playbackLevels;
}

void SetPlaybackLevels(const TLevels& levels) {
    g_playbackLevels = levels;
}
