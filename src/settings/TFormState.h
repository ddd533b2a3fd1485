#pragma once

#include <cstdint>

namespace pugi {
class xml_node;
}

// The main window's saved geometry, in pixels; no range is enforced.
class TFormState {
public:
    int32_t Top = 100;
    int32_t Left = 100;
    int32_t Height = 400;
    int32_t Width = 600;

    // Reads "Windows"/"Main" below `element`; without them nothing changes.
    void LoadFromXML(pugi::xml_node element);
    // Appends "Windows" with its "Main" to `element`.
    void SaveToXML(pugi::xml_node element) const;
};
