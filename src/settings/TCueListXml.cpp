#include "TCueListXml.h"

#include "TCueXml.h"
#include "XmlCharacters.h"
#include "XmlValues.h"

#include "TextRules.h"

void LoadFromXML(TCueList& list, pugi::xml_node element,
                 const std::function<void(const TCue& cue)>& onStateChange, TMediaNames& names,
                 const std::string& folder) {
    list.Clear();
    names.Clear();
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || !SameTextAscii(child.name(), "Cue"))
            continue;
        auto cue = std::make_unique<TCue>();
        TCue& added = *cue;
        list.Add(std::move(cue));
        LoadFromXML(added, child);
        added.FileName = names.Read(added.Identity(), added.FileName, folder);
        if (onStateChange)
            added.OnStateChange = [onStateChange, cue = &added](const std::string&) {
                onStateChange(*cue);
            };
    }
}

void SaveToXML(const TCueList& list, pugi::xml_node element, const TMediaNames& names,
               const std::string& folder) {
    pugi::xml_node cueList = AppendXMLChild(element, "CueList");
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TCue& cue = *list.Items(i);
        const pugi::xml_node written = AppendXMLChild(cueList, "Cue");
        SaveToXML(cue, written);
        const std::string stored = names.Stored(cue.Identity(), cue.FileName, folder);
        if (stored != cue.FileName)
            FindXMLChild(written, "FileName")
                .text()
                .set(EncodeLineBreaks(WithoutForbiddenXmlChars(stored)).c_str());
    }
}
