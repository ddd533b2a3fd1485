#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Whether a document that pugixml has read is well-formed XML 1.0, as a conforming reader
// (QXmlStreamReader) decides; and two limits of our own: entities that the document declares
// are never expanded, so a reference to one is refused, and nesting deeper than this reader
// takes in is refused.

// Deeper documents are refused whole rather than read in part; no settings document comes near.
constexpr size_t MaxXmlNestingDepth = 1000;

struct TXmlFault {
    std::string Description;
    // Byte offset in the document where the fault was found.
    size_t Offset = 0;
};

// The first fault of a document that pugixml has parsed without error; none when it is
// well-formed.
std::optional<TXmlFault> FindXmlFault(std::string_view bytes);
