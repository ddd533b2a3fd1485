// Keys under an OSC flood, timed on the sink's monitor: Space (GO) sent to a running Trelmo
// through the X server with XTest until the cue's first sound, first with OSC quiet, then while
// another thread sends /cue/1/start and /cue/1/stop (cue 1 is silent) at `rate` a second.
// Usage: bench_flood_key_latency [runs] [rate] [sink]; needs DISPLAY, no window manager, and the
// sink as the sound server's default (device 1).
#include "LatencyMeasure.h"
#include "TFakeKeyboard.h"
#include "TOscTestClient.h"
#include "TProduction.h"
#include "TRunningTrelmo.h"

#include <X11/keysym.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

// Sends start and stop of cue 1 in turn at about `rate` a second until stopped.
class TFlood {
public:
    TFlood(uint16_t port, int rate) : FClient(port) {
        FThread = std::thread([this, rate] { Run(rate); });
    }
    ~TFlood() {
        FStop = true;
        FThread.join();
    }
    uint64_t Sent() const { return FSent; }

private:
    void Run(int rate) {
        const std::string messages[] = {OscBytes("/cue/1/start"), OscBytes("/cue/1/stop")};
        const auto started = TClock::now();
        while (!FStop) {
            const auto due = std::chrono::duration<double>(TClock::now() - started).count() * rate;
            while (FSent < due && !FStop) {
                if (FClient.SendRaw(messages[FSent % 2]))
                    ++FSent;
            }
            std::this_thread::yield();
        }
    }

    TOscTestClient FClient;
    std::atomic<bool> FStop = false;
    std::atomic<uint64_t> FSent = 0;
    std::thread FThread;
};

void MeasureGoes(TMonitorRecorder& recorder, TFakeKeyboard& keyboard,
                 const std::vector<float>& signature, int runs, TLatencyResult& result) {
    for (int run = 0; run < runs; ++run) {
        MeasureStart(recorder, keyboard.Press(XK_space), signature, result);
        recorder.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 100000;
    const std::string sink = argc > 3 ? argv[3] : "out1";
    TTempDir dir;
    const TSignatureFile signature = WriteLatencySignature(dir);
    const std::string silentPath = WriteSilentSecond(dir);

    TMonitorRecorder recorder(sink + ".monitor");
    TFakeKeyboard keyboard;
    if (!recorder.Start() || !keyboard.Opened()) {
        std::fprintf(stderr, "cannot record %s.monitor or open the display\n", sink.c_str());
        return 1;
    }
    // A port free a moment ago, for Trelmo to take OSC on.
    const uint16_t port = TTakenUdpPort().Port();
    // A silent cue 1, then the signature cues.
    TProduction production;
    production.Osc.Port = port;
    AddCue(production, silentPath);
    for (int i = 0; i < 2 * runs; ++i)
        AddCue(production, signature.Path);
    TRunningTrelmo trelmo(dir, production, "xcb");
    if (!trelmo.Focus()) {
        std::fprintf(stderr, "Trelmo's window did not come up\n");
        return 1;
    }
    std::this_thread::sleep_for(500ms);
    // GO on the silent cue 1 makes the first signature cue current.
    keyboard.Press(XK_space);
    std::this_thread::sleep_for(300ms);

    TLatencyResult quiet, flooded;
    MeasureGoes(recorder, keyboard, signature.Samples, runs, quiet);
    uint64_t sent = 0;
    {
        TFlood flood(port, rate);
        std::this_thread::sleep_for(1s);
        const auto started = TClock::now();
        MeasureGoes(recorder, keyboard, signature.Samples, runs, flooded);
        sent = flood.Sent();
        std::printf("flood    %.0f messages a second\n",
                    sent / std::chrono::duration<double>(TClock::now() - started + 1s).count());
    }
    ReportLatency("quiet", quiet);
    ReportLatency("flooded", flooded);
    ReportRatio(flooded, quiet);
    return 0;
}
