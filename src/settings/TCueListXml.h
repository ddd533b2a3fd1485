#pragma once

#include "TCueList.h"
#include "TMediaNames.h"

#include <pugixml.hpp>

#include <functional>
#include <string>

// TCueList's part of the settings document: one "Cue" element per cue, in list order. Audio
// files are named as `names` says for a document in `folder` (relative inside it).

// Replaces the cues of `list` with those read from the "Cue" children (any letter case) of
// `element`, the "CueList" itself; every new cue reports its state changes to `onStateChange`,
// with itself.
void LoadFromXML(TCueList& list, pugi::xml_node element,
                 const std::function<void(const TCue& cue)>& onStateChange, TMediaNames& names,
                 const std::string& folder);
// Appends "CueList" to `element` and one "Cue" per cue to it.
void SaveToXML(const TCueList& list, pugi::xml_node element, const TMediaNames& names,
               const std::string& folder);
