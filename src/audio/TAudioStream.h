#pragma once

#include "TAudioDecoder.h"
#include "TAudioLibrary.h"
#include "TAudioRing.h"
#include "TGainEnvelope.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One file stream: a decoder that fills a ring ahead (worker or UI thread) and a real-time
// Render that only copies from the ring and applies the gains (audio callback). While it plays
// it holds its file, decoder and ring; a stream that has stopped or ended gives them back and
// opens the file again when it is played again. The engine owns it; an output target plays it.
class TAudioStream {
public:
    // psStopping: stopped for its caller, while the output plays its last ramp to silence.
    enum TPlayState : uint8_t { psIdle, psPlaying, psPaused, psStopping, psStopped, psEnded };
    // Where the gain goes: up to full level, or down to silence and then holding the file's
    // position (pause) or ending the stream (stop, fade-out).
    enum TMove : uint8_t { mvUp, mvHold, mvEnd };

    // Frames decoded ahead of the audio callback (the server's buffer holds more), and frames
    // kept after it for rendering again what the server has queued but not played yet.
    static constexpr size_t AheadFrames = TAudioDecoder::OutputRate / 4;
    static constexpr size_t KeptFrames = TAudioDecoder::OutputRate * 21 / 100;
    // The ramp of every start, pause, resume and stop, and of every change of volume or pan:
    // long enough not to click, short enough to be heard as at once.
    static constexpr uint32_t RampFrames = TAudioDecoder::OutputRate * 5 / 1000;

    TAudioStream(HSTREAM handle, uint32_t device, bool loop, std::string file);
    TAudioStream(const TAudioStream&) = delete;
    TAudioStream& operator=(const TAudioStream&) = delete;

    // Opens the file at its beginning and decodes its first frame; false if it cannot be played.
    bool Open();
    // Gives back the decoder, the file and the ring; the output has closed its part before.
    void Release();

    HSTREAM Handle() const { return FHandle; }
    // Before the engine hands the stream out: a stream armed ahead is made without a handle.
    void SetHandle(HSTREAM handle) { FHandle = handle; }
    uint32_t Device() const { return FDevice; }
    // The name the desktop's mixer shows: the one given, or the file's name. With Control held.
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name);
    bool Loop() const { return FLoop; }

    // UI thread.
    float NativeRate() const { return FNativeRate; }
    float Rate() const { return FRate; }
    void SetRate(float rate);
    float Volume() const { return FVolume; }
    float Pan() const { return FPan; }
    void SetVolume(float volume);
    void SetPan(float pan);

    // The next start from the beginning fades in over `frames` frames; 0 is the short ramp.
    // With Control held.
    void SetFadeIn(uint32_t frames) { FFadeInFrames = frames; }
    // Before the output starts it: the gains of now apply from the first frame on, the start
    // ramps or fades in, and `frames` frames are decoded (fewer when some are decoded already).
    // A `seamless` start, one that goes on right after another cue's last frame, has no ramp:
    // only a fade-in if one is set.
    void Prepare(size_t frames, bool seamless = false);
    // After Open, on the thread that arms it: decodes the first `frames` frames played at `rate`
    // hertz, ahead of its Play. The rate set with SetRate stays the file's own until then.
    void Prime(size_t frames, float rate);
    // Whether the frames decoded ahead were decoded at another rate than the one set now: the
    // stream must be opened again before it plays.
    bool PrimedAtOtherRate() const;
    // Before its first frame is rendered, with the renderer held off: the start ramps (or
    // fades in) after all.
    void StartWithRamp() { StartEnvelope(false); }
    // With Control held: from the next frame rendered on, the gain moves over `frames` frames.
    // A move to end the stream never ends it later than one already under way.
    void Move(TMove move, uint32_t frames, TGainEnvelope::TCurve curve);
    // Any thread: a move to end (a stop or a fade-out) is the last move asked for.
    bool EndAsked() const {
        return ((FMoveRequest.load(std::memory_order_acquire) >> 32) & 0xff) == mvEnd;
    }
    // Any thread: a move to end has reached silence; nothing more will be rendered.
    bool FadedOut() const { return FFadedOut.load(std::memory_order_acquire); }
    // Worker or UI thread: decodes ahead until the ring is full, `frames` more frames were
    // decoded, or the file has ended.
    void Fill(size_t frames = AheadFrames);

    // Audio callback: writes `frames` frames to `out`, silence where nothing was decoded yet;
    // returns the frames rendered: taken from the file, or held silent during a pause. `end`
    // tells that the file has been rendered to its last sample, or a move to end has reached
    // silence. A gain change reaches its new value within a few milliseconds. No allocation,
    // lock or I/O.
    size_t Render(size_t frames, float* out, bool& end);
    // Audio callback: frames Render can give now: decoded and not rendered yet, or, while a
    // pause holds the stream silent, as many as a buffer takes.
    size_t Available() const;
    // Any thread: whether the file's last frame has been decoded: no more frames will come.
    bool Decoded() const { return FFileEnded.load(std::memory_order_acquire); }
    // Audio callback: whether the file has been rendered to its last sample.
    bool RenderedOut() const { return Decoded() && Available() == 0; }
    // Audio callback: steps back over up to `frames` rendered frames, so that the next Render
    // renders them again with the gains and moves of now; returns how many.
    size_t Rewind(size_t frames);

    // Worker: the loop passes rendered out since the last call, and whether the whole file has.
    struct TEvents {
        int Passes = 0;
        bool RenderedOut = false;
    };
    TEvents TakeEvents();

    // Any thread: output frames heard since the current loop pass began (since the start for a
    // stream that does not loop), `lag` being the frames rendered and not heard yet.
    uint64_t PassFrames(uint64_t lag = 0) const;
    // One thread: the largest sample heard since the last call, gains applied; with no lag,
    // the largest rendered. Resets it. TakePeaks: the same for each side.
    float TakePeak(uint64_t lag = 0);
    TAudioLevels TakePeaks(uint64_t lag = 0);

    // Held by the engine around every change of the play state and every output call for this
    // stream, from the UI thread and from the worker; never by the audio callback.
    std::mutex Control;
    // Written with Control held; atomic so that the offline target reads it without the lock.
    std::atomic<TPlayState> State{psIdle};
    // Set by the output from its own thread (device gone, last sample played), reset at a start.
    std::atomic<bool> Failed{false};
    std::atomic<bool> Drained{false};
    std::atomic<uint64_t> Underruns{0};
    // Set by the output from its own thread: frames rendered that had not been heard yet at
    // LagAt (steady-clock ticks; 0: until the output says otherwise).
    std::atomic<uint64_t> Lag{0};
    std::atomic<int64_t> LagAt{0};
    // Any thread: frames rendered that have not been heard yet now.
    uint64_t LagNow() const;

    // Guarded by Control.
    // Handed to the output to start after another stream; cleared by the next play or stop.
    bool Following = false;
    bool DrainRequested = false;
    std::chrono::steady_clock::time_point DrainDeadline;
    // When a stream that is stopping is closed whether its ramp was heard or not.
    std::chrono::steady_clock::time_point StopDeadline;
    SyncProc Sync = nullptr;
    void* SyncUser = nullptr;
    HSYNC SyncHandle = 0;
    bool Freed = false;

    // The output target's own data (its server stream); touched only by the target.
    void* Target = nullptr;

