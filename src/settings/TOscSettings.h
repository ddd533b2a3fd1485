#pragma once

#include <cstdint>
#include <string>

namespace pugi {
class xml_node;
}

// Where the running instance takes OSC: the "Osc" element of Settings.xml, with the attributes
// Address and Port. The default keeps OSC on this computer; a document holds the element only
// when it differs from the default.
class TOscSettings {
public:
    static constexpr const char* DefaultAddress = "127.0.0.1";
    static constexpr int32_t DefaultPort = 53000;

    std::string Address = DefaultAddress;
    int32_t Port = DefaultPort;

    bool IsDefault() const { return Address == DefaultAddress && Port == DefaultPort; }

    // Reads "Osc" below `element`; without it nothing changes, a missing or unreadable
    // attribute gives its default.
    void LoadFromXML(pugi::xml_node element);
    // Appends "Osc" to `element` unless the settings are the default.
    void SaveToXML(pugi::xml_node element) const;
};
