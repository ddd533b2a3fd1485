#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What pugixml lets through although XML 1.0 forbids it: a second root element, text outside
// the root, a repeated attribute, entity references other than the five predefined ones,
// character references and characters that XML forbids, a NUL byte; and nesting deeper than
// this reader takes in.

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
