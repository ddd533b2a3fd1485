#pragma once

#include "TCueList.h"
#include "TCueSequencer.h"

#include <QObject>

#include <cstdint>
#include <optional>
#include <vector>

// What a cue on the running list is doing.
enum class TRunningState : uint8_t { Waiting, WaitPaused, Playing, Fading, Paused };

struct TRunningCue {
    uint64_t Identity;
    TRunningState State;
    bool operator==(const TRunningCue&) const = default;
};

// The cues that play, are paused, fade out or wait to be started, in the order they came in;
// a cue leaves once it has stopped and nothing waits to start it. Holds identities only: a cue
// taken out of the list leaves too. Refresh reads the cues and the sequencer's waits again; the
// show control calls it at the end of everything that may start, pause or stop a cue, when no
// wait is between being taken and its cue being started. UI thread only.
class TRunningCues : public QObject {
    Q_OBJECT

public:
    // `cues` and `sequencer` outlive this object.
    TRunningCues(const TCueList& cues, const TCueSequencer& sequencer, QObject* parent = nullptr);

    const TCueList& Cues() const { return FCues; }
    const TCueSequencer& Sequencer() const { return FSequencer; }
    void Refresh();
    // Refresh once the current event has been handled; calls until then are one.
    void RefreshSoon();
    const std::vector<TRunningCue>& Entries() const { return FEntries; }
    bool Empty() const { return FEntries.empty(); }
    // What `cue` is doing; nothing once it has stopped and nothing waits to start it.
    std::optional<TRunningState> StateOf(const TCue& cue) const;

Q_SIGNALS:
    // A cue came, went, or changed what it does.
    void Changed();

private:
    const TCueList& FCues;
    const TCueSequencer& FSequencer;
    std::vector<TRunningCue> FEntries;
    bool FRefreshPosted = false;
};
