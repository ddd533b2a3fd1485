#include "TFormState.h"

#include "ClampValue.h"
#include "XmlValues.h"

void TFormState::LoadFromXML(pugi::xml_node element) {
    const pugi::xml_node main = FindXMLChild(FindXMLChild(element, "Windows"), "Main");
    if (!main)
        return;
    Top = ReadXMLAttrInteger(main, "Top", 100);
    Left = ReadXMLAttrInteger(main, "Left", 100);
    Height = ReadXMLAttrInteger(main, "Height", 400);
    Width = ReadXMLAttrInteger(main, "Width", 600);
    Maximized = false;
    TryTextToBool(main.attribute("Maximized").value(), Maximized);
    Scale = ClampValue(ReadXMLAttrInteger(main, "Scale", DefaultScale), MinScale, MaxScale);
    RunningCues = false;
    TryTextToBool(main.attribute("RunningCues").value(), RunningCues);
}

void TFormState::SaveToXML(pugi::xml_node element) const {
    pugi::xml_node main = AppendXMLChild(AppendXMLChild(element, "Windows"), "Main");
    WriteXMLAttrInteger(main, "Top", Top);
    WriteXMLAttrInteger(main, "Left", Left);
    WriteXMLAttrInteger(main, "Height", Height);
    WriteXMLAttrInteger(main, "Width", Width);
    if (Maximized)
        WriteXMLAttrInteger(main, "Maximized", -1);
    if (Scale != DefaultScale)
        WriteXMLAttrInteger(main, "Scale", Scale);
    if (RunningCues)
        WriteXMLAttrInteger(main, "RunningCues", -1);
}
