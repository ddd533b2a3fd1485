#include "TRunningCues.h"

#include <algorithm>
#include <utility>

TRunningCues::TRunningCues(const TCueList& cues, const TCueSequencer& sequencer, QObject* parent)
    : QObject(parent), FCues(cues), FSequencer(sequencer) {}

std::optional<TRunningState> TRunningCues::StateOf(const TCue& cue) const {
    switch (cue.State()) {
    case csPlaying:
        return cue.Fading() ? TRunningState::Fading : TRunningState::Playing;
    case csPaused:
        return TRunningState::Paused;
    case csStopped:
        break;
    }
    if (FSequencer.HasPausedWait(cue))
        return TRunningState::WaitPaused;
    if (FSequencer.TimeToStart(cue))
        return TRunningState::Waiting;
    return std::nullopt;
}

void TRunningCues::RefreshSoon() {
    if (std::exchange(FRefreshPosted, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FRefreshPosted = false;
            Refresh();
        },
        Qt::QueuedConnection);
}

// Entries keep their place; cues that came in since join at the end, in list order.
void TRunningCues::Refresh() {
    std::vector<TRunningCue> entries;
    entries.reserve(FEntries.size());
    for (const TRunningCue& entry : FEntries)
        if (const TCue* cue = FCues.CueOf(FCues.IndexOfIdentity(entry.Identity)))
            if (const auto state = StateOf(*cue))
                entries.push_back({entry.Identity, *state});
    for (int32_t i = 0; i < FCues.Count(); ++i) {
        const TCue& cue = *FCues.Items(i);
        const auto known = [&](const TRunningCue& entry) {
            return entry.Identity == cue.Identity();
        };
        if (std::any_of(entries.begin(), entries.end(), known))
            continue;
        if (const auto state = StateOf(cue))
            entries.push_back({cue.Identity(), *state});
    }
    if (entries == FEntries)
        return;
    FEntries = std::move(entries);
    Q_EMIT Changed();
}
