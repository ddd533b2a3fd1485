#pragma once

#include "TCueList.h"
#include "TFileSearch.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Find Missing Files: which cues' files are missing, where a search found them, and what the
// operator is told. UI thread only.
class TMissingFiles {
public:
    struct TRelink {
        uint64_t Identity = 0;
        std::string FileName;
    };

    // The file names (without folder) of the cues whose file is missing.
    static std::set<std::string> NamesOf(const TCueList& cues);
    // For each cue whose file is missing and whose name was found: the nearest place.
    static TMissingFiles Plan(const TCueList& cues, const TFileSearch::TResult& found);

    std::vector<TRelink> Relinks;
    // Names not found, and names found in more than one place (the nearest is taken), sorted.
    std::set<std::string> NotFound;
    std::set<std::string> FoundTwice;
    // What the operator is told: how many were found, which were not, which were found twice
    // and where they were taken from.
    std::string Message(const TFileSearch::TResult& found) const;
};
