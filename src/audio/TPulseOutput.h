#pragma once

#include "TAudioOutput.h"

#include <chrono>
#include <string>
#include <vector>

struct pa_context;
struct pa_mainloop_api;
struct pa_time_event;
struct timeval;
struct pa_operation;
struct pa_stream;
struct pa_threaded_mainloop;

// Streams on the PulseAudio server (or PipeWire's pulse server): one threaded mainloop and one
// context for the program, one playback stream per playing file. Device 1 is the default sink,
// 2, 3 ... the other sinks in the server's order, as found when connecting; sinks that appear
// later take the next numbers, and a sink that goes keeps its number for when it comes back
// (the server's sink events keep the list current). A server that has gone is connected to
// again at the next question about devices.
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
    void Pause(TAudioStream& stream) override;
    void Resume(TAudioStream& stream) override;
    void Refresh(TAudioStream& stream) override;
    void Rename(TAudioStream& stream) override;
    void Drain(TAudioStream& stream) override;
    void Close(TAudioStream& stream) override;

private:
    using TDeadline = std::chrono::steady_clock::time_point;
    struct TSink {
        std::string Name;
        std::string Description;
        uint32_t Index = 0;
        bool Present = false;
    };

    bool Connect(TDeadline deadline);
    bool ListSinks(TDeadline deadline);
    template <class TDone> bool WaitUntil(TDone done, TDeadline deadline);
    bool Await(pa_operation* operation, TDeadline deadline);
    pa_stream* OpenStream(void* own, const std::string& name, const std::string& sink,
                          TDeadline deadline);
    void Cork(TAudioStream& stream, bool cork);
    // With the mainloop locked.
    std::string SinkFor(uint32_t device) const;
    bool AnyPresent() const;
    bool Present(uint32_t device) const;
    void Merge(const std::vector<TSink>& listed);
    void Subscribe();
    void Relist();

    static void SubscribeCallback(pa_context* context, int event, uint32_t index, void* user);
    static void RelistCallback(pa_context* context, const void* info, int eol, void* user);

    static void StreamStateCallback(pa_stream* server, void* user);
    static void StreamWriteCallback(pa_stream* server, size_t bytes, void* user);
    static void TimingCallback(pa_stream* server, int success, void* user);
    static void RetryCallback(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                              void* user);
    static void UnderflowCallback(pa_stream* server, void* user);
    static void DrainCallback(pa_stream* server, int success, void* user);

    pa_threaded_mainloop* FMainloop = nullptr;
    pa_context* FContext = nullptr;
    // When the last connection was begun; a new one is begun only after the last one failed,
    // and not more often than RetryInterval.
    TDeadline FConnectBegun;
    std::string FProblem;
    // Every sink numbered so far, device n at n - 1; guarded by the mainloop lock.
    std::vector<TSink> FSinks;
    // Whether FSinks reflects the current connection.
    bool FListed = false;
    bool FSubscribed = false;
    // Mainloop thread: a listing after a sink event, and whether another event came meanwhile.
    bool FRelisting = false;
    bool FRelistAgain = false;
    std::vector<TSink> FFound;
};
