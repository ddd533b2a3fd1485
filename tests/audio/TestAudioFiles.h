#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Writes a 32-bit float WAV file of interleaved samples.
void WriteFloatWav(const std::filesystem::path& path, int channels, int rate,
                   const std::vector<float>& samples);

// `frames` frames of a sine at `hertz`, amplitude `level`, on one channel.
std::vector<float> Sine(double hertz, int rate, size_t frames, float level = 0.5f);

// Every channel of `channels` silent except `channel`, which carries `signal`.
std::vector<float> OnChannel(const std::vector<float>& signal, int channels, int channel);

// A fresh directory, removed with the object.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return FPath / name; }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};
