#pragma once

#include "TAudioEngine.h"
#include "TOfflineOutput.h"

#include <memory>

// An audio engine that plays nothing: windows in tests need no sound server.
inline std::unique_ptr<TAudioEngine> OfflineAudio() {
    return std::make_unique<TAudioEngine>(std::make_unique<TOfflineOutput>());
}
