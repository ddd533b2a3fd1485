#include "TOscSettings.h"

#include "XmlValues.h"

void TOscSettings::LoadFromXML(pugi::xml_node element) {
    const pugi::xml_node osc = FindXMLChild(element, "Osc");
    if (!osc)
        return;
    Address = osc.attribute("Address").as_string(DefaultAddress);
    Port = ReadXMLAttrInteger(osc, "Port", DefaultPort);
}

void TOscSettings::SaveToXML(pugi::xml_node element) const {
    if (IsDefault())
        return;
    pugi::xml_node osc = AppendXMLChild(element, "Osc");
    osc.append_attribute("Address").set_value(Address.c_str());
    WriteXMLAttrInteger(osc, "Port", Port);
}
