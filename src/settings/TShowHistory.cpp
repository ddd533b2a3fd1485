#include "TShowHistory.h"

#include "XmlValues.h"

#include <algorithm>

void TShowHistory::Remember(const std::string& path) {
    Forget(path);
    Recent.insert(Recent.begin(), path);
    if (Recent.size() > MaxRecent)
        Recent.resize(MaxRecent);
}

void TShowHistory::Forget(const std::string& path) {
    std::erase(Recent, path);
}

void TShowHistory::LoadFromXML(pugi::xml_node element) {
    Open = ReadXMLString(element, "ShowFile", "");
    Recent.clear();
    const pugi::xml_node recent = FindXMLChild(element, "RecentShows");
    for (pugi::xml_node show = recent.first_child(); show; show = show.next_sibling()) {
        std::string path;
        if (show.type() == pugi::node_element && std::string_view(show.name()) == "Show" &&
            ReadXMLText(show, path) && !path.empty() && Recent.size() < MaxRecent &&
            std::ranges::find(Recent, path) == Recent.end())
            Recent.push_back(path);
    }
}

void TShowHistory::SaveToXML(pugi::xml_node element) const {
    WriteXMLString(element, "ShowFile", Open);
    if (Recent.empty())
        return;
    const pugi::xml_node recent = AppendXMLChild(element, "RecentShows");
    for (const std::string& path : Recent)
        WriteXMLString(recent, "Show", path);
}
