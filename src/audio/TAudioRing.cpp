#include "TAudioRing.h"

#include <algorithm>
#include <cstring>

TAudioRing::TAudioRing(size_t frames) : FData(frames * 2), FCapacity(frames) {}

size_t TAudioRing::FreeFrames() const {
    return FCapacity - static_cast<size_t>(FWritten.load(std::memory_order_relaxed) -
                                           FRead.load(std::memory_order_acquire));
}

size_t TAudioRing::ReadableFrames() const {
    return static_cast<size_t>(FWritten.load(std::memory_order_acquire) -
                               FRead.load(std::memory_order_relaxed));
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
    const uint64_t read = FRead.load(std::memory_order_relaxed);
    const size_t count = std::min(frames, ReadableFrames());
    const size_t start = static_cast<size_t>(read % FCapacity);
    const size_t first = std::min(count, FCapacity - start);
    std::memcpy(out, &FData[start * 2], first * 2 * sizeof(float));
    std::memcpy(out + first * 2, FData.data(), (count - first) * 2 * sizeof(float));
    FRead.store(read + count, std::memory_order_release);
    return count;
}
