#pragma once

#include "TAudioDecoder.h"
#include "TAudioLibrary.h"
#include "TAudioRing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// One file stream: a decoder that fills a ring ahead (worker or UI thread) and a real-time
// Render that only copies from the ring and applies the gains (audio callback). The engine owns
// it; an output target plays it.
class TAudioStream {
public:
    enum TPlayState : uint8_t { psIdle, psPlaying, psPaused, psStopped, psEnded };

    // Frames rendered ahead of the audio callback: about half a second.
    static constexpr size_t RingFrames = TAudioDecoder::OutputRate / 2;

    TAudioStream(HSTREAM handle, uint32_t device, bool loop);
    TAudioStream(const TAudioStream&) = delete;
    TAudioStream& operator=(const TAudioStream&) = delete;

    bool Open(const std::string& file);

    HSTREAM Handle() const { return FHandle; }
    uint32_t Device() const { return FDevice; }
    const std::string& Name() const { return FName; }
    bool Loop() const { return FLoop; }

    // UI thread.
    float NativeRate() const { return FNativeRate; }
    float Rate() const { return FRate; }
    void SetRate(float rate);
    float Volume() const { return FVolume; }
    float Pan() const { return FPan; }
    void SetVolume(float volume);
    void SetPan(float pan);

    // Worker or UI thread: decodes ahead until the ring is full, `frames` more frames were
    // decoded, or the file has ended.
    void Fill(size_t frames = RingFrames);

    // Audio callback: writes `frames` frames to `out`, silence where nothing was decoded yet;
    // returns the frames taken from the file. `end` tells that the file has been rendered to
    // its last sample. No allocation, lock or I/O.
    size_t Render(size_t frames, float* out, bool& end);

    // Worker: the loop passes rendered out since the last call, and whether the whole file has.
    struct TEvents {
        int Passes = 0;
        bool RenderedOut = false;
    };
    TEvents TakeEvents();

    // Any thread. Failure comes from the output (device gone); drained is set by it once the
    // last rendered sample has been played.
    std::atomic<TPlayState> State{psIdle};
    std::atomic<bool> Failed{false};
    std::atomic<bool> Drained{false};
    std::atomic<bool> DrainRequested{false};
    std::atomic<uint64_t> Underruns{0};

    // Guarded by the engine's lock.
    SyncProc Sync = nullptr;
    void* SyncUser = nullptr;
    HSYNC SyncHandle = 0;
    bool Freed = false;

    // The output target's own data (its server stream); touched only by the target.
    void* Target = nullptr;

private:
    void UpdateGains();

    const HSTREAM FHandle;
    const uint32_t FDevice;
    const bool FLoop;
    std::string FName;
    float FNativeRate = 0;
    float FRate = 0;
    float FVolume = 1;
    float FPan = 0;

    // Gains applied by Render; relaxed is enough, each is a value on its own.
    std::atomic<float> FGainLeft{1};
    std::atomic<float> FGainRight{1};

    TAudioRing FRing{RingFrames};
    // Frames Render has taken from the ring; release so the worker's acquire sees them taken.
    std::atomic<uint64_t> FConsumed{0};
    // Set by the producer after the file's last frame is in the ring.
    std::atomic<bool> FFileEnded{false};

    // Producer side, guarded by FDecodeLock.
    std::mutex FDecodeLock;
    TAudioDecoder FDecoder;
    std::vector<float> FChunk;
    uint64_t FWrittenTotal = 0;
    uint64_t FPassFrames = 0;
    std::deque<uint64_t> FPassEnds;
};
