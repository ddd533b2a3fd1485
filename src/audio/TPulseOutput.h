#pragma once

#include "TAudioOutput.h"
#include "TPulseServer.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class TPulseStream;

// Cues on the PulseAudio server (or PipeWire's pulse server): the connection and its numbered
// outputs (TPulseServer), and one playback stream per output in use (TPulseStream), which
// mixes every cue playing there; a cue reaches its output's stream through TAudioStream::Target.
// Engine calls come from the UI thread and the engine's worker; each waits on the server for a
// bounded time only, so a stopped or hung server costs a call well under a second. The stream
// callbacks run on the mainloop thread and take no lock of the program's.
class TPulseOutput : public TAudioOutput {
public:
    TPulseOutput();
    ~TPulseOutput() override;
    TPulseOutput(const TPulseOutput&) = delete;
    TPulseOutput& operator=(const TPulseOutput&) = delete;

    bool DeviceExists(uint32_t device) override;
    std::string DeviceName(uint32_t device) override;
    bool InitDevice(uint32_t device) override;
    std::string Problem() override;
    std::vector<TOutputDevice> Devices() override;

    void Start(TAudioStream& stream) override;
    bool StartAfter(TAudioStream& stream, TAudioStream& leader) override;
    void StartNow(TAudioStream& stream) override;
    bool CancelPending(TAudioStream& stream) override;
    void BeginStarts() override;
    void CommitStarts() override;
    void Pause(TAudioStream& stream) override;
    void Resume(TAudioStream& stream) override;
    void Refresh(TAudioStream& stream) override;
    void Rename(TAudioStream&) override {}
    void Drain(TAudioStream& stream) override;
    void Close(TAudioStream& stream) override;
    void Keep(uint32_t device) override;
    bool Tidy() override;

private:
    // With the mainloop locked: the ready stream of the output `device` plays on, opened if
    // there is none yet; nullptr when it cannot be opened.
    TPulseStream* OutputLocked(uint32_t device, TPulseServer::TDeadline deadline);
    void DropLocked(TPulseStream* stream);
    void CountLocked();
    void OpenKept();
    bool KeptLocked(const TPulseStream& stream) const;

    TPulseServer FServer;
    // Guarded by the mainloop lock.
    std::vector<std::unique_ptr<TPulseStream>> FStreams;
    // How many FStreams holds, for the worker to look at without the mainloop, which the UI
    // thread may be starting; release/acquire: a count above 0 shows the mainloop started.
    std::atomic<size_t> FOpen{0};
    // The kept output, guarded by the mainloop lock; the worker is asked to open it with a
    // release store after the UI thread started the mainloop.
    uint32_t FKept = 0;
    std::atomic<bool> FOpenKept{false};
    bool FHolding = false;
};
