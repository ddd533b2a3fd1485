#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Text rules shared by the settings document, remote commands and the messages to the operator.
// Stateless; any thread.

// The whole text read as a signed 32-bit integer: any number of leading blanks (character 32
// only), an optional "-" or "+", then decimal digits within -2147483648..2147483647, or "$",
// "x", "X", "0x" or "0X" and up to eight hexadecimal digits (leading zeros not counted), taken
// as the 32-bit pattern and negated by a "-". Nothing may follow. None when it spells no
// integer.
std::optional<int32_t> ReadIntegerText(std::string_view text);

// Whether the two texts are equal, ignoring the case of the letters A to Z only.
bool SameTextAscii(std::string_view a, std::string_view b);

// The message with "." appended when its last character has a code above that of ".": a
// message that ends in a period, a line break or a closing parenthesis stays as it is.
std::string WithClosingPeriod(std::string_view message);
