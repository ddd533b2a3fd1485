#pragma once

#include <cstdint>

namespace pugi {
class xml_node;
}

// How long after a GO a further GO is dropped: the "GoLockout" element of Settings.xml, with
// the attribute Milliseconds; 0 lets every GO through. A document holds the element only when
// it differs from the default.
class TGoLockout {
public:
    // Longer than a bounced key or a double tap by mistake (well under 300 ms apart), shorter
    // than a deliberate second GO.
    static constexpr int32_t DefaultMilliseconds = 300;
    static constexpr int32_t MaxMilliseconds = 10000;

    int32_t Milliseconds = DefaultMilliseconds;

    bool IsDefault() const { return Milliseconds == DefaultMilliseconds; }

    // Reads "GoLockout" below `element`; without it nothing changes, a missing or unreadable
    // attribute gives the default, a value out of range the nearest bound.
    void LoadFromXML(pugi::xml_node element);
    // Appends "GoLockout" to `element` unless the lockout is the default.
    void SaveToXML(pugi::xml_node element) const;
};
