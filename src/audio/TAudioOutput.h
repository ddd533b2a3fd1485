#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TAudioStream;

// Where streams sound: the sound server, or an offline target for tests. Devices are numbered
// from 1. Called by the engine on the UI thread, Drain also on its worker, never concurrently
// for one stream.
class TAudioOutput {
public:
    virtual ~TAudioOutput() = default;

    // Called (on any non-real-time thread) when a stream has failed or drained.
    void SetWake(std::function<void()> wake) { FWake = std::move(wake); }

    virtual bool DeviceExists(uint32_t device) = 0;
    virtual std::string DeviceName(uint32_t device) = 0;
    // Whether the device can take 44100 Hz stereo float output.
    virtual bool InitDevice(uint32_t device) = 0;
    // Why no device could be found; empty when one was.
    virtual std::string Problem() = 0;

    // Starts a stream whose first block is decoded; a start that fails sets stream.Failed.
    virtual void Start(TAudioStream& stream) = 0;
    virtual void Pause(TAudioStream& stream) = 0;
    virtual void Resume(TAudioStream& stream) = 0;
    // Silences at once and drops what was queued; the stream can still be resumed.
    virtual void Stop(TAudioStream& stream) = 0;
    // Sets stream.Drained once everything rendered has been played.
    virtual void Drain(TAudioStream& stream) = 0;
    // Releases the target's part of the stream; no callback touches it afterwards.
    virtual void Close(TAudioStream& stream) = 0;

protected:
    void Wake() {
        if (FWake)
            FWake();
    }

private:
    std::function<void()> FWake;
};
