#pragma once

#include "TCueList.h"

#include <pugixml.hpp>

#include <functional>
#include <string>

// TCueList's part of the settings document: one "Cue" element per cue, in list order.

// Replaces the cues of `list` with those read from the "Cue" children (any letter case) of
// `element`, the "CueList" itself; every new cue reports its state changes to `onStateChange`,
// with itself.
void LoadFromXML(TCueList& list, pugi::xml_node element,
                 const std::function<void(const TCue& cue)>& onStateChange);
// Appends "CueList" to `element` and one "Cue" per cue to it.
void SaveToXML(const TCueList& list, pugi::xml_node element);
