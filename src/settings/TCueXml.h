#pragma once

#include "TCue.h"

#include <pugixml.hpp>

// TCue's part of the settings document: its stored fields as child elements of a "Cue", the
// fade and wait times only when not 0 and
// Continue only when the cue continues.

// Sets every stored field from the children of `element`; a missing child gives the default.
void LoadFromXML(TCue& cue, pugi::xml_node element);
// Appends the cue's fields to `element`, a "Cue" already appended by the caller.
void SaveToXML(const TCue& cue, pugi::xml_node element);