private:
    void StartEnvelope(bool seamless);
    void UpdateGains();
    void ApplyGains(float* out, size_t frames);
    void TakeMove();
    // Frames, from the position on, that are rendered from the file before the move settles.
    size_t LiveFrames(size_t frames) const;
    void RaisePeak(const float* out, size_t frames);
    void RaiseWindowPeaks(const float* out, size_t frames);

    HSTREAM FHandle;
    const uint32_t FDevice;
    const bool FLoop;
    const std::string FFile;
    std::string FName;
    float FNativeRate = 0;
    float FRate = 0;
    // The rate of the frames Prime decoded; 0 when none were decoded ahead.
    float FPrimedRate = 0;
    float FVolume = 1;
    float FPan = 0;

    // Gains Render moves towards; relaxed is enough, each is a value on its own.
    std::atomic<float> FGainLeft{1};
    std::atomic<float> FGainRight{1};
    // Audio callback only: the gains applied to the last frame rendered.
    float FAppliedLeft = 1;
    float FAppliedRight = 1;

    // Moves asked for: frames (bits 0-31), TMove (32-39), curve (40-47) and a sequence number
    // (48-63) that tells the audio callback a new one came. Release/acquire: the callback sees
    // the request whole. The sequence is the UI side's own, with Control held.
    std::atomic<uint64_t> FMoveRequest{0};
    uint16_t FMoveSequence = 0;
    uint32_t FFadeInFrames = 0;
    // Set by the audio callback, read by the worker.
    std::atomic<bool> FFadedOut{false};

    // Audio callback only (Prepare sets them before the output starts): the output position,
    // the gain over it, the move under way and the last pause's silent frames, which took
    // nothing from the ring.
    TGainEnvelope FEnvelope;
    int64_t FPosition = 0;
    TMove FMove = mvUp;
    uint16_t FMoveSeen = 0;
    int64_t FHoldStart = 0;
    int64_t FHoldFrames = 0;

    // Created by Open, dropped by Release; the producer reaches it with FDecodeLock held, the
    // audio callback only between the output's start and close.
    std::unique_ptr<TAudioRing> FRing;
    // Frames Render has taken from the ring; release so the worker's acquire sees them taken.
    std::atomic<uint64_t> FConsumed{0};
    // Rendered frames at which the current loop pass began; set by the worker in TakeEvents.
    std::atomic<uint64_t> FPassStart{0};
    // Largest sample of each side since the last TakePeak: raised by Render with a
    // compare-exchange, taken with an exchange; relaxed, as it orders nothing else.
    using TSidePeaks = std::array<std::atomic<float>, 2>;
    TSidePeaks FPeak{};
    // The largest sample of each window of rendered frames, the last PeakWindows of them, for
    // meters that follow what is heard; written by Render only. And the frame TakePeak saw last.
    static constexpr size_t PeakWindowFrames = 256;
    static constexpr size_t PeakWindows = 128;
    std::array<TSidePeaks, PeakWindows> FWindowPeaks{};
    uint64_t FPeakTaken = 0;
    // Rendered frames at which the pass before the current one began.
    std::atomic<uint64_t> FPreviousPassStart{0};
    // Set by the producer after the file's last frame is in the ring.
    std::atomic<bool> FFileEnded{false};

    // Producer side, guarded by FDecodeLock.
    std::mutex FDecodeLock;
    std::unique_ptr<TAudioDecoder> FDecoder;
    std::vector<float> FChunk;
    uint64_t FWrittenTotal = 0;
    uint64_t FPassFrames = 0;
    std::deque<uint64_t> FPassEnds;
};
