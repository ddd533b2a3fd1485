#pragma once

// The boundary between the small `trelmo` executable, which makes the single-instance check,
// and the application library it loads when this launch runs. Plain C, so that the two sides
// share no C++ objects: the executable keeps the registry, the application gets the receiver
// socket and a way to leave the registry before its window goes.
#include <cstdint>

extern "C" {

struct TrelmoLaunch {
    int argc;
    char** argv;
    // The listening receiver socket of this process and its path; the application owns both.
    int receiverSocket;
    const char* receiverPath;
    uint32_t processId;
    // Unregisters the process (the registry stays with the executable).
    void (*leaveRegistry)(void* context);
    void* context;
};

// Runs the application; returns the process's exit code.
int TrelmoRunApplication(const TrelmoLaunch* launch);
// Shows an error that ends start-up in a box titled "Application Error".
void TrelmoReportApplicationError(int argc, char** argv, const char* message);

} // extern "C"

// The application library's file name and the names of its two functions.
inline constexpr const char* TrelmoApplicationLibrary = "libtrelmo-app.so";
inline constexpr const char* TrelmoRunApplicationName = "TrelmoRunApplication";
inline constexpr const char* TrelmoReportApplicationErrorName = "TrelmoReportApplicationError";
