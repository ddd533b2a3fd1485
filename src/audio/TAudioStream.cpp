#include "TAudioStream.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {
constexpr size_t ChunkFrames = 1024;
// Frames over which Render moves to new gains: short enough to be heard as a step, long enough
// not to click.
constexpr size_t GainRampFrames = 128;
} // namespace

TAudioStream::TAudioStream(HSTREAM handle, uint32_t device, bool loop, std::string file)
    : FHandle(handle), FDevice(device), FLoop(loop), FFile(std::move(file)),
      FName(std::filesystem::path(FFile).filename().string()) {}

bool TAudioStream::Open() {
    std::lock_guard lock(FDecodeLock);
    auto decoder = std::make_unique<TAudioDecoder>();
    if (!decoder->Open(FFile))
        return false;
    decoder->SetLoop(FLoop);
    FNativeRate = static_cast<float>(decoder->NativeRate());
    if (!(FRate > 0))
        FRate = FNativeRate;
    decoder->SetPlayRate(FRate);
    FDecoder = std::move(decoder);
    FRing = std::make_unique<TAudioRing>(AheadFrames + KeptFrames, KeptFrames);
    FChunk.resize(ChunkFrames * 2);
    FWrittenTotal = 0;
    FPassFrames = 0;
    FPassEnds.clear();
    FConsumed.store(0, std::memory_order_relaxed);
    FPassStart.store(0, std::memory_order_relaxed);
    FPeak.store(0, std::memory_order_relaxed);
    FFileEnded.store(false, std::memory_order_relaxed);
    return true;
}

void TAudioStream::Prepare(size_t frames) {
    FAppliedLeft = FGainLeft.load(std::memory_order_relaxed);
    FAppliedRight = FGainRight.load(std::memory_order_relaxed);
    Fill(frames);
}

void TAudioStream::Release() {
    std::lock_guard lock(FDecodeLock);
    FDecoder.reset();
    FRing.reset();
    FChunk = {};
    FPassEnds.clear();
}

void TAudioStream::SetName(const std::string& name) {
    FName = name.empty() ? std::filesystem::path(FFile).filename().string() : name;
}

void TAudioStream::SetRate(float rate) {
    if (!(rate > 0))
        return;
    std::lock_guard lock(FDecodeLock);
    FRate = rate;
    if (FDecoder)
        FDecoder->SetPlayRate(rate);
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
    if (!FDecoder)
        return;
    size_t filled = 0;
    while (!FFileEnded.load(std::memory_order_relaxed) && filled < frames) {
        const size_t wanted = std::min({FRing->FreeFrames(), ChunkFrames, frames - filled});
        if (wanted == 0)
            break;
        const size_t got = FDecoder->Read(FChunk.data(), wanted);
        FRing->Write(FChunk.data(), got);
        FWrittenTotal += got;
        FPassFrames += got;
        filled += got;
        if (got == wanted)
            continue;
        if (FLoop && FPassFrames > 0 && FDecoder->Rewind()) {
            FPassEnds.push_back(FWrittenTotal);
            FPassFrames = 0;
        } else {
            FFileEnded.store(true, std::memory_order_release);
        }
    }
}

// Scales by the gains, moving linearly from the ones applied last to the wanted ones.
void TAudioStream::ApplyGains(float* out, size_t frames) {
    const float left = FGainLeft.load(std::memory_order_relaxed);
    const float right = FGainRight.load(std::memory_order_relaxed);
    size_t i = 0;
    if (left != FAppliedLeft || right != FAppliedRight) {
        const size_t ramp = std::min(frames, GainRampFrames);
        const float stepLeft = (left - FAppliedLeft) / static_cast<float>(GainRampFrames);
        const float stepRight = (right - FAppliedRight) / static_cast<float>(GainRampFrames);
        for (; i < ramp; ++i) {
            out[i * 2] *= FAppliedLeft + stepLeft * static_cast<float>(i + 1);
            out[i * 2 + 1] *= FAppliedRight + stepRight * static_cast<float>(i + 1);
        }
        FAppliedLeft = ramp == GainRampFrames ? left : FAppliedLeft + stepLeft * ramp;
        FAppliedRight = ramp == GainRampFrames ? right : FAppliedRight + stepRight * ramp;
    }
    for (; i < frames; ++i) {
        out[i * 2] *= FAppliedLeft;
        out[i * 2 + 1] *= FAppliedRight;
    }
}

void TAudioStream::RaisePeak(const float* out, size_t frames) {
    float peak = 0;
    for (size_t i = 0; i < frames * 2; ++i)
        peak = std::max(peak, std::abs(out[i]));
    float seen = FPeak.load(std::memory_order_relaxed);
    while (peak > seen && !FPeak.compare_exchange_weak(seen, peak, std::memory_order_relaxed))
        ;
}

float TAudioStream::TakePeak() {
    return FPeak.exchange(0, std::memory_order_relaxed);
}

uint64_t TAudioStream::PassFrames() const {
    const uint64_t consumed = FConsumed.load(std::memory_order_relaxed);
    const uint64_t start = FPassStart.load(std::memory_order_relaxed);
    return consumed > start ? consumed - start : 0;
}

size_t TAudioStream::Render(size_t frames, float* out, bool& end) {
    if (!FRing) {
        std::fill(out, out + frames * 2, 0.0f);
        end = true;
        return 0;
    }
    const bool fileEnded = FFileEnded.load(std::memory_order_acquire);
    const size_t got = FRing->Read(out, frames);
    ApplyGains(out, got);
    RaisePeak(out, got);
    std::fill(out + got * 2, out + frames * 2, 0.0f);
    end = fileEnded && got < frames;
    if (got < frames && !fileEnded)
        Underruns.fetch_add(1, std::memory_order_relaxed);
    FConsumed.fetch_add(got, std::memory_order_release);
    return got;
}

size_t TAudioStream::Rewind(size_t frames) {
    if (!FRing)
        return 0;
    const size_t count = FRing->Rewind(frames);
    FConsumed.fetch_sub(count, std::memory_order_release);
    return count;
}

TAudioStream::TEvents TAudioStream::TakeEvents() {
    std::lock_guard lock(FDecodeLock);
    const uint64_t consumed = FConsumed.load(std::memory_order_acquire);
    TEvents events;
    while (!FPassEnds.empty() && FPassEnds.front() <= consumed) {
        FPassStart.store(FPassEnds.front(), std::memory_order_relaxed);
        FPassEnds.pop_front();
        ++events.Passes;
    }
    events.RenderedOut = FFileEnded.load(std::memory_order_relaxed) && consumed >= FWrittenTotal;
    return events;
}
