#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The characters that an XML 1.0 document may hold, on UTF-8 text. Bytes that are not part of
// a UTF-8 sequence are left to the caller.

// Whether the code point is a character of XML 1.0: tab, line feed, carriage return, and
// U+0020 to U+10FFFF without the surrogates, U+FFFE and U+FFFF.
bool IsXmlChar(char32_t c);

// Where the first character that XML 1.0 forbids starts; npos when there is none.
size_t FindForbiddenXmlChar(std::string_view text);

// The text without the characters that XML 1.0 forbids.
std::string WithoutForbiddenXmlChars(std::string_view text);
