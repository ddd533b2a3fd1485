#pragma once

#include <optional>
#include <string>

// How long an audio file plays at its own rate, in seconds. Any thread; each call opens the file
// on its own, so calls may run side by side.
class TAudioLengthProbe {
public:
    // The length the container states, or, where it only estimates one (a plain MP3 without a
    // header that counts its frames) or states none, the length counted over its packets.
    // Nothing for a file that is missing or holds no audio.
    static std::optional<double> Probe(const std::string& file);
};
