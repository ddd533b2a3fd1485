#pragma once

#include <cstdint>

// The main window's saved geometry, in pixels; no range is enforced.
class TFormState {
public:
    int32_t Top = 100;
    int32_t Left = 100;
    int32_t Height = 400;
    int32_t Width = 600;
};
