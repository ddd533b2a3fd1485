#pragma once

#include "TAudioMix.h"
#include "TAudioOutput.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <vector>

// Plays nothing: the caller takes each output's mix on demand, so tests can check every sample
// of what the sound server would be given. Each output keeps `queuedFrames` frames rendered
// beyond what has been taken, as the server's buffer does: a start, a stop and every control
// change render what is queued again from the frame taken next. Not thread-safe: one thread
// takes the mixes, the streams' Control lock orders the rest.
class TOfflineMixOutput : public TAudioOutput {
public:
    explicit TOfflineMixOutput(uint32_t devices = 2, size_t queuedFrames = 0)
        : FDevices(devices), FQueuedFrames(queuedFrames) {}

    bool DeviceExists(uint32_t device) override;
    std::string DeviceName(uint32_t device) override;
    bool InitDevice(uint32_t device) override;
    std::string Problem() override;

    void Start(TAudioStream& stream) override;
    bool StartAfter(TAudioStream& stream, TAudioStream& leader) override;
    void StartNow(TAudioStream& stream) override;
    bool CancelPending(TAudioStream& stream) override;
    void BeginStarts() override { FHolding = true; }
    void CommitStarts() override;
    void Pause(TAudioStream& stream) override;
    void Resume(TAudioStream& stream) override;
    void Refresh(TAudioStream& stream) override;
    void Rename(TAudioStream&) override {}
    void Drain(TAudioStream& stream) override;
    void Close(TAudioStream& stream) override;

    // Takes the next `frames` frames of a device's mix, as the server would play them; frames
    // no cue had ready yet are silence. Returns the frames taken from the mix.
    size_t Take(uint32_t device, size_t frames, float* out);

private:
    struct TOutput {
        TAudioMix Mix;
        // Frames taken, and frames rendered: those between are queued.
        int64_t Taken = 0;
        int64_t Written = 0;
        std::vector<float> Queued;
        // A start, stop or change asked for what is queued to be rendered again.
        bool RewritePending = false;
    };
    TOutput& OutputOf(TAudioStream& stream);
    static void Rewrite(TOutput& output);

    uint32_t FDevices;
    size_t FQueuedFrames;
    bool FHolding = false;
    std::map<uint32_t, TOutput> FOutputs;
};
