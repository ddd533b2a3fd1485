#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <string>

// Typed values in the elements of an XML document: integers in decimal, Booleans as "-1" and
// "0", texts with each CR LF stored as "&#xD;" and without the characters that XML 1.0 forbids
// (dropped on writing and reading). Readers never fail: a missing or malformed value gives the
// caller's default. Stateless; the caller owns the document.

bool WriteXMLString(pugi::xml_node element, const char* name, const std::string& text);
bool WriteXMLInteger(pugi::xml_node element, const char* name, int32_t value);
bool WriteXMLBoolean(pugi::xml_node element, const char* name, bool value);
std::string ReadXMLString(pugi::xml_node element, const char* name, const std::string& def);
int32_t ReadXMLInteger(pugi::xml_node element, const char* name, int32_t def);
bool ReadXMLBoolean(pugi::xml_node element, const char* name, bool def);
int32_t ReadXMLAttrInteger(pugi::xml_node element, const char* name, int32_t def);
// The element must not have an attribute of that name yet.
void WriteXMLAttrInteger(pugi::xml_node element, const char* name, int32_t value);
std::string EncodeLineBreaks(const std::string& text);
std::string DecodeLineBreaks(const std::string& text);

// The first child element whose qualified or local name is `name`, letter case significant;
// inside a namespace only children of the same namespace count. Null when there is none.
pugi::xml_node FindXMLChild(pugi::xml_node element, const char* name);

// The text of an element: empty without child nodes, the value of a lone text or character-data
// child; false for any other content.
bool ReadXMLText(pugi::xml_node element, std::string& text);

// Appends a child element with the indentation of the settings layout: CR LF and two spaces per
// level around it, so that a document saved with pugi::format_raw comes out indented.
pugi::xml_node AppendXMLChild(pugi::xml_node element, const char* name);

// Conversion of a whole text: false when it spells no Boolean.
bool TryTextToBool(const std::string& text, bool& value);
