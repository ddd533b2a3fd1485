#pragma once

#include "TCueList.h"

#include <cstdint>
#include <map>

// The live levels of cues that play: a level that one playback of a cue plays at instead of the
// cue's own, which stays as stored. A live level belongs to the stream it was set for, so it is
// gone once the cue stops or plays anew. UI thread only.
class TLiveLevels {
public:
    // Sets the live level of `cue` while it plays or is paused; false, with nothing set, for a
    // stopped cue.
    bool Set(const TCue& cue, int32_t db);
    // The level this playback of `cue` plays at: its live level, else the cue's own.
    int32_t LevelOf(const TCue& cue) const;
    // Forgets the levels of cues that have left `cues`, stopped or play anew.
    void Prune(const TCueList& cues);

private:
    struct TLiveLevel {
        HSTREAM Stream;
        int32_t DB;
    };
    const TLiveLevel* Find(const TCue& cue) const;

    // By cue identity.
    std::map<uint64_t, TLiveLevel> FLevels;
};
