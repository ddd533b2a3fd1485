#include "TGoLockout.h"

#include "ClampValue.h"
#include "XmlValues.h"

void TGoLockout::LoadFromXML(pugi::xml_node element) {
    const pugi::xml_node lockout = FindXMLChild(element, "GoLockout");
    if (!lockout)
        return;
    Milliseconds = ClampValue(ReadXMLAttrInteger(lockout, "Milliseconds", DefaultMilliseconds), 0,
                              MaxMilliseconds);
}

void TGoLockout::SaveToXML(pugi::xml_node element) const {
    if (IsDefault())
        return;
    WriteXMLAttrInteger(AppendXMLChild(element, "GoLockout"), "Milliseconds", Milliseconds);
}
