#include "TAudioStream.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {
constexpr size_t ChunkFrames = 1024;
constexpr size_t GainRampFrames = TAudioStream::RampFrames;
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
    FPrimedRate = 0;
    decoder->SetPlayRate(FRate);
    FDecoder = std::move(decoder);
    FRing = std::make_unique<TAudioRing>(AheadFrames + KeptFrames, KeptFrames);
    FChunk.resize(ChunkFrames * 2);
    FWrittenTotal = 0;
    FPassFrames = 0;
    FPassEnds.clear();
    FConsumed.store(0, std::memory_order_relaxed);
    FPassStart.store(0, std::memory_order_relaxed);
    FPreviousPassStart.store(0, std::memory_order_relaxed);
    for (auto& side : FPeak)
        side.store(0, std::memory_order_relaxed);
    for (auto& window : FWindowPeaks)
        for (auto& side : window)
            side.store(0, std::memory_order_relaxed);
    FPeakTaken = 0;
    Lag.store(0, std::memory_order_relaxed);
    LagAt.store(0, std::memory_order_relaxed);
    FFileEnded.store(false, std::memory_order_relaxed);
    return true;
}

void TAudioStream::Prepare(size_t frames, bool seamless) {
    FAppliedLeft = FGainLeft.load(std::memory_order_relaxed);
    FAppliedRight = FGainRight.load(std::memory_order_relaxed);
    FPosition = 0;
    FHoldStart = 0;
    FHoldFrames = 0;
    FMove = mvUp;
    FMoveSeen = FMoveSequence;
    FFadedOut.store(false, std::memory_order_relaxed);
    StartEnvelope(seamless);
    size_t decoded = 0;
    {
        std::lock_guard lock(FDecodeLock);
        decoded = FRing ? FRing->ReadableFrames() : 0;
    }
    if (decoded < frames)
        Fill(frames - decoded);
}

void TAudioStream::StartEnvelope(bool seamless) {
    FEnvelope.Reset(seamless && FFadeInFrames == 0 ? 1.0f : 0.0f);
    if (FFadeInFrames > 0)
        FEnvelope.MoveTo(0, 1.0f, FFadeInFrames, TGainEnvelope::ecFade);
    else if (!seamless)
        FEnvelope.MoveTo(0, 1.0f, RampFrames, TGainEnvelope::ecRamp);
}

void TAudioStream::Prime(size_t frames, float rate) {
    {
        std::lock_guard lock(FDecodeLock);
        if (!FDecoder)
            return;
        FPrimedRate = rate;
        FDecoder->SetPlayRate(rate);
    }
    Fill(frames);
}

// The decoder plays at whole hertz.
bool TAudioStream::PrimedAtOtherRate() const {
    return FPrimedRate > 0 && std::lround(FPrimedRate) != std::lround(FRate);
}

void TAudioStream::Move(TMove move, uint32_t frames, TGainEnvelope::TCurve curve) {
    ++FMoveSequence;
    FMoveRequest.store(uint64_t{frames} | uint64_t{move} << 32 | uint64_t{curve} << 40 |
                           uint64_t{FMoveSequence} << 48,
                       std::memory_order_release);
}

void TAudioStream::TakeMove() {
    const uint64_t request = FMoveRequest.load(std::memory_order_acquire);
    const auto sequence = static_cast<uint16_t>(request >> 48);
    if (sequence == FMoveSeen)
        return;
    FMoveSeen = sequence;
    const auto move = static_cast<TMove>((request >> 32) & 0xff);
    const auto curve = static_cast<TGainEnvelope::TCurve>((request >> 40) & 0xff);
    const auto frames = static_cast<uint32_t>(request);
    if (move == mvEnd && FMove == mvEnd && FPosition + int64_t{frames} > FEnvelope.SettledFrom())
        return;
    FMove = move;
    FEnvelope.MoveTo(FPosition, move == mvUp ? 1.0f : 0.0f, frames, curve);
}

