#include "TPlaybackRefresh.h"

#include "TCueGridModel.h"

#include <algorithm>

TPlaybackRefresh::TPlaybackRefresh(TCueGridModel& model, QObject* parent)
    : QObject(parent), FModel(model) {
    FTimer.setInterval(IntervalMs);
    FTimer.setTimerType(Qt::CoarseTimer);
    connect(&FTimer, &QTimer::timeout, this, &TPlaybackRefresh::Tick);
    FClock.start();
}

void TPlaybackRefresh::Wake() {
    if (!FTimer.isActive())
        Tick();
}

double TPlaybackRefresh::Level(HSTREAM stream) const {
    auto found = FMeters.find(stream);
    return found == FMeters.end() ? 0 : found->second.Mono.Level();
}

std::pair<double, double> TPlaybackRefresh::Levels(HSTREAM stream) const {
    auto found = FMeters.find(stream);
    if (found == FMeters.end())
        return {0, 0};
    return {found->second.Left.Level(), found->second.Right.Level()};
}

// Feeds the meters of the playing cues and of those still falling after a stop, and redraws
// their Time cells and those of cues waiting to start; a paused cue whose meter has fallen is
// left alone. Meters of streams that no cue holds any more are dropped.
void TPlaybackRefresh::Tick() {
    const TCueList* cues = FModel.Cues();
    TAudioLibrary* audio = AudioLibrary();
    const double now = static_cast<double>(FClock.nsecsElapsed()) / 1e9;
    std::map<HSTREAM, TStreamMeters> kept;
    const TCueSequencer* waits = FModel.Sequencer();
    const bool waiting = waits && waits->Waiting();
    for (int32_t i = 0; cues && i < cues->Count(); ++i) {
        const TCue& cue = *cues->Items(i);
        if (waiting && waits->TimeToStart(cue))
            FModel.RefreshTime(i + 1);
        auto meter = FMeters.find(cue.Stream());
        const bool playing = cue.State() == csPlaying;
        if (cue.Stream() == 0 || (!playing && meter == FMeters.end()))
            continue;
        TAudioLevels peaks;
        if (!playing || !audio || !audio->AudioChannelGetLevels(cue.Stream(), &peaks))
            peaks = {};
        TStreamMeters& shown = kept[cue.Stream()];
        if (meter != FMeters.end())
            shown = meter->second;
        shown.Mono.Feed(std::max(peaks.Left, peaks.Right), now);
        shown.Left.Feed(peaks.Left, now);
        shown.Right.Feed(peaks.Right, now);
        if (!playing && shown.Mono.Silent())
            kept.erase(cue.Stream());
        FModel.RefreshTime(i + 1);
    }
    FMeters.swap(kept);
    Q_EMIT Ticked();
    if (FMeters.empty() && !waiting)
        FTimer.stop();
    else if (!FTimer.isActive())
        FTimer.start();
}
