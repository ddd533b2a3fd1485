#pragma once

#include "TLevels.h"

#include <cstdint>

namespace pugi {
class xml_node;
}

// How the show plays: the "Playback" element of Settings.xml, with the attributes Master-dB (the
// master level, -60 to 0), Scale ("Decibels" for true decibels, else the linear scale) and
// PanicFade (the panic time in tenths of a second). A document holds the element only when
// one of them differs from its default, and the element holds only those that do.
class TPlaybackSettings {
public:
    static constexpr int32_t DefaultPanicFade = 10;
    static constexpr int32_t MaxPanicFade = 600;

    TLevels Levels;
    int32_t PanicFade = DefaultPanicFade;

    bool IsDefault() const { return Levels == TLevels() && PanicFade == DefaultPanicFade; }

    // Reads "Playback" below `element`; without it nothing changes, a missing or unreadable
    // attribute gives its default, a number out of range the nearest bound.
    void LoadFromXML(pugi::xml_node element);
    // The volume scale of the document below `element`: the one its cue levels were set in.
    static TVolumeScale ScaleIn(pugi::xml_node element);
    // Appends "Playback" to `element` unless everything is at its default.
    void SaveToXML(pugi::xml_node element) const;
};
