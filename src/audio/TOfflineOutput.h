#pragma once

#include "TAudioOutput.h"

#include <cstddef>

// Plays nothing: the caller renders each stream on demand, so tests can check every sample.
class TOfflineOutput : public TAudioOutput {
public:
    explicit TOfflineOutput(uint32_t devices = 2) : FDevices(devices) {}

    bool DeviceExists(uint32_t device) override;
    std::string DeviceName(uint32_t device) override;
    bool InitDevice(uint32_t device) override;
    std::string Problem() override;

    void Start(TAudioStream& stream) override;
    void Pause(TAudioStream& stream) override;
    void Resume(TAudioStream& stream) override;
    void Refresh(TAudioStream& stream) override;
    void Rename(TAudioStream& stream) override;
    void Drain(TAudioStream& stream) override;
    void Close(TAudioStream& stream) override;

    // Renders `frames` frames of a started stream as the sound server would take them: a
    // paused stream its ramp down, then silence at the same position; a stopping one its ramp,
    // then nothing; a stopped or ended one silence. Returns the frames rendered.
    size_t Render(TAudioStream& stream, size_t frames, float* out);

private:
    uint32_t FDevices;
};
