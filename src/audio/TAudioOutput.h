#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TAudioStream;

// An output as the operator knows it: its number, the name the sound server gives it, and
// whether it is there now.
struct TOutputDevice {
    uint32_t Number = 0;
    std::string Name;
    bool Present = false;
};

// Where streams sound: the sound server, or an offline target for tests. Devices are numbered
// from 1. The device calls come from the UI thread. The stream calls come from the UI thread or
// the engine's worker, always with the stream's Control lock held, so calls for one stream never
// overlap; each returns within a bounded time, also when the server does not answer.
class TAudioOutput {
public:
    virtual ~TAudioOutput() = default;

    // Called on the target's own thread when a stream has failed or drained; must not block.
    void SetWake(std::function<void()> wake) { FWake = std::move(wake); }
    // Called on the target's own thread when outputs come, go or are renamed; must not block.
    void SetDevicesChanged(std::function<void()> changed) { FDevicesChanged = std::move(changed); }

    virtual bool DeviceExists(uint32_t device) = 0;
    virtual std::string DeviceName(uint32_t device) = 0;
    // Whether the device can take 44100 Hz stereo float output.
    virtual bool InitDevice(uint32_t device) = 0;
    // Why no device could be found; empty when one was.
    virtual std::string Problem() = 0;
    // Every output numbered so far, in number order; by default those that DeviceExists finds.
    virtual std::vector<TOutputDevice> Devices();

    // The clock of every stream deadline: the system's monotonic clock, or a target's own.
    virtual std::chrono::steady_clock::time_point Now() const {
        return std::chrono::steady_clock::now();
    }

    // Starts a stream whose first block is decoded; a start that fails (also one the server
    // did not confirm in time) sets stream.Failed and leaves nothing to close.
    virtual void Start(TAudioStream& stream) = 0;
    // Between these, started streams wait; the commit lets every one of them begin at once,
    // on the same frame of each output.
    virtual void BeginStarts() {}
    virtual void CommitStarts() {}
    // Starts a stream whose first block is decoded on the frame right after the last frame of
    // `leader`, a stream playing on the same output, once the leader has played its file to
    // the end. False, with nothing to close, where that cannot be done: another output, a
    // leader that has ended already or a target that renders each stream alone.
    virtual bool StartAfter(TAudioStream&, TAudioStream&) { return false; }
    // A stream that still waits for its leader starts at once, as Start would start it.
    virtual void StartNow(TAudioStream&) {}
    // A stream that still waits for its leader is let go; false once it has begun.
    virtual bool CancelPending(TAudioStream&) { return false; }
    // Renders the ramp to silence over what is queued and gives up a drain under way: a paused
    // stream has no deadline running.
    virtual void Pause(TAudioStream& stream) = 0;
    virtual void Resume(TAudioStream& stream) = 0;
    // The stream's gains changed: what is queued and not played yet is rendered again.
    virtual void Refresh(TAudioStream& stream) = 0;
    // The stream's name changed.
    virtual void Rename(TAudioStream& stream) = 0;
    // Sets stream.Drained once everything rendered has been played.
    virtual void Drain(TAudioStream& stream) = 0;
    // Silences the stream at once and releases the target's part of it; no callback touches
    // the stream afterwards.
    virtual void Close(TAudioStream& stream) = 0;
    // The output the next cue is set to play on (0: none), from the UI thread without waiting on
    // the server: its stream is opened ahead by the worker's Tidy and kept open while it is kept,
    // so that the cue's start does not wait for it.
    virtual void Keep(uint32_t) {}
    // The engine's worker: opens the kept output and gives back what has been idle long enough;
    // true while something is left that may be given back later.
    virtual bool Tidy() { return false; }

protected:
    void Wake() {
        if (FWake)
            FWake();
    }
    void DevicesChanged() {
        if (FDevicesChanged)
            FDevicesChanged();
    }

private:
    std::function<void()> FWake;
    std::function<void()> FDevicesChanged;
};
