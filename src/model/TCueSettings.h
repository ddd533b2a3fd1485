#pragma once

#include "TCue.h"

#include <cstdint>
#include <string>

// The settings of a cue that the operator edits: everything stored but the UID. Taken before and
// after an edit, so that the edit can be taken back and made again.
struct TCueSettings {
    std::string Description;
    std::string FileName;
    int32_t AudioChannel = 1;
    int32_t Pan = 0;
    int32_t Pitch = 100;
    int32_t VolumeDB = 0;
    bool Loop = false;
    int32_t FadeIn = 0;
    int32_t FadeOut = 0;
    int32_t PreWait = 0;
    int32_t PostWait = 0;
    TCueContinue Continue = TCueContinue::None;

    static TCueSettings Of(const TCue& cue);
    // Writes the settings to the cue, the numbers through its clamping setters.
    void ApplyTo(TCue& cue) const;

    bool operator==(const TCueSettings&) const = default;
};
