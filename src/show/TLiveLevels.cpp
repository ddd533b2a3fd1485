#include "TLiveLevels.h"

#include "ClampValue.h"
#include "TLevels.h"

bool TLiveLevels::Set(const TCue& cue, int32_t db) {
    if (cue.State() == csStopped || cue.Stream() == 0)
        return false;
    FLevels[cue.Identity()] = {cue.Stream(), ClampValue(db, TLevels::Silent, TLevels::Full)};
    return true;
}

const TLiveLevels::TLiveLevel* TLiveLevels::Find(const TCue& cue) const {
    const auto found = FLevels.find(cue.Identity());
    if (found == FLevels.end() || cue.State() == csStopped || found->second.Stream != cue.Stream())
        return nullptr;
    return &found->second;
}

int32_t TLiveLevels::LevelOf(const TCue& cue) const {
    const TLiveLevel* live = Find(cue);
    return live ? live->DB : cue.VolumeDB();
}

void TLiveLevels::Prune(const TCueList& cues) {
    std::map<uint64_t, TLiveLevel> kept;
    for (int32_t i = 0; i < cues.Count(); ++i)
        if (const TLiveLevel* live = Find(*cues.Items(i)))
            kept.emplace(cues.Items(i)->Identity(), *live);
    FLevels = std::move(kept);
}
