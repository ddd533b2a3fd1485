#include "TFakeKeyboard.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

TFakeKeyboard::TFakeKeyboard() : FDisplay(XOpenDisplay(nullptr)) {}

TFakeKeyboard::~TFakeKeyboard() {
    if (FDisplay)
        XCloseDisplay(FDisplay);
}

std::chrono::steady_clock::time_point TFakeKeyboard::Press(unsigned long key) {
    const KeyCode code = XKeysymToKeycode(FDisplay, key);
    const auto pressed = std::chrono::steady_clock::now();
    XTestFakeKeyEvent(FDisplay, code, True, CurrentTime);
    XFlush(FDisplay);
    XTestFakeKeyEvent(FDisplay, code, False, CurrentTime);
    XFlush(FDisplay);
    return pressed;
}
