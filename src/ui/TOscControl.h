#pragma once

#include "TOscServer.h"

#include <cstdint>

class TfmMain;

// OSC for the main window: listens where the production's Osc settings say and hands what
// arrives to the window's show control, as remote commands are. UI thread only.
class TOscControl {
public:
    explicit TOscControl(TfmMain& form);

    // Starts listening and says where on standard error. When it cannot, Trelmo runs on
    // without OSC and says why, once: on standard error and in the window's message strip.
    void Start();
    // The bound port; 0 while OSC is off.
    uint16_t Port() const { return FServer.Port(); }

private:
    TfmMain& FForm;
    TOscServer FServer;
};
