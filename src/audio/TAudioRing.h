#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// Lock-free single-producer single-consumer ring of stereo float frames. The producer is the
// decoder (worker or UI thread, never both at once); the consumer is the audio callback. The
// consumer keeps the last `kept` frames it read, so that it can step back and read them again
// (to render again what the server has queued but not played). Neither side allocates, locks or
// blocks after construction.
class TAudioRing {
public:
    TAudioRing(size_t frames, size_t kept);

    size_t Capacity() const { return FCapacity; }
    // Producer: frames that can be written now.
    size_t FreeFrames() const;
    // Producer: appends up to `frames` frames; returns how many were taken.
    size_t Write(const float* data, size_t frames);
    // Consumer: frames ready to read.
    size_t ReadableFrames() const;
    // Consumer: moves up to `frames` frames to `out`; returns how many.
    size_t Read(float* out, size_t frames);
    // Consumer: steps back over up to `frames` of the frames read and kept; returns how many.
    size_t Rewind(size_t frames);

private:
    std::vector<float> FData;
    size_t FCapacity;
    size_t FKept;
    // Monotonic frame counters. Each side stores its own with release so that the other side,
    // loading it with acquire, sees the frames written (or the space freed) before it. The
    // producer may overwrite frames before FReleased only; FRead is the consumer's own.
    std::atomic<uint64_t> FWritten{0};
    std::atomic<uint64_t> FReleased{0};
    uint64_t FRead = 0;
};
