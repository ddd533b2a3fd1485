#include "TPlaybackSettings.h"

#include "ClampValue.h"
#include "XmlValues.h"

#include <pugixml.hpp>

#include <cstring>

namespace {
constexpr const char* DecibelsName = "Decibels";
} // namespace

void TPlaybackSettings::LoadFromXML(pugi::xml_node element) {
    const pugi::xml_node playback = FindXMLChild(element, "Playback");
    if (!playback)
        return;
    Levels.MasterDB = ClampValue(ReadXMLAttrInteger(playback, "Master-dB", TLevels::Full),
                                 TLevels::Silent, TLevels::Full);
    Levels.Scale = ScaleIn(element);
    PanicFade =
        ClampValue(ReadXMLAttrInteger(playback, "PanicFade", DefaultPanicFade), 0, MaxPanicFade);
}

TVolumeScale TPlaybackSettings::ScaleIn(pugi::xml_node element) {
    const pugi::xml_node playback = FindXMLChild(element, "Playback");
    return std::strcmp(playback.attribute("Scale").value(), DecibelsName) == 0
               ? TVolumeScale::Decibels
               : TVolumeScale::Linear;
}

void TPlaybackSettings::SaveToXML(pugi::xml_node element) const {
    if (IsDefault())
        return;
    pugi::xml_node playback = AppendXMLChild(element, "Playback");
    if (Levels.MasterDB != TLevels::Full)
        WriteXMLAttrInteger(playback, "Master-dB", Levels.MasterDB);
    if (Levels.Scale == TVolumeScale::Decibels)
        playback.append_attribute("Scale").set_value(DecibelsName);
    if (PanicFade != DefaultPanicFade)
        WriteXMLAttrInteger(playback, "PanicFade", PanicFade);
}
