#pragma once

#include "TAudioOutput.h"

#include <atomic>
#include <chrono>
#include <cstddef>

// Plays nothing: the caller renders each stream on demand, so tests can check every sample.
// With `queuedFrames` it stands for a sound server that holds that many frames rendered ahead
// of what is heard: control changes render what is queued again, and a drain ends once the
// queue has been taken. Its clock runs with the system's, plus the time the test skips ahead.
// Not thread-safe: one thread renders, the streams' Control lock orders the rest.
class TOfflineOutput : public TAudioOutput {
public:
    explicit TOfflineOutput(uint32_t devices = 2, size_t queuedFrames = 0)
        : FDevices(devices), FQueuedFrames(queuedFrames) {}

    bool DeviceExists(uint32_t device) override;
    std::string DeviceName(uint32_t device) override;
    bool InitDevice(uint32_t device) override;
    std::string Problem() override;
    std::chrono::steady_clock::time_point Now() const override;

    void Start(TAudioStream& stream) override;
    void Pause(TAudioStream& stream) override;
    void Resume(TAudioStream& stream) override;
    void Refresh(TAudioStream& stream) override;
    void Rename(TAudioStream& stream) override;
    void Drain(TAudioStream& stream) override;
    void Close(TAudioStream& stream) override;

    // Renders `frames` frames of a started stream as the sound server would play them: a
    // paused stream its ramp down, then silence at the same position; a stopping one its ramp,
    // then nothing; a stopped or ended one silence. Returns the frames rendered.
    size_t Render(TAudioStream& stream, size_t frames, float* out);
    // Moves the clock on, as time passing with nothing taken (a corked stream).
    void Advance(std::chrono::steady_clock::duration skipped) { FSkipped += skipped.count(); }

private:
    struct TQueue;
    size_t RenderQueued(TAudioStream& stream, TQueue& queue, size_t frames, float* out);
    void Rewrite(TAudioStream& stream);

    uint32_t FDevices;
    size_t FQueuedFrames;
    // Ticks of the steady clock skipped; relaxed, it orders nothing else.
    std::atomic<std::chrono::steady_clock::rep> FSkipped{0};
};
