#include "XmlValues.h"

#include "TextRules.h"
#include "XmlCharacters.h"

#include <string_view>

namespace {

const std::string LineBreak = "\r\n";
const std::string StoredLineBreak = "&#xD;";

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t found = text.find(from); found != std::string::npos;
         found = text.find(from, start)) {
        result.append(text, start, found - start);
        result += to;
        start = found + from.size();
    }
    result.append(text, start, std::string::npos);
    return result;
}

std::string_view Prefix(std::string_view qualifiedName) {
    const size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualifiedName.substr(0, colon);
}

std::string_view LocalName(std::string_view qualifiedName) {
    const size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

// The namespace name that the element's prefix (or the default namespace) is bound to.
std::string_view NamespaceOf(pugi::xml_node element) {
    const std::string_view prefix = Prefix(element.name());
    const std::string declaration =
        prefix.empty() ? std::string("xmlns") : "xmlns:" + std::string(prefix);
    for (pugi::xml_node node = element; node.type() == pugi::node_element; node = node.parent())
        if (pugi::xml_attribute attr = node.attribute(declaration.c_str()))
            return attr.value();
    return {};
}

size_t SkipBlanks(const std::string& text, size_t i) {
    while (i < text.size() && text[i] == ' ')
        ++i;
    return i;
}

size_t SkipDigits(const std::string& text, size_t i) {
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    return i;
}

// A decimal number with optional fraction and exponent, blanks around it; `nonZero` tells
// whether its value differs from zero.
bool TryDecimalNumber(const std::string& text, bool& nonZero) {
    size_t i = SkipBlanks(text, 0);
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    const size_t integerStart = i;
    i = SkipDigits(text, i);
    size_t mantissaDigits = i - integerStart;
    nonZero = text.find_first_not_of('0', integerStart) < i;
    if (i < text.size() && text[i] == '.') {
        const size_t fractionStart = ++i;
        i = SkipDigits(text, i);
        mantissaDigits += i - fractionStart;
        nonZero = nonZero || text.find_first_not_of('0', fractionStart) < i;
    }
    if (mantissaDigits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        const size_t exponentStart = i;
        i = SkipDigits(text, i);
        if (i == exponentStart)
            return false;
    }
    return SkipBlanks(text, i) == text.size();
}

bool AppendText(pugi::xml_node element, const char* name, const std::string& text) {
    pugi::xml_node child = AppendXMLChild(element, name);
    return child && child.text().set(text.c_str());
}

} // namespace

bool TryTextToBool(const std::string& text, bool& value) {
    bool nonZero = false;
    if (TryDecimalNumber(text, nonZero)) {
        value = nonZero;
        return true;
    }
    if (SameTextAscii(text, "True") || SameTextAscii(text, "False")) {
        value = SameTextAscii(text, "True");
        return true;
    }
    return false;
}

std::string EncodeLineBreaks(const std::string& text) {
    return ReplaceAll(text, LineBreak, StoredLineBreak);
}

std::string DecodeLineBreaks(const std::string& text) {
    return ReplaceAll(text, StoredLineBreak, LineBreak);
}

pugi::xml_node FindXMLChild(pugi::xml_node element, const char* name) {
    const std::string_view wanted(name);
    const std::string_view ns = NamespaceOf(element);
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        const std::string_view qualified = child.name();
        if (qualified != wanted && LocalName(qualified) != wanted)
            continue;
        if (ns.empty() || SameTextAscii(NamespaceOf(child), ns))
            return child;
    }
    return {};
}

bool ReadXMLText(pugi::xml_node element, std::string& text) {
    const pugi::xml_node first = element.first_child();
    if (!first) {
        text.clear();
        return true;
    }
    if (first.next_sibling())
        return false;
    if (first.type() != pugi::node_pcdata && first.type() != pugi::node_cdata)
        return false;
    text = first.value();
    return true;
}

pugi::xml_node AppendXMLChild(pugi::xml_node element, const char* name) {
    if (element.type() != pugi::node_element)
        return element.append_child(name);
    size_t depth = 0;
    for (pugi::xml_node p = element.parent(); p.type() == pugi::node_element; p = p.parent())
        ++depth;
    const std::string closing = "\r\n" + std::string(2 * depth, ' ');
    if (!element.first_child())
        element.append_child(pugi::node_pcdata).set_value(closing.c_str());
    element.append_child(pugi::node_pcdata).set_value("  ");
    pugi::xml_node child = element.append_child(name);
    element.append_child(pugi::node_pcdata).set_value(closing.c_str());
    return child;
}

bool WriteXMLString(pugi::xml_node element, const char* name, const std::string& text) {
    if (text.empty())
        return false;
    return AppendText(element, name, EncodeLineBreaks(WithoutForbiddenXmlChars(text)));
}

bool WriteXMLInteger(pugi::xml_node element, const char* name, int32_t value) {
    return AppendText(element, name, std::to_string(value));
}

bool WriteXMLBoolean(pugi::xml_node element, const char* name, bool value) {
    return AppendText(element, name, value ? "-1" : "0");
}

std::string ReadXMLString(pugi::xml_node element, const char* name, const std::string& def) {
    std::string text;
    const pugi::xml_node child = FindXMLChild(element, name);
    if (!child || !ReadXMLText(child, text))
        return def;
    return DecodeLineBreaks(WithoutForbiddenXmlChars(text));
}

int32_t ReadXMLInteger(pugi::xml_node element, const char* name, int32_t def) {
    std::string text;
    const pugi::xml_node child = FindXMLChild(element, name);
    if (!child || !ReadXMLText(child, text))
        return def;
    return ReadIntegerText(text).value_or(def);
}

bool ReadXMLBoolean(pugi::xml_node element, const char* name, bool def) {
    std::string text;
    bool value = false;
    const pugi::xml_node child = FindXMLChild(element, name);
    if (!child || !ReadXMLText(child, text) || !TryTextToBool(text, value))
        return def;
    return value;
}

int32_t ReadXMLAttrInteger(pugi::xml_node element, const char* name, int32_t def) {
    const pugi::xml_attribute attr = element.attribute(name);
    if (!attr)
        return def;
    return ReadIntegerText(attr.value()).value_or(def);
}

void WriteXMLAttrInteger(pugi::xml_node element, const char* name, int32_t value) {
    element.append_attribute(name).set_value(value);
}
