#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// One command taken over OSC, as plain data that the receiving thread hands to the UI thread.
class TOscCommand {
public:
    enum TKind : uint8_t { ocCueStart, ocCueStop, ocCuePause, ocGo, ocStopAll, ocPanic, ocSelect };

    TKind Kind = ocGo;
    // The n of /cue/n/... and /select/n as written, in decimal; a number too long for 32 bits
    // reads as INT32_MAX, out of range like any other number beyond the list.
    int32_t Cue = 0;

    // The command an address names: /cue/n/start, /cue/n/stop, /cue/n/pause, /go, /stop,
    // /panic and /select/n, letter case significant; none for any other address.
    static std::optional<TOscCommand> FromAddress(std::string_view address);

    friend bool operator==(const TOscCommand&, const TOscCommand&) = default;
};
