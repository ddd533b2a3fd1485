#include "TAudioMix.h"

#include "TAudioStream.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {
// Frames each cue renders at a time before they are added to the mix.
constexpr size_t BlockFrames = 1024;
} // namespace

TAudioMix::TAudioMix() : FBlock(BlockFrames * 2) {
    FSlots.reserve(Capacity);
}

bool TAudioMix::Add(TAudioStream& stream, bool held) {
    if (FSlots.size() == Capacity)
        return false;
    TSlot slot;
    slot.Stream = &stream;
    slot.Start = held ? stHeld : stWaiting;
    FSlots.push_back(slot);
    stream.Lag.store(static_cast<uint64_t>(FLatency), std::memory_order_relaxed);
    stream.LagAt.store(FLatencyAt, std::memory_order_relaxed);
    return true;
}

// After a leader that has rendered its end already, the cue is placed there: the next rewrite
// puts it right after the leader again, or, where that has been played, as soon as it can.
bool TAudioMix::AddAfter(TAudioStream& stream, TAudioStream& leader) {
    const TSlot* lead = SlotOf(&leader);
    if (!lead || leader.FadedOut() || leader.EndAsked() || !Add(stream, false))
        return false;
    TSlot& slot = FSlots.back();
    slot.Leader = &leader;
    slot.Start = lead->Ended ? stPlaced : stAfter;
    slot.Next = lead->Ended ? lead->Next : 0;
    slot.FollowFrom = lead->Ended ? lead->Next : -1;
    return true;
}

bool TAudioMix::StartNow(TAudioStream& stream, bool held) {
    TSlot* slot = SlotOf(&stream);
    if (!slot || slot->Start != stAfter)
        return false;
    slot->Start = held ? stHeld : stWaiting;
    slot->Leader = nullptr;
    stream.StartWithRamp();
    return true;
}

bool TAudioMix::CancelFollow(TAudioStream& stream) {
    const TSlot* slot = SlotOf(&stream);
    if (!slot || slot->Start != stAfter)
        return false;
    Remove(stream);
    return true;
}

void TAudioMix::Remove(TAudioStream& stream) {
    std::erase_if(FSlots, [&stream](const TSlot& slot) { return slot.Stream == &stream; });
    for (TSlot& slot : FSlots) {
        if (slot.Leader != &stream)
            continue;
        slot.Leader = nullptr;
        if (slot.Start == stAfter)
            slot.Stream->Failed = true;
    }
}

const TAudioMix::TSlot* TAudioMix::SlotOf(const TAudioStream* stream) const {
    const auto found = std::find_if(FSlots.begin(), FSlots.end(),
                                    [stream](const TSlot& slot) { return slot.Stream == stream; });
    return stream && found != FSlots.end() ? &*found : nullptr;
}

TAudioMix::TSlot* TAudioMix::SlotOf(const TAudioStream* stream) {
    return const_cast<TSlot*>(std::as_const(*this).SlotOf(stream));
}

void TAudioMix::Commit() {
    for (TSlot& slot : FSlots)
        if (slot.Start == stHeld)
            slot.Start = stWaiting;
}

void TAudioMix::Drain(TAudioStream& stream, bool draining) {
    for (TSlot& slot : FSlots)
        if (slot.Stream == &stream)
            slot.Draining = draining;
}

bool TAudioMix::Waiting(const TAudioStream& stream) const {
    return std::any_of(FSlots.begin(), FSlots.end(), [&stream](const TSlot& slot) {
        return slot.Stream == &stream && slot.Start != stPlaced;
    });
}

bool TAudioMix::Held() const {
    return std::any_of(FSlots.begin(), FSlots.end(),
                       [](const TSlot& slot) { return slot.Start == stHeld; });
}

bool TAudioMix::Waiting() const {
    return std::any_of(FSlots.begin(), FSlots.end(),
                       [](const TSlot& slot) { return slot.Start == stWaiting; });
}

bool TAudioMix::Sounding(const TSlot& slot) {
    return slot.Start == stPlaced && !slot.Ended && !slot.Stream->RenderedOut() &&
           !slot.Stream->FadedOut();
}

size_t TAudioMix::Renderable(int64_t at, size_t frames) const {
    for (const TSlot& slot : FSlots) {
        if (slot.Start == stAfter)
            frames = std::min(frames, FollowerReady(slot, at));
        // A cue whose file has been decoded to its end holds nothing back: after its last
        // frame it is silent.
        if (!Sounding(slot) || slot.Stream->Decoded())
            continue;
        const int64_t ahead = std::max<int64_t>(0, slot.Next - at);
        frames = std::min(frames, slot.Stream->Available() + static_cast<size_t>(ahead));
    }
    return frames;
}

