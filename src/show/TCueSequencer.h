#pragma once

#include "TCueList.h"
#include "TShowClock.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Cues that follow each other: a cue's pre-wait before its sound, the auto-continue to the next
// cue after the post-wait, and the auto-follow when a cue has played to its end. Deadlines are
// read from the show's monotonic clock; one timer is armed for the earliest of them, and when it
// fires late it still fires everything that is due by the clock. A cue that auto-follows
// another on the same output, with no pre-wait, is handed to the audio library as soon as the
// cue it follows has started (once the start is done), so that it begins on the frame after
// that cue's last; the end of that cue then only confirms it. UI thread only.
class TCueSequencer : public QObject {
    Q_OBJECT

public:
    using TDuration = std::chrono::steady_clock::duration;
    // Starts the sound of a cue; false when it did not start.
    using TPlay = std::function<bool(TCue&)>;

    // `cues` and `clock` outlive this object.
    TCueSequencer(TCueList& cues, const TShowClock& clock, TPlay play, QObject* parent = nullptr);

    // Starts cue `number` as GO does: its pre-wait, then its sound and the cues it continues to.
    // A cue whose wait is paused resumes it; a cue already waiting or sounding runs no chain.
    void Start(TCueNumber number);
    // The first cue after the chain that cue `number` starts: past every cue that continues.
    TCueNumber AfterChain(TCueNumber number) const;

    // Pauses or resumes the running waits that belong to `cue`; false when it has none.
    bool Pause(const TCue& cue);
    bool Resume(TCue& cue);
    // Forgets whatever `cue` would still set off; nothing of it fires later.
    void Cancel(const TCue& cue);
    void CancelAll();
    // `cue` has played its file to the end: the cue it follows into starts.
    void CueEnded(const TCue& cue);
    // Fires every wait that is due by the clock, the cues of one moment in list order.
    void FireDue();
    // Hands the cue that each playing cue auto-follows into to the audio library, where it can;
    // runs by itself shortly after a cue starts.
    void PrepareFollowers();

    // Whether `cue` has a wait pending, running or paused.
    bool HasWait(const TCue& cue) const;
    bool HasPausedWait(const TCue& cue) const;
    // Whether any cue has a wait pending, running or paused.
    bool HasAnyWait() const;
    // Whether any wait runs: the time on screen moves.
    bool Waiting() const;
    // How long until `cue` is started by a wait, while one for it is pending.
    std::optional<TDuration> TimeToStart(const TCue& cue) const;

Q_SIGNALS:
    // A wait was started, paused, resumed, fired or cancelled.
    void WaitsChanged();

private:
    enum class TKind : uint8_t { PreWait, PostWait, Follow };
    struct TWait {
        uint64_t Owner;
        TKind Kind;
        TShowClock::TTimePoint Deadline;
        std::optional<TDuration> PausedLeft;
        // A follow: the identity of the cue handed over to start at the owner's last frame
        // (0: none), and whether that was tried for the owner's current play.
        uint64_t Follower = 0;
        bool Tried = false;
    };

    void Schedule(const TCue& owner, TKind kind, int32_t tenths);
    void Sound(TCue& cue);
    void StartNext(uint64_t owner);
    void Fire(const TWait& wait);
    void Rearm();
    void Prepare(TWait& follow);
    void Unprepare(TWait& follow);
    TCue* CueAfter(uint64_t owner) const;
    TCueNumber NumberOf(uint64_t identity) const;
    std::optional<TDuration> LeftOf(const TWait& wait) const;

    TCueList& FCues;
    const TShowClock& FClock;
    TPlay FPlay;
    std::vector<TWait> FWaits;
    QTimer FTimer;
    QTimer FPrepareTimer;
};
