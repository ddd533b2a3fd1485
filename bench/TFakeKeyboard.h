#pragma once

#include <chrono>

// Xlib's types, without its macros (None, Bool ...) that clash with the program's names.
struct _XDisplay;

// Keys pressed through the X server of DISPLAY with XTest, as if on its keyboard.
class TFakeKeyboard {
public:
    TFakeKeyboard();
    ~TFakeKeyboard();
    TFakeKeyboard(const TFakeKeyboard&) = delete;
    TFakeKeyboard& operator=(const TFakeKeyboard&) = delete;

    // Whether the display could be opened.
    bool Opened() const { return FDisplay != nullptr; }
    // Presses and releases `key` (an X KeySym); returns when the press was sent.
    std::chrono::steady_clock::time_point Press(unsigned long key);

private:
    _XDisplay* FDisplay = nullptr;
};
