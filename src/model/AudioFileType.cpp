#include "AudioFileType.h"

#include "TextRules.h"

#include <array>
#include <string_view>

namespace {

std::string_view Extension(std::string_view name) {
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return {};
    std::string_view ext = name.substr(dot);
    if (ext.find('/') != std::string_view::npos)
        return {};
    return ext;
}

} // namespace

TAudioFileType GetAudioFileType(const std::string& name) {
    static constexpr std::array<std::string_view, 12> extensions = {
        ".aiff", ".avi", ".flac", ".m4a", ".mid", ".mov",
        ".mp3",  ".mpg", ".ogg",  ".wav", ".wma", ".wmv"};
    const std::string_view ext = Extension(name);
    if (ext.empty())
        return aftUnknown;
    for (size_t i = 0; i < extensions.size(); ++i)
        if (SameTextAscii(ext, extensions[i]))
            return static_cast<TAudioFileType>(i + 1);
    return aftUnknown;
}

float DBToVolume(int32_t dB) {
    return static_cast<float>((static_cast<double>(dB) + 60.0) / 60.0);
}
