#include "TCommand.h"

#include <algorithm>
#include <charconv>

namespace {

char UpperAZ(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view HexDigitsAfterPrefix(std::string_view text) {
    for (std::string_view prefix : {"$", "0x", "0X", "x", "X"})
        if (text.starts_with(prefix))
            return text.substr(prefix.size());
    return {};
}

bool AllOf(std::string_view text, int (*isDigit)(int)) {
    return !text.empty() && std::ranges::all_of(text, [isDigit](char c) {
        return isDigit(static_cast<unsigned char>(c)) != 0;
    });
}

} // namespace

bool TCommand::Is(std::string_view word) const {
    return std::ranges::equal(Name, word, [](char a, char b) { return UpperAZ(a) == UpperAZ(b); });
}

std::optional<int32_t> TCommand::ReadInteger(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const std::string_view hex = HexDigitsAfterPrefix(text);
    if (AllOf(hex, isxdigit) && hex.size() <= 8) {
        uint32_t pattern = 0;
        std::from_chars(hex.data(), hex.data() + hex.size(), pattern, 16);
        const auto value = static_cast<int32_t>(pattern);
        return negative ? static_cast<int32_t>(0u - pattern) : value;
    }
    if (!AllOf(text, isdigit))
        return std::nullopt;
    int64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    const int64_t value = negative ? -magnitude : magnitude;
    if (error != std::errc() || end != text.data() + text.size() || value < INT32_MIN ||
        value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(value);
}
