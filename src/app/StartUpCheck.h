#pragma once

#include "TAppInstances.h"

#include <memory>

// Registers the process and makes the single-instance check, before any window exists.
// Returns the component when this launch runs. Otherwise returns none with exitCode set: 0
// when the arguments went to the running instance, 1 when the instance registry could not be
// set up (reported in a box titled "Application Error").
std::unique_ptr<TAppInstances> StartUpCheck(int argc, char* argv[], int& exitCode);
