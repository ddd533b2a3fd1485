#include "TAudioStream.h"

#include <algorithm>
#include <filesystem>

namespace {
constexpr size_t ChunkFrames = 4096;
}

TAudioStream::TAudioStream(HSTREAM handle, uint32_t device, bool loop)
    : FHandle(handle), FDevice(device), FLoop(loop), FChunk(ChunkFrames * 2) {}

bool TAudioStream::Open(const std::string& file) {
    std::lock_guard lock(FDecodeLock);
    if (!FDecoder.Open(file))
        return false;
    FDecoder.SetLoop(FLoop);
    FName = std::filesystem::path(file).filename().string();
    FNativeRate = static_cast<float>(FDecoder.NativeRate());
    FRate = FNativeRate;
    return true;
}

void TAudioStream::SetRate(float rate) {
    if (!(rate > 0))
        return;
    std::lock_guard lock(FDecodeLock);
    FRate = rate;
    FDecoder.SetPlayRate(rate);
}

void TAudioStream::SetVolume(float volume) {
    FVolume = volume;
    UpdateGains();
}

void TAudioStream::SetPan(float pan) {
    FPan = pan;
    UpdateGains();
}

void TAudioStream::UpdateGains() {
    FGainLeft.store(FVolume * std::min(1.0f, 1.0f - FPan), std::memory_order_relaxed);
    FGainRight.store(FVolume * std::min(1.0f, 1.0f + FPan), std::memory_order_relaxed);
}

void TAudioStream::Fill(size_t frames) {
    std::lock_guard lock(FDecodeLock);
    size_t filled = 0;
    while (!FFileEnded.load(std::memory_order_relaxed) && filled < frames) {
        const size_t wanted = std::min({FRing.FreeFrames(), ChunkFrames, frames - filled});
        if (wanted == 0)
            break;
        const size_t got = FDecoder.Read(FChunk.data(), wanted);
        FRing.Write(FChunk.data(), got);
        FWrittenTotal += got;
        FPassFrames += got;
        filled += got;
        if (got == wanted)
            continue;
        if (FLoop && FPassFrames > 0 && FDecoder.Rewind()) {
            FPassEnds.push_back(FWrittenTotal);
            FPassFrames = 0;
        } else {
            FFileEnded.store(true, std::memory_order_release);
        }
    }
}

size_t TAudioStream::Render(size_t frames, float* out, bool& end) {
    const bool fileEnded = FFileEnded.load(std::memory_order_acquire);
    const size_t got = FRing.Read(out, frames);
    const float left = FGainLeft.load(std::memory_order_relaxed);
    const float right = FGainRight.load(std::memory_order_relaxed);
    for (size_t i = 0; i < got; ++i) {
        out[i * 2] *= left;
        out[i * 2 + 1] *= right;
    }
    std::fill(out + got * 2, out + frames * 2, 0.0f);
    end = fileEnded && got < frames;
    if (got < frames && !fileEnded)
        Underruns.fetch_add(1, std::memory_order_relaxed);
    FConsumed.fetch_add(got, std::memory_order_release);
    return got;
}

TAudioStream::TEvents TAudioStream::TakeEvents() {
    std::lock_guard lock(FDecodeLock);
    const uint64_t consumed = FConsumed.load(std::memory_order_acquire);
    TEvents events;
    while (!FPassEnds.empty() && FPassEnds.front() <= consumed) {
        FPassEnds.pop_front();
        ++events.Passes;
    }
    events.RenderedOut = FFileEnded.load(std::memory_order_relaxed) && consumed >= FWrittenTotal;
    return events;
}
