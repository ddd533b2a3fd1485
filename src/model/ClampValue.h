#pragma once

#include <algorithm>
#include <cstdint>

// Limits to the upper bound first, then to the lower one.
constexpr int32_t ClampValue(int32_t value, int32_t low, int32_t high) {
    return std::max(low, std::min(value, high));
}
