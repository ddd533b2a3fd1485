#pragma once

#include <string>
#include <string_view>

// The SHA-256 digest of bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);
