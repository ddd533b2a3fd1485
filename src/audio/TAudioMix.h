#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TAudioStream;

// The cues playing on one output, mixed into that output's one stream. Positions are mix
// frames counted from the output stream's first frame. Add, Remove, Commit and Drain come from
// the engine's threads while the renderer is held off (the mainloop lock, or the one offline
// thread); Render, Rewind and Played run on the output's own thread and allocate nothing, take
// no lock and do no I/O.
class TAudioMix {
public:
    // Cues one output mixes at most; the slots are reserved once, so no change allocates.
    static constexpr size_t Capacity = 512;

    TAudioMix();

    // The cue's first frame goes where the next rewrite begins; a held cue waits for Commit
    // first, so that the cues of one commit start on the same frame. False when full.
    bool Add(TAudioStream& stream, bool held);
    // The cue's first frame goes right after the last frame of `leader`, a cue of this mix,
    // once the leader has rendered its file to the end; a leader that stops, fades out or
    // leaves the mix first never starts it. False when full, or when the leader is not here or
    // has already ended.
    bool AddAfter(TAudioStream& stream, TAudioStream& leader);
    // A cue that still waits for its leader: starts at the next rewrite (after Commit when
    // `held`), or leaves the mix. False when it has no leader to wait for.
    bool StartNow(TAudioStream& stream, bool held);
    bool CancelFollow(TAudioStream& stream);
    // A cue that leaves the mix while cues wait to follow it fails them.
    void Remove(TAudioStream& stream);
    // Held cues start at the next rewrite.
    void Commit();
    // Whether a cue waits for Commit.
    bool Held() const;
    // The cue's Drained is set once its last rendered frame has been played; false gives the
    // request up.
    void Drain(TAudioStream& stream, bool draining);
    bool Empty() const { return FSlots.empty(); }
    // Whether a cue waits for its start frame; `stream` itself or any.
    bool Waiting(const TAudioStream& stream) const;
    bool Waiting() const;

    // Frames that can be rendered at `at`, at most `frames`: as many as every cue sounding (or
    // about to follow one) has ready, so that the cues stay on their frames.
    size_t Renderable(int64_t at, size_t frames) const;
    // Writes the sum of every cue's frames for [at, at + frames) to `out`.
    void Render(int64_t at, size_t frames, float* out);
    // Every cue steps back to mix frame `from`, so that what follows is rendered again with the
    // gains and moves of now; cues waiting for a start frame start there.
    void Rewind(int64_t from);
    // The frames before `played` have been heard: cues that asked for a drain and whose last
    // frame is among them are drained. Returns whether one was.
    bool Played(int64_t played);
    // The frames rendered and not heard yet at `at` (steady-clock ticks, 0: from now on until
    // told otherwise), for every cue's display; and a change of them by frames written since.
    void SetLatency(int64_t frames, int64_t at);
    void AddLatency(int64_t frames);
    // Every cue sounding on the output: the output ran dry, or failed.
    void CountUnderrun();
    void Fail();

private:
    enum TStart : uint8_t { stPlaced, stWaiting, stHeld, stAfter };
    struct TSlot {
        TAudioStream* Stream = nullptr;
        // Mix frame of the cue's next frame.
        int64_t Next = 0;
        TStart Start = stPlaced;
        // The cue this one follows, while it is in the mix; and the mix frame where it began
        // after it (-1: not begun).
        TAudioStream* Leader = nullptr;
        int64_t FollowFrom = -1;
        bool Ended = false;
        bool Draining = false;
    };
    static void RenderSlot(TSlot& slot, int64_t at, size_t frames, float* out, float* block);
    static bool Sounding(const TSlot& slot);
    TSlot* SlotOf(const TAudioStream* stream);
    const TSlot* SlotOf(const TAudioStream* stream) const;
    // Frames a follower can be rendered for at `at`: its leader's and then its own.
    size_t FollowerReady(const TSlot& slot, int64_t at) const;
    // The leader of these followers has rendered its file up to mix frame `at`.
    void PlaceFollowers(const TAudioStream* leader, int64_t at);
    // A follower placed after where the mix steps back to waits for its leader again.
    void RewindFollower(TSlot& slot);

    std::vector<TSlot> FSlots;
    std::vector<float> FBlock;
    int64_t FLatency = 0;
    int64_t FLatencyAt = 0;
};
