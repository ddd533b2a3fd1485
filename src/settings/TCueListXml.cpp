#include "TCueListXml.h"

#include "TCueXml.h"
#include "XmlValues.h"

#include "TextRules.h"

void LoadFromXML(TCueList& list, pugi::xml_node element,
                 const std::function<void(const TCue& cue)>& onStateChange) {
    list.Clear();
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || !SameTextAscii(child.name(), "Cue"))
            continue;
        auto cue = std::make_unique<TCue>();
        TCue& added = *cue;
        list.Add(std::move(cue));
        LoadFromXML(added, child);
        if (onStateChange)
            added.OnStateChange = [onStateChange, cue = &added](const std::string&) {
                onStateChange(*cue);
            };
    }
}

void SaveToXML(const TCueList& list, pugi::xml_node element) {
    pugi::xml_node cueList = AppendXMLChild(element, "CueList");
    for (int32_t i = 0; i < list.Count(); ++i)
        SaveToXML(*list.Items(i), AppendXMLChild(cueList, "Cue"));
}
