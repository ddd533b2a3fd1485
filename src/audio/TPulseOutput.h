#pragma once

#include "TAudioOutput.h"
#include "TPulseServer.h"

#include <string>
#include <vector>

// Streams on the PulseAudio server (or PipeWire's pulse server): the connection and its
// numbered outputs (TPulseServer), and one playback stream per playing file (TPulseStream),
// reached through TAudioStream::Target.
// Engine calls come from the UI thread and the engine's worker; each waits on the server for a
// bounded time only, so a stopped or hung server costs a call well under a second. The stream
// callbacks run on the mainloop thread and take no lock of the program's.
class TPulseOutput : public TAudioOutput {
public:
    TPulseOutput();
    ~TPulseOutput() override = default;
    TPulseOutput(const TPulseOutput&) = delete;
    TPulseOutput& operator=(const TPulseOutput&) = delete;

    bool DeviceExists(uint32_t device) override;
    std::string DeviceName(uint32_t device) override;
    bool InitDevice(uint32_t device) override;
    std::string Problem() override;
    std::vector<TOutputDevice> Devices() override;

    void Start(TAudioStream& stream) override;
    void Pause(TAudioStream& stream) override;
    void Resume(TAudioStream& stream) override;
    void Refresh(TAudioStream& stream) override;
    void Rename(TAudioStream& stream) override;
    void Drain(TAudioStream& stream) override;
    void Close(TAudioStream& stream) override;

private:
    TPulseServer FServer;
};