size_t TAudioStream::Available() const {
    if (!FRing)
        return 0;
    if (FMove == mvHold && FPosition >= FEnvelope.SettledFrom())
        return AheadFrames + KeptFrames;
    return FRing->ReadableFrames();
}

size_t TAudioStream::LiveFrames(size_t frames) const {
    if (FMove == mvUp)
        return frames;
    const int64_t left = FEnvelope.SettledFrom() - FPosition;
    return static_cast<size_t>(std::clamp<int64_t>(left, 0, static_cast<int64_t>(frames)));
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

// Scales by the gains, moving linearly from the ones applied last to the wanted ones, and by the
// envelope from the position on.
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
    if (FEnvelope.SettledFrom() <= FPosition && FEnvelope.Target() == 1.0f)
        return;
    for (i = 0; i < frames; ++i) {
        const float level = FEnvelope.At(FPosition + static_cast<int64_t>(i));
        out[i * 2] *= level;
        out[i * 2 + 1] *= level;
    }
}

namespace {
float PeakOf(const float* out, size_t frames, size_t side) {
    float peak = 0;
    for (size_t i = side; i < frames * 2; i += 2)
        peak = std::max(peak, std::abs(out[i]));
    return peak;
}

void Raise(std::atomic<float>& seen, float peak) {
    float now = seen.load(std::memory_order_relaxed);
    while (peak > now && !seen.compare_exchange_weak(now, peak, std::memory_order_relaxed))
        ;
}
} // namespace

void TAudioStream::RaisePeak(const float* out, size_t frames) {
    for (size_t side = 0; side < 2; ++side)
        Raise(FPeak[side], PeakOf(out, frames, side));
    RaiseWindowPeaks(out, frames);
}

// A window rendered from its first frame starts over, so that a rendering again after a
// rewind replaces what was rendered before.
void TAudioStream::RaiseWindowPeaks(const float* out, size_t frames) {
    uint64_t at = FConsumed.load(std::memory_order_relaxed);
    size_t done = 0;
    while (done < frames) {
        const size_t offset = at % PeakWindowFrames;
        const size_t count = std::min(frames - done, PeakWindowFrames - offset);
        TSidePeaks& window = FWindowPeaks[at / PeakWindowFrames % PeakWindows];
        for (size_t side = 0; side < 2; ++side) {
            const float peak = PeakOf(out + done * 2, count, side);
            window[side].store(
                offset == 0 ? peak : std::max(peak, window[side].load(std::memory_order_relaxed)),
                std::memory_order_relaxed);
        }
        at += count;
        done += count;
    }
}

float TAudioStream::TakePeak(uint64_t lag) {
    const TAudioLevels levels = TakePeaks(lag);
    return std::max(levels.Left, levels.Right);
}

TAudioLevels TAudioStream::TakePeaks(uint64_t lag) {
    const TAudioLevels rendered{FPeak[0].exchange(0, std::memory_order_relaxed),
                                FPeak[1].exchange(0, std::memory_order_relaxed)};
    if (lag == 0)
        return rendered;
    const uint64_t consumed = FConsumed.load(std::memory_order_relaxed);
    const uint64_t heard = consumed > lag ? consumed - lag : 0;
    const uint64_t history = (PeakWindows - 1) * PeakWindowFrames;
    const uint64_t oldest = consumed > history ? consumed - history : 0;
    uint64_t from = std::max(FPeakTaken, oldest) / PeakWindowFrames;
    const uint64_t to = std::max(heard / PeakWindowFrames, from + 1);
    if (heard < oldest)
        return {};
    FPeakTaken = std::max(FPeakTaken, heard);
    TAudioLevels peaks;
    for (; from < to; ++from) {
        const TSidePeaks& window = FWindowPeaks[from % PeakWindows];
        peaks.Left = std::max(peaks.Left, window[0].load(std::memory_order_relaxed));
        peaks.Right = std::max(peaks.Right, window[1].load(std::memory_order_relaxed));
    }
    return peaks;
}

