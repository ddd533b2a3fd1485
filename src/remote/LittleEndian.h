#pragma once

#include <cstdint>

// Reading and writing unsigned integers stored little-endian, whatever the machine's order.
template <typename T> T FromLittleEndian(const void* source) {
    const auto* bytes = static_cast<const unsigned char*>(source);
    T value = 0;
    for (unsigned i = 0; i < sizeof(T); ++i)
        value |= static_cast<T>(T{bytes[i]} << (8 * i));
    return value;
}

template <typename T> void ToLittleEndian(T value, void* target) {
    auto* bytes = static_cast<unsigned char*>(target);
    for (unsigned i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}