// A follower placed within these frames comes later in the list than its leader, so it is
// rendered from its first frame on in the same pass.
void TAudioMix::Render(int64_t at, size_t frames, float* out) {
    std::fill(out, out + frames * 2, 0.0f);
    for (TSlot& slot : FSlots) {
        if (slot.Start != stPlaced || slot.Ended)
            continue;
        RenderSlot(slot, at, frames, out, FBlock.data());
        // Its last frame rendered, before the stream is asked for one more.
        slot.Ended = slot.Ended || slot.Stream->RenderedOut();
        if (slot.Ended && !slot.Stream->FadedOut() && !slot.Stream->EndAsked())
            PlaceFollowers(slot.Stream, slot.Next);
    }
}

size_t TAudioMix::FollowerReady(const TSlot& slot, int64_t at) const {
    const TSlot* lead = SlotOf(slot.Leader);
    if (!lead || lead->Start != stPlaced || lead->Ended || lead->Stream->FadedOut())
        return std::numeric_limits<size_t>::max();
    const auto ahead = static_cast<size_t>(std::max<int64_t>(0, lead->Next - at));
    return ahead + lead->Stream->Available() + slot.Stream->Available();
}

void TAudioMix::PlaceFollowers(const TAudioStream* leader, int64_t at) {
    for (TSlot& slot : FSlots) {
        if (slot.Start != stAfter || slot.Leader != leader || slot.Stream->EndAsked())
            continue;
        slot.Start = stPlaced;
        slot.Next = at;
        slot.FollowFrom = at;
    }
}

void TAudioMix::RewindFollower(TSlot& slot) {
    slot.Stream->Rewind(static_cast<size_t>(slot.Next - slot.FollowFrom));
    slot.Start = stAfter;
    slot.Next = 0;
    slot.FollowFrom = -1;
    slot.Ended = false;
}

// A cue placed later than `at` begins on its own frame; one that ran dry goes on from `at`.
void TAudioMix::RenderSlot(TSlot& slot, int64_t at, size_t frames, float* out, float* block) {
    if (slot.Next >= at + static_cast<int64_t>(frames))
        return;
    slot.Next = std::max(slot.Next, at);
    auto done = static_cast<size_t>(slot.Next - at);
    while (done < frames) {
        const size_t count = std::min(BlockFrames, frames - done);
        bool end = false;
        const size_t got = slot.Stream->Render(count, block, end);
        float* to = out + done * 2;
        for (size_t i = 0; i < count * 2; ++i)
            to[i] += block[i];
        slot.Next += static_cast<int64_t>(got);
        done += count;
        if (end) {
            slot.Ended = true;
            return;
        }
        if (got < count)
            return;
    }
}

void TAudioMix::Rewind(int64_t from) {
    for (TSlot& slot : FSlots) {
        if (slot.Start == stWaiting) {
            slot.Start = stPlaced;
            slot.Next = from;
            continue;
        }
        if (slot.Start != stPlaced || slot.Next <= from)
            continue;
        // Its leader comes earlier in the list: it has stepped back already.
        if (const TSlot* lead = SlotOf(slot.Leader); slot.FollowFrom >= 0 && lead && !lead->Ended) {
            RewindFollower(slot);
            continue;
        }
        const size_t back = slot.Stream->Rewind(static_cast<size_t>(slot.Next - from));
        slot.Next -= static_cast<int64_t>(back);
        slot.Ended = slot.Ended && back == 0;
    }
}

bool TAudioMix::Played(int64_t played) {
    bool drained = false;
    for (TSlot& slot : FSlots) {
        if (!slot.Draining || slot.Start != stPlaced || Sounding(slot) || slot.Next > played)
            continue;
        slot.Draining = false;
        slot.Stream->Drained = true;
        drained = true;
    }
    return drained;
}

void TAudioMix::SetLatency(int64_t frames, int64_t at) {
    FLatency = std::max<int64_t>(frames, 0);
    FLatencyAt = at;
    for (const TSlot& slot : FSlots) {
        slot.Stream->LagAt.store(at, std::memory_order_relaxed);
        slot.Stream->Lag.store(static_cast<uint64_t>(FLatency), std::memory_order_relaxed);
    }
}

void TAudioMix::AddLatency(int64_t frames) {
    SetLatency(FLatency + frames, FLatencyAt);
}

void TAudioMix::CountUnderrun() {
    for (const TSlot& slot : FSlots)
        if (Sounding(slot) && slot.Stream->State != TAudioStream::psPaused)
            slot.Stream->Underruns.fetch_add(1, std::memory_order_relaxed);
}

void TAudioMix::Fail() {
    for (const TSlot& slot : FSlots)
        slot.Stream->Failed = true;
}
