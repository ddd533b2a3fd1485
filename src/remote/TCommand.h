#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// One remote command: a word as received and the cue number it names.
class TCommand {
public:
    std::string Name;
    int32_t Value = 1;

    // Whether Name is word, ignoring the case of the letters A to Z only.
    bool Is(std::string_view word) const;
};
