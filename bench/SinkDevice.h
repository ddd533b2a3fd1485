#pragma once

#include <cstdint>
#include <string>

class TAudioEngine;

// The engine's device number of the sink named `sink`; 0 when it has none.
int32_t SinkDevice(TAudioEngine& engine, const std::string& sink);
