#include "XmlCharacters.h"

namespace {

// Length of the forbidden character at `i`, 0 when the text there is allowed. In UTF-8 the
// forbidden ones are C0 controls but tab, LF and CR (one byte), the surrogates (ED A0..BF xx)
// and U+FFFE, U+FFFF (EF BF BE, EF BF BF).
size_t ForbiddenLength(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
    };
    const unsigned c = byte(0);
    if (c < 0x20)
        return IsXmlChar(c) ? 0 : 1;
    if (c == 0xED && byte(1) >= 0xA0 && byte(1) <= 0xBF && byte(2) >= 0x80)
        return 3;
    if (c == 0xEF && byte(1) == 0xBF && (byte(2) == 0xBE || byte(2) == 0xBF))
        return 3;
    return 0;
}

} // namespace

bool IsXmlChar(char32_t c) {
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    return (c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

size_t FindForbiddenXmlChar(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (ForbiddenLength(text, i) > 0)
            return i;
    return std::string_view::npos;
}

std::string WithoutForbiddenXmlChars(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t forbidden = ForbiddenLength(text, i);
        if (forbidden == 0)
            result += text[i++];
        else
            i += forbidden;
    }
    return result;
}
