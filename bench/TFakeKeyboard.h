#pragma once

#include <X11/Xlib.h>

#include <chrono>

// Keys pressed through the X server of DISPLAY with XTest, as if on its keyboard.
class TFakeKeyboard {
public:
    TFakeKeyboard();
    ~TFakeKeyboard();
    TFakeKeyboard(const TFakeKeyboard&) = delete;
    TFakeKeyboard& operator=(const TFakeKeyboard&) = delete;

    // Whether the display could be opened.
    bool Opened() const { return FDisplay != nullptr; }
    // Presses and releases `key`; returns when the press was sent.
    std::chrono::steady_clock::time_point Press(KeySym key);

private:
    Display* FDisplay = nullptr;
};
