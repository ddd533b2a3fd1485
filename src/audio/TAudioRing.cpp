#include "TAudioRing.h"

#include <algorithm>
#include <cstring>

TAudioRing::TAudioRing(size_t frames, size_t kept)
    : FData(frames * 2), FCapacity(frames), FKept(std::min(kept, frames)) {}

size_t TAudioRing::FreeFrames() const {
    return FCapacity - static_cast<size_t>(FWritten.load(std::memory_order_relaxed) -
                                           FReleased.load(std::memory_order_acquire));
}

size_t TAudioRing::ReadableFrames() const {
    return static_cast<size_t>(FWritten.load(std::memory_order_acquire) - FRead);
}

size_t TAudioRing::Write(const float* data, size_t frames) {
    const uint64_t written = FWritten.load(std::memory_order_relaxed);
    const size_t count = std::min(frames, FreeFrames());
    const size_t start = static_cast<size_t>(written % FCapacity);
    const size_t first = std::min(count, FCapacity - start);
    std::memcpy(&FData[start * 2], data, first * 2 * sizeof(float));
    std::memcpy(FData.data(), data + first * 2, (count - first) * 2 * sizeof(float));
    FWritten.store(written + count, std::memory_order_release);
    return count;
}

size_t TAudioRing::Read(float* out, size_t frames) {
    const size_t count = std::min(frames, ReadableFrames());
    const size_t start = static_cast<size_t>(FRead % FCapacity);
    const size_t first = std::min(count, FCapacity - start);
    std::memcpy(out, &FData[start * 2], first * 2 * sizeof(float));
    std::memcpy(out + first * 2, FData.data(), (count - first) * 2 * sizeof(float));
    FRead += count;
    if (FRead > FKept && FRead - FKept > FReleased.load(std::memory_order_relaxed))
        FReleased.store(FRead - FKept, std::memory_order_release);
    return count;
}

size_t TAudioRing::Rewind(size_t frames) {
    const size_t count =
        std::min<uint64_t>(frames, FRead - FReleased.load(std::memory_order_relaxed));
    FRead -= count;
    return count;
}
