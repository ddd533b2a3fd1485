#pragma once

#include <chrono>
#include <functional>

// Runs the event loop, where the show's timers and end notices are handled, until `done` or the
// timeout; whether `done` holds.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
