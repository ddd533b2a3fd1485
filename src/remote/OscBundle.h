#pragma once

#include <optional>
#include <string_view>
#include <vector>

// Whether datagram is an OSC bundle: it starts with "#bundle".
bool IsOscBundle(std::string_view datagram);

// The messages of an OSC bundle in the order they stand, those of nested bundles in their
// place; none when the bundle is malformed (sizes that do not add up or are not multiples of 4,
// bundles nested deeper than MaxOscBundleDepth, or no message at all). Time tags are not read.
std::optional<std::vector<std::string_view>> OscBundleMessages(std::string_view bundle);

inline constexpr int MaxOscBundleDepth = 8;
