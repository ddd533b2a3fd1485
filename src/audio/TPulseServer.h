#pragma once

#include "TAudioOutput.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct pa_context;
struct pa_operation;
struct pa_threaded_mainloop;

// The connection to the PulseAudio server (or PipeWire's pulse server): one threaded mainloop
// and one context for the program, and the outputs it offers, numbered. Device 1 is the default
// sink, 2, 3 ... the other sinks in the server's order, as found when connecting; sinks that
// appear later take the next numbers, and a sink that goes keeps its number for when it comes
// back (the server's sink events keep the list current). A server that has gone is connected
// to again at the next question about devices.
// The public calls without "Locked" come from the UI thread or the engine's worker and take the
// mainloop lock themselves; each waits on the server for a bounded time only.
class TPulseServer {
public:
    using TClock = std::chrono::steady_clock;
    using TDeadline = TClock::time_point;
    // The longest any one engine call waits on the server.
    static constexpr std::chrono::milliseconds ServerWait{500};

    // `devicesChanged` runs on the mainloop thread when outputs come, go or are renamed.
    explicit TPulseServer(std::function<void()> devicesChanged);
    // Stops the mainloop thread first: no callback runs once the list and the context go.
    ~TPulseServer();
    TPulseServer(const TPulseServer&) = delete;
    TPulseServer& operator=(const TPulseServer&) = delete;

    // Connects, or after the server has gone, connects again and lists the sinks anew; true
    // when connected and listed.
    bool Connect(TDeadline deadline);
    std::vector<TOutputDevice> Devices();
    bool DeviceExists(uint32_t device);
    std::string DeviceName(uint32_t device);
    bool InitDevice(uint32_t device);
    std::string Problem();

    // Valid after a Connect that returned true.
    pa_threaded_mainloop* Mainloop() const { return FMainloop; }
    pa_context* Context() const { return FContext; }

    // With the mainloop locked.
    bool AnyPresentLocked() const;
    // The sink a stream for `device` plays on: the device's own while it is present, else the
    // first present one.
    std::string SinkForLocked(uint32_t device) const;
    // The name the operator knows that sink by: its description, or its name without one.
    std::string OutputNameForLocked(uint32_t device) const;
    bool ListSinksLocked(TDeadline deadline);
    // Waits until `done()` holds or the deadline passes; false on the deadline.
    bool WaitUntilLocked(const std::function<bool()>& done, TDeadline deadline);

private:
    struct TSink {
        std::string Name;
        std::string Description;
        uint32_t Index = 0;
        bool Present = false;
    };

    bool StartMainloop();
    // With the mainloop locked.
    bool ConnectLocked(TDeadline deadline);
    void DropContextLocked();
    bool Await(pa_operation* operation, TDeadline deadline);
    bool Present(uint32_t device) const;
    void Merge(const std::vector<TSink>& listed);
    void Subscribe();
    void Relist();

    static void SubscribeCallback(pa_context* context, int event, uint32_t index, void* user);
    static void RelistCallback(pa_context* context, const void* info, int eol, void* user);

    std::function<void()> FDevicesChanged;
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
