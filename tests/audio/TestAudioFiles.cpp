#include "TestAudioFiles.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <stdexcept>

namespace {
template <typename T> void Put(std::ofstream& out, T value) {
    out.write(reinterpret_cast<const char*>(&value), sizeof(value));
}
} // namespace

void WriteFloatWav(const std::filesystem::path& path, int channels, int rate,
                   const std::vector<float>& samples) {
    std::ofstream out(path, std::ios::binary);
    const auto dataBytes = static_cast<uint32_t>(samples.size() * sizeof(float));
    out.write("RIFF", 4);
    Put<uint32_t>(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    Put<uint32_t>(out, 16);
    Put<uint16_t>(out, 3);
    Put<uint16_t>(out, static_cast<uint16_t>(channels));
    Put<uint32_t>(out, static_cast<uint32_t>(rate));
    Put<uint32_t>(out, static_cast<uint32_t>(rate * channels * 4));
    Put<uint16_t>(out, static_cast<uint16_t>(channels * 4));
    Put<uint16_t>(out, 32);
    out.write("data", 4);
    Put<uint32_t>(out, dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), dataBytes);
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::vector<float> Sine(double hertz, int rate, size_t frames, float level) {
    std::vector<float> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = level * static_cast<float>(std::sin(2 * std::numbers::pi * hertz *
                                                         static_cast<double>(i) / rate));
    return samples;
}

std::vector<float> OnChannel(const std::vector<float>& signal, int channels, int channel) {
    std::vector<float> samples(signal.size() * static_cast<size_t>(channels));
    for (size_t i = 0; i < signal.size(); ++i)
        samples[i * static_cast<size_t>(channels) + static_cast<size_t>(channel)] = signal[i];
    return samples;
}

TTempDir::TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "trelmo-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary directory");
    FPath = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}
