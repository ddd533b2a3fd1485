#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One remote command: a word as received and the cue number it names.
class TCommand {
public:
    std::string Name;
    int32_t Value = 1;

    // Whether Name is word, ignoring the case of the letters A to Z only.
    bool Is(std::string_view word) const;

    // The text read as a signed 32-bit integer: leading spaces, an optional sign, then decimal
    // digits or "$", "x", "X", "0x", "0X" and up to eight hexadecimal digits; nothing else.
    static std::optional<int32_t> ReadInteger(std::string_view text);
};
