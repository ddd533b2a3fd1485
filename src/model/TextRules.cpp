#include "TextRules.h"

#include <algorithm>
#include <charconv>

namespace {

// Removes a hexadecimal marker from the front of the text; whether there was one.
bool TakeHexMarker(std::string_view& text) {
    for (const std::string_view marker : {"0x", "0X", "$", "x", "X"}) {
        if (text.starts_with(marker)) {
            text.remove_prefix(marker.size());
            return true;
        }
    }
    return false;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::optional<int32_t> ReadIntegerText(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const int base = TakeHexMarker(text) ? 16 : 10;
    const uint64_t limit = base == 16 ? 0xFFFFFFFFu : (negative ? 2147483648u : 2147483647u);
    uint64_t magnitude = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, magnitude, base);
    if (error != std::errc() || stop != end || magnitude > limit)
        return std::nullopt;
    uint32_t pattern = static_cast<uint32_t>(magnitude);
    if (negative)
        pattern = 0u - pattern;
    return static_cast<int32_t>(pattern);
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string WithClosingPeriod(std::string_view message) {
    std::string result(message);
    if (!result.empty() && static_cast<unsigned char>(result.back()) > '.')
        result += '.';
    return result;
}
