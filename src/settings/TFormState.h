#pragma once

#include <cstdint>

namespace pugi {
class xml_node;
}

// The main window's saved geometry, in pixels; no range is enforced. While the window is
// maximised, the geometry is the one it returns to.
class TFormState {
public:
    int32_t Top = 100;
    int32_t Left = 100;
    int32_t Height = 400;
    int32_t Width = 600;
    // Written as the Boolean attribute "Maximized" of "Main" only when set.
    bool Maximized = false;
    // The size of the grid's and the running cues' text, in percent of the desktop's; written
    // as the attribute "Scale" of "Main" only when it is not 100.
    int32_t Scale = DefaultScale;

    static constexpr int32_t DefaultScale = 100;
    static constexpr int32_t MinScale = 50;
    static constexpr int32_t MaxScale = 300;
    // Whether the running cues are shown beside the grid; written as the Boolean attribute
    // "RunningCues" of "Main" only when they are shown.
    bool RunningCues = false;

    // Reads "Windows"/"Main" below `element`; without them nothing changes.
    void LoadFromXML(pugi::xml_node element);
    // Appends "Windows" with its "Main" to `element`.
    void SaveToXML(pugi::xml_node element) const;
};
