#pragma once

#include "TRunningCues.h"

#include <QString>

#include <optional>

class TCue;
class TOutputNames;

// What one line of the running cues says: the cue, its output, the time played and the time
// left (or the wait before it starts), and how far it has got.
struct TRunningLineData {
    QString Title;
    QString Output;
    QString Elapsed;
    QString Remaining;
    QString StateText;
    std::optional<double> Done;
    TRunningState State = TRunningState::Playing;

    bool operator==(const TRunningLineData&) const = default;

    // `length`: the seconds the cue's file plays for, when known.
    static TRunningLineData Of(const TCue& cue, TCueNumber number, TRunningState state,
                               const TCueSequencer& waits, std::optional<double> length,
                               const TOutputNames& outputs);
};
