#include "TOscCommand.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

TEST(TOscCommand, AddressesNameTheirCommands) {
    using C = TOscCommand;
    struct Case {
        std::string address;
        std::optional<TOscCommand> expected;
    };
    const Case cases[] = {
        {"/cue/3/start", C{C::ocCueStart, 3}},
        {"/cue/3/stop", C{C::ocCueStop, 3}},
        {"/cue/12/pause", C{C::ocCuePause, 12}},
        {"/go", C{C::ocGo, 0}},
        {"/stop", C{C::ocStopAll, 0}},
        {"/panic", C{C::ocPanic, 0}},
        {"/select/7", C{C::ocSelect, 7}},
        {"/cue/007/start", C{C::ocCueStart, 7}},
        // Numbers outside the list are the caller's to skip.
        {"/cue/0/start", C{C::ocCueStart, 0}},
        {"/select/99999999999", C{C::ocSelect, INT_MAX}},
        {"/cue/x/start", std::nullopt},
        {"/cue/-1/start", std::nullopt},
        {"/cue/+1/start", std::nullopt},
        {"/cue/ 1/start", std::nullopt},
        {"/cue//start", std::nullopt},
        {"/cue/3", std::nullopt},
        {"/cue/3/", std::nullopt},
        {"/cue/3/start/", std::nullopt},
        {"/cue/3/start/now", std::nullopt},
        {"/cue/3/Start", std::nullopt},
        {"/cue/3/play", std::nullopt},
        {"/CUE/3/start", std::nullopt},
        {"/GO", std::nullopt},
        {"go", std::nullopt},
        {"/go/", std::nullopt},
        {"//go", std::nullopt},
        {"/select", std::nullopt},
        {"/select/", std::nullopt},
        {"/select/1/2", std::nullopt},
        {"/cue/*/start", std::nullopt},
        {"", std::nullopt},
        {"/", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TOscCommand::FromAddress(c.address), c.expected) << c.address;
}
