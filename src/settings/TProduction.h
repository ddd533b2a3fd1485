#pragma once

#include "TCueList.h"
#include "TFormState.h"

#include <string>

// The settings document in memory: window state and cue list. UI thread only.
class TProduction {
public:
    std::string FileName;
    TFormState FormState;
    TCueList Cues;
};
