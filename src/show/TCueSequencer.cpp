#include "TCueSequencer.h"

#include "TAudioLibrary.h"

#include <algorithm>
#include <utility>

namespace {

std::chrono::milliseconds Tenths(int32_t tenths) {
    return std::chrono::milliseconds(static_cast<int64_t>(tenths) * 100);
}

// Whether the cue sets off the next one at all: a looping cue never ends, so never follows.
bool Continues(const TCue& cue) {
    return cue.Continue() == TCueContinue::AutoContinue ||
           (cue.Continue() == TCueContinue::AutoFollow && !cue.Loop);
}

// Whether `next` is still the cue to start as it was handed over to follow `leader`.
bool StillFollows(uint64_t follower, const TCue& leader, const TCue* next) {
    return next && follower == next->Identity() && next->Following() && next->PreWait() == 0 &&
           next->AudioChannel() == leader.AudioChannel();
}

} // namespace

TCueSequencer::TCueSequencer(TCueList& cues, const TShowClock& clock, TPlay play, QObject* parent)
    : QObject(parent), FCues(cues), FClock(clock), FPlay(std::move(play)) {
    FTimer.setSingleShot(true);
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, &TCueSequencer::FireDue);
    FPrepareTimer.setSingleShot(true);
    connect(&FPrepareTimer, &QTimer::timeout, this, &TCueSequencer::PrepareFollowers);
}

void TCueSequencer::Start(TCueNumber number) {
    TCue* cue = FCues.CueOf(number);
    if (!cue || Resume(*cue) || HasWait(*cue))
        return;
    if (cue->State() != csStopped) {
        FPlay(*cue);
        Rearm();
        return;
    }
    if (cue->PreWait() > 0)
        Schedule(*cue, TKind::PreWait, cue->PreWait());
    else
        Sound(*cue);
    Rearm();
}

TCueNumber TCueSequencer::AfterChain(TCueNumber number) const {
    const TCue* cue = FCues.CueOf(number);
    while (cue && Continues(*cue) && FCues.CueOf(number.Next())) {
        number = number.Next();
        cue = FCues.CueOf(number);
    }
    return number.Next();
}

// A cue that does not start still hands on to the next one, as if it had ended at once: one
// missing file does not break the chain.
void TCueSequencer::Sound(TCue& cue) {
    const bool started = FPlay(cue);
    switch (cue.Continue()) {
    case TCueContinue::None:
        break;
    case TCueContinue::AutoContinue:
        if (cue.PostWait() > 0)
            Schedule(cue, TKind::PostWait, cue.PostWait());
        else
            StartNext(cue.Identity());
        break;
    case TCueContinue::AutoFollow:
        if (started && !cue.Loop)
            FWaits.push_back({cue.Identity(), TKind::Follow, {}, std::nullopt});
        else if (!started)
            StartNext(cue.Identity());
        break;
    }
}

void TCueSequencer::StartNext(uint64_t owner) {
    const TCueNumber number = NumberOf(owner);
    if (number.In(FCues.Count()))
        Start(number.Next());
}

void TCueSequencer::Schedule(const TCue& owner, TKind kind, int32_t tenths) {
    FWaits.push_back({owner.Identity(), kind, FClock.Now() + Tenths(tenths), std::nullopt});
}

bool TCueSequencer::Pause(const TCue& cue) {
    const TShowClock::TTimePoint now = FClock.Now();
    bool paused = false;
    for (TWait& wait : FWaits) {
        if (wait.Owner != cue.Identity())
            continue;
        if (wait.Kind == TKind::Follow) {
            Unprepare(wait);
        } else if (!wait.PausedLeft) {
            wait.PausedLeft = std::max(TDuration::zero(), wait.Deadline - now);
            paused = true;
        }
    }
    Rearm();
    return paused;
}

bool TCueSequencer::Resume(TCue& cue) {
    const TShowClock::TTimePoint now = FClock.Now();
    bool resumed = false;
    for (TWait& wait : FWaits)
        if (wait.Owner == cue.Identity() && wait.PausedLeft) {
            wait.Deadline = now + *wait.PausedLeft;
            wait.PausedLeft.reset();
            resumed = true;
        }
    if (resumed && cue.State() == csPaused)
        FPlay(cue);
    Rearm();
    return resumed;
}

void TCueSequencer::Cancel(const TCue& cue) {
    for (TWait& wait : FWaits)
        if (wait.Owner == cue.Identity())
            Unprepare(wait);
    std::erase_if(FWaits, [&](const TWait& wait) { return wait.Owner == cue.Identity(); });
    Rearm();
}

void TCueSequencer::CancelAll() {
    for (TWait& wait : FWaits)
        Unprepare(wait);
    FWaits.clear();
    Rearm();
}

// The cue handed over to follow has begun in the audio library, and starting it confirms that;
// one that is no longer the cue to start as handed over is let go.
void TCueSequencer::CueEnded(const TCue& cue) {
    const TAudioStartBatch together;
    const auto follows = [&](const TWait& wait) {
        return wait.Owner == cue.Identity() && wait.Kind == TKind::Follow;
    };
    const TCue* next = CueAfter(cue.Identity());
    for (TWait& wait : FWaits)
        if (follows(wait) && !StillFollows(wait.Follower, cue, next))
            Unprepare(wait);
    if (std::erase_if(FWaits, follows) > 0)
        StartNext(cue.Identity());
    Rearm();
}

