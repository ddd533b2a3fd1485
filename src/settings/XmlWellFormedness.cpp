#include "XmlWellFormedness.h"

#include "XmlCharacters.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <vector>

namespace {

// Entity references are kept as written, so that they can be checked; text outside the root
// is kept, so that it can be seen.
constexpr unsigned RawParseOptions =
    (pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_declaration |
     pugi::parse_doctype | pugi::parse_fragment) &
    ~pugi::parse_escapes;

const std::string UndefinedEntity = "Undefined entity";
const std::string InvalidCharacterReference = "Invalid character reference";
const std::string ForbiddenCharacter = "Character not allowed in XML";

bool IsPredefinedEntity(std::string_view name) {
    static constexpr std::array<std::string_view, 5> Names = {"amp", "lt", "gt", "quot", "apos"};
    return std::ranges::find(Names, name) != Names.end();
}

// The character reference after "&#", up to its ";": a character that XML allows?
bool IsValidCharacterReference(std::string_view digits) {
    int base = 10;
    if (!digits.empty() && digits[0] == 'x') {
        base = 16;
        digits.remove_prefix(1);
    }
    uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (error != std::errc() || stop != end || value > 0x10FFFF)
        return false;
    return IsXmlChar(static_cast<char32_t>(value));
}

// Text or an attribute value as written, references unexpanded.
std::optional<std::string> ReferenceFault(std::string_view text) {
    for (size_t amp = text.find('&'); amp != std::string_view::npos;
         amp = text.find('&', amp + 1)) {
        const size_t end = text.find(';', amp);
        if (end == std::string_view::npos)
            return UndefinedEntity;
        const std::string_view name = text.substr(amp + 1, end - amp - 1);
        if (name.starts_with('#')) {
            if (!IsValidCharacterReference(name.substr(1)))
                return InvalidCharacterReference;
        } else if (!IsPredefinedEntity(name)) {
            return UndefinedEntity;
        }
    }
    return std::nullopt;
}

std::optional<std::string> TextFault(std::string_view text, bool withReferences) {
    if (FindForbiddenXmlChar(text) != std::string_view::npos)
        return ForbiddenCharacter;
    return withReferences ? ReferenceFault(text) : std::nullopt;
}

std::optional<std::string> AttributeFault(pugi::xml_node element) {
    std::vector<std::string_view> names;
    for (const pugi::xml_attribute attribute : element.attributes()) {
        names.emplace_back(attribute.name());
        if (auto fault = TextFault(attribute.name(), false))
            return fault;
        if (auto fault = TextFault(attribute.value(), true))
            return fault;
    }
    std::ranges::sort(names);
    if (std::ranges::adjacent_find(names) != names.end())
        return "Duplicate attribute";
    return std::nullopt;
}

std::optional<std::string> NodeFault(pugi::xml_node node, size_t depth, size_t& roots) {
    const bool topLevel = node.parent().type() == pugi::node_document;
    switch (node.type()) {
    case pugi::node_element:
        if (topLevel && ++roots > 1)
            return "More than one root element";
        if (depth > MaxXmlNestingDepth)
            return "Elements nested too deeply";
        if (auto fault = TextFault(node.name(), false))
            return fault;
        return AttributeFault(node);
    case pugi::node_pcdata:
    case pugi::node_cdata:
        if (topLevel)
            return "Text outside the root element";
        return TextFault(node.value(), node.type() == pugi::node_pcdata);
    default:
        if (auto fault = TextFault(node.name(), false))
            return fault;
        if (auto fault = TextFault(node.value(), false))
            return fault;
        return AttributeFault(node);
    }
}

TXmlFault FaultAt(pugi::xml_node node, std::string description) {
    return {std::move(description),
            static_cast<size_t>(std::max<ptrdiff_t>(node.offset_debug(), 0))};
}

} // namespace

std::optional<TXmlFault> FindXmlFault(std::string_view bytes) {
    pugi::xml_document raw;
    const pugi::xml_parse_result result =
        raw.load_buffer(bytes.data(), bytes.size(), RawParseOptions);
    if (!result)
        return std::nullopt;
    // pugixml ends a UTF-8 document at its first NUL.
    if (result.encoding == pugi::encoding_utf8)
        if (const size_t nul = bytes.find('\0'); nul != std::string_view::npos)
            return TXmlFault{ForbiddenCharacter, nul};
    // Depth first without recursion: the nesting may be deep.
    size_t depth = 1;
    size_t roots = 0;
    pugi::xml_node node = raw.first_child();
    while (node) {
        if (auto fault = NodeFault(node, depth, roots))
            return FaultAt(node, std::move(*fault));
        if (node.first_child()) {
            node = node.first_child();
            ++depth;
            continue;
        }
        while (node && !node.next_sibling()) {
            node = node.parent();
            --depth;
        }
        if (node)
            node = node.next_sibling();
    }
    return std::nullopt;
}
