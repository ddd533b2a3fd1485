#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

// Whether the sound server of the test environment answers.
inline bool SoundServerReachable() {
    return std::system("pactl info >/dev/null 2>&1") == 0;
}

// Set by scripts/test: there, a test that cannot reach the sound server fails instead of being
// skipped, so that a run without sound cannot pass.
inline bool SoundServerRequired() {
    const char* required = std::getenv("TRELMO_REQUIRE_SOUND");
    return required && *required && std::string_view(required) != "0";
}

// In a test's SetUp or body: skips the test without a sound server, or fails it where one is
// required. `detail` says what was found.
#define SKIP_WITHOUT_SOUND_SERVER(reachable, detail)                                               \
    do {                                                                                           \
        if (!(reachable)) {                                                                        \
            if (SoundServerRequired())                                                             \
                GTEST_FAIL() << "no sound server, and TRELMO_REQUIRE_SOUND is set: " << detail;    \
            else                                                                                   \
                GTEST_SKIP() << "no sound server: " << detail;                                     \
        }                                                                                          \
    } while (false)