void TCueSequencer::FireDue() {
    const TShowClock::TTimePoint now = FClock.Now();
    std::vector<TWait> due;
    for (const TWait& wait : FWaits)
        if (wait.Kind != TKind::Follow && !wait.PausedLeft && wait.Deadline <= now)
            due.push_back(wait);
    std::erase_if(FWaits, [&](const TWait& wait) {
        return wait.Kind != TKind::Follow && !wait.PausedLeft && wait.Deadline <= now;
    });
    std::sort(due.begin(), due.end(), [this](const TWait& a, const TWait& b) {
        return NumberOf(a.Owner) < NumberOf(b.Owner);
    });
    const TAudioStartBatch together;
    for (const TWait& wait : due)
        Fire(wait);
    Rearm();
}

void TCueSequencer::Fire(const TWait& wait) {
    const TCueNumber number = NumberOf(wait.Owner);
    TCue* cue = FCues.CueOf(number);
    if (!cue)
        return;
    if (wait.Kind == TKind::PreWait)
        Sound(*cue);
    else
        StartNext(wait.Owner);
}

void TCueSequencer::PrepareFollowers() {
    for (TWait& wait : FWaits)
        if (wait.Kind == TKind::Follow && !wait.Tried)
            Prepare(wait);
}

// Only while the cue it follows plays on and will reach its end.
void TCueSequencer::Prepare(TWait& follow) {
    const TCue* leader = FCues.CueOf(NumberOf(follow.Owner));
    if (!leader || leader->State() != csPlaying || leader->Fading())
        return;
    follow.Tried = true;
    TCue* next = CueAfter(follow.Owner);
    if (next && next->State() == csStopped && next->PreWait() == 0 && !next->Following() &&
        next->AudioChannel() == leader->AudioChannel() && !HasWait(*next) &&
        next->PlayAfter(*leader))
        follow.Follower = next->Identity();
}

void TCueSequencer::Unprepare(TWait& follow) {
    follow.Tried = false;
    if (follow.Follower == 0)
        return;
    if (TCue* follower = FCues.CueOf(NumberOf(std::exchange(follow.Follower, 0))))
        follower->CancelFollow();
}

TCue* TCueSequencer::CueAfter(uint64_t owner) const {
    const TCueNumber number = NumberOf(owner);
    return number.In(FCues.Count()) ? FCues.CueOf(number.Next()) : nullptr;
}

// A follow not handed over yet is looked at once the current start is done.
void TCueSequencer::Rearm() {
    Q_EMIT WaitsChanged();
    if (std::any_of(FWaits.begin(), FWaits.end(),
                    [](const TWait& wait) { return wait.Kind == TKind::Follow && !wait.Tried; }))
        FPrepareTimer.start(0);
    std::optional<TShowClock::TTimePoint> earliest;
    for (const TWait& wait : FWaits)
        if (wait.Kind != TKind::Follow && !wait.PausedLeft)
            earliest = earliest ? std::min(*earliest, wait.Deadline) : wait.Deadline;
    if (!earliest) {
        FTimer.stop();
        return;
    }
    const auto left = std::max(TDuration::zero(), *earliest - FClock.Now());
    // Rounded up: a timer that fires a little early would find nothing due yet.
    FTimer.start(std::chrono::ceil<std::chrono::milliseconds>(left));
}

TCueNumber TCueSequencer::NumberOf(uint64_t identity) const {
    return FCues.IndexOfIdentity(identity);
}

bool TCueSequencer::HasWait(const TCue& cue) const {
    return std::any_of(FWaits.begin(), FWaits.end(), [&](const TWait& wait) {
        return wait.Owner == cue.Identity() && wait.Kind != TKind::Follow;
    });
}

bool TCueSequencer::HasPausedWait(const TCue& cue) const {
    return std::any_of(FWaits.begin(), FWaits.end(), [&](const TWait& wait) {
        return wait.Owner == cue.Identity() && wait.PausedLeft;
    });
}

bool TCueSequencer::HasAnyWait() const {
    return std::any_of(FWaits.begin(), FWaits.end(),
                       [](const TWait& wait) { return wait.Kind != TKind::Follow; });
}

bool TCueSequencer::Waiting() const {
    return std::any_of(FWaits.begin(), FWaits.end(), [](const TWait& wait) {
        return wait.Kind != TKind::Follow && !wait.PausedLeft;
    });
}

std::optional<TCueSequencer::TDuration> TCueSequencer::LeftOf(const TWait& wait) const {
    if (wait.Kind == TKind::Follow)
        return std::nullopt;
    return wait.PausedLeft ? *wait.PausedLeft
                           : std::max(TDuration::zero(), wait.Deadline - FClock.Now());
}

// A cue's own pre-wait, or the post-wait of the cue before it that continues into it.
std::optional<TCueSequencer::TDuration> TCueSequencer::TimeToStart(const TCue& cue) const {
    const TCueNumber number = FCues.IndexOf(&cue);
    for (const TWait& wait : FWaits) {
        const bool own = wait.Owner == cue.Identity() && wait.Kind == TKind::PreWait;
        const bool before = wait.Kind == TKind::PostWait && NumberOf(wait.Owner).Next() == number;
        if (own || before)
            return LeftOf(wait);
    }
    return std::nullopt;
}
