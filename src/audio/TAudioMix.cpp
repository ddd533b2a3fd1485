#include "TAudioMix.h"

#include "TAudioStream.h"

#include <algorithm>

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

void TAudioMix::Remove(TAudioStream& stream) {
    std::erase_if(FSlots, [&stream](const TSlot& slot) { return slot.Stream == &stream; });
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
        if (!Sounding(slot))
            continue;
        const int64_t ahead = std::max<int64_t>(0, slot.Next - at);
        frames = std::min(frames, slot.Stream->Available() + static_cast<size_t>(ahead));
    }
    return frames;
}

void TAudioMix::Render(int64_t at, size_t frames, float* out) {
    std::fill(out, out + frames * 2, 0.0f);
    for (TSlot& slot : FSlots)
        if (slot.Start == stPlaced && !slot.Ended)
            RenderSlot(slot, at, frames, out, FBlock.data());
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
