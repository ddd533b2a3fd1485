#pragma once

#include <cstdint>
#include <string>

enum TAudioFileType : uint8_t {
    aftUnknown,
    aftAiff,
    aftAvi,
    aftFlac,
    aftM4a,
    aftMid,
    aftMov,
    aftMp3,
    aftMpg,
    aftOgg,
    aftWav,
    aftWma,
    aftWmv
};

// The type named by the file's extension, letter case ignored.
TAudioFileType GetAudioFileType(const std::string& name);

// Linear in decibels: -60 gives 0, 0 gives 1. Does not clamp.
float DBToVolume(int32_t dB);