uint64_t TAudioStream::LagNow() const {
    const uint64_t lag = Lag.load(std::memory_order_relaxed);
    const int64_t at = LagAt.load(std::memory_order_relaxed);
    if (at == 0)
        return lag;
    const auto since = std::chrono::steady_clock::now().time_since_epoch().count() - at;
    const auto played = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::duration(since))
                            .count() *
                        int64_t{TAudioDecoder::OutputRate} / 1000000;
    return played >= static_cast<int64_t>(lag)
               ? 0
               : lag - static_cast<uint64_t>(std::max<int64_t>(played, 0));
}

uint64_t TAudioStream::PassFrames(uint64_t lag) const {
    const uint64_t consumed = FConsumed.load(std::memory_order_relaxed);
    const uint64_t heard = consumed > lag ? consumed - lag : 0;
    uint64_t start = FPassStart.load(std::memory_order_relaxed);
    if (heard < start)
        start = FPreviousPassStart.load(std::memory_order_relaxed);
    return heard > start ? heard - start : 0;
}

size_t TAudioStream::Render(size_t frames, float* out, bool& end) {
    if (!FRing) {
        std::fill(out, out + frames * 2, 0.0f);
        end = true;
        return 0;
    }
    TakeMove();
    const size_t live = LiveFrames(frames);
    const bool fileEnded = FFileEnded.load(std::memory_order_acquire);
    const size_t got = FRing->Read(out, live);
    ApplyGains(out, got);
    RaisePeak(out, got);
    std::fill(out + got * 2, out + frames * 2, 0.0f);
    FPosition += static_cast<int64_t>(got);
    FConsumed.fetch_add(got, std::memory_order_release);
    end = false;
    if (got < live) {
        end = fileEnded;
        if (!fileEnded)
            Underruns.fetch_add(1, std::memory_order_relaxed);
        return got;
    }
    if (live == frames)
        return got;
    if (FMove == mvEnd) {
        FFadedOut.store(true, std::memory_order_release);
        end = true;
        return got;
    }
    if (FHoldStart + FHoldFrames != FPosition || FHoldFrames == 0) {
        FHoldStart = FPosition;
        FHoldFrames = 0;
    }
    const auto held = static_cast<int64_t>(frames - live);
    FHoldFrames += held;
    FPosition += held;
    return frames;
}

// Steps back over the frames after the last pause's silence, that silence, then the frames
// before it, in the order they were rendered.
size_t TAudioStream::Rewind(size_t frames) {
    if (!FRing)
        return 0;
    size_t done = 0;
    while (done < frames) {
        const int64_t holdEnd = FHoldStart + FHoldFrames;
        const auto wanted = static_cast<int64_t>(frames - done);
        if (FHoldFrames > 0 && FPosition > FHoldStart && FPosition <= holdEnd) {
            const int64_t step = std::min(wanted, FPosition - FHoldStart);
            FPosition -= step;
            FHoldFrames = FPosition - FHoldStart;
            done += static_cast<size_t>(step);
            continue;
        }
        const int64_t ringFrames =
            FHoldFrames > 0 && FPosition > holdEnd ? std::min(wanted, FPosition - holdEnd) : wanted;
        const size_t count = FRing->Rewind(static_cast<size_t>(ringFrames));
        FConsumed.fetch_sub(count, std::memory_order_release);
        FPosition -= static_cast<int64_t>(count);
        done += count;
        if (static_cast<int64_t>(count) < ringFrames)
            break;
    }
    FEnvelope.Rewound(FPosition);
    return done;
}

TAudioStream::TEvents TAudioStream::TakeEvents() {
    std::lock_guard lock(FDecodeLock);
    const uint64_t consumed = FConsumed.load(std::memory_order_acquire);
    TEvents events;
    while (!FPassEnds.empty() && FPassEnds.front() <= consumed) {
        FPreviousPassStart.store(FPassStart.load(std::memory_order_relaxed),
                                 std::memory_order_relaxed);
        FPassStart.store(FPassEnds.front(), std::memory_order_relaxed);
        FPassEnds.pop_front();
        ++events.Passes;
    }
    events.RenderedOut = FFileEnded.load(std::memory_order_relaxed) && consumed >= FWrittenTotal;
    return events;
}
