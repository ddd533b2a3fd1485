#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pugi {
class xml_node;
}

// Which show file is open and the shows opened last: the elements "ShowFile" and "RecentShows"
// (one "Show" per file, newest first) of Settings.xml, each written only when not empty.
class TShowHistory {
public:
    static constexpr size_t MaxRecent = 8;

    // The show file open, its full path; empty while the show lives in Settings.xml.
    std::string Open;
    std::vector<std::string> Recent;

    // Puts `path` first among the recent shows, once, keeping at most MaxRecent.
    void Remember(const std::string& path);
    void Forget(const std::string& path);

    // Reads both elements below `element`; missing ones leave them empty.
    void LoadFromXML(pugi::xml_node element);
    void SaveToXML(pugi::xml_node element) const;
};
