#pragma once

#include "TCue.h"

#include <QString>

#include <chrono>
#include <optional>

// What the Time cell says of a cue that plays, is paused, or waits to be started.
struct TCueProgress {
    QString Text;
    // How far it has got, 0 to 1, when that is known.
    std::optional<double> Done;
};

class TCueTimeCell {
public:
    // Where a playing or paused cue is, when its stream and its file's length tell: the time
    // left, or the position in the pass of a looping cue.
    static std::optional<TCueProgress> Progress(const TCue& cue, std::optional<double> length);
    // A wait before the cue starts: the time left, rounded up to a tenth.
    static TCueProgress Wait(std::chrono::steady_clock::duration left);
};
