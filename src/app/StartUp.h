#pragma once

#include "TrelmoApplication.h"

#include <functional>

// What the start-up needs of the application: run it, or report an error that ends the launch.
struct TApplicationEntry {
    std::function<int(const TrelmoLaunch& launch)> Run;
    std::function<void(int argc, char** argv, const char* message)> ReportError;
};

// The program entry up to the window: registers the process and makes the single-instance
// check. When this launch runs, hands it to application.Run and returns its exit code.
// Otherwise returns 0 when the arguments went to the running instance; 2, after saying why on
// standard error, when they could not be delivered; 1 when the instance registry could not be
// set up (reported by application.ReportError) or had no room for this launch (said on standard
// error). Loads nothing of Qt itself.
int StartUp(int argc, char* argv[], const TApplicationEntry& application);

// Exit code of a launch whose arguments did not reach the running instance.
inline constexpr int NotDeliveredExitCode = 2;
