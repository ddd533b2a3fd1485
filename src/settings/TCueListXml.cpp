#include "TCueListXml.h"

#include "TCueXml.h"
#include "XmlValues.h"

#include <string_view>

namespace {

bool IsCueName(std::string_view name) {
    static constexpr std::string_view Cue = "cue";
    if (name.size() != Cue.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i)
        if ((name[i] | 0x20) != Cue[i])
            return false;
    return true;
}

} // namespace

void LoadFromXML(TCueList& list, pugi::xml_node element,
                 const std::function<void(const std::string& uid)>& onStateChange) {
    list.Clear();
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element || !IsCueName(child.name()))
            continue;
        auto cue = std::make_unique<TCue>();
        TCue& added = *cue;
        list.Add(std::move(cue));
        LoadFromXML(added, child);
        added.OnStateChange = onStateChange;
    }
}

void SaveToXML(const TCueList& list, pugi::xml_node element) {
    pugi::xml_node cueList = AppendXMLChild(element, "CueList");
    for (int32_t i = 0; i < list.Count(); ++i)
        SaveToXML(*list.Items(i), AppendXMLChild(cueList, "Cue"));
}
