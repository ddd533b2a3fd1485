// Time from sending OSC /cue/1/start to a running Trelmo until its first sound at the sink,
// against paplay of the same file in a fresh process, measured on the sink's monitor, in turns.
// Usage: bench_osc_latency [runs] [sink]; the sink must be the server's default (device 1).
#include "LatencyMeasure.h"
#include "TProduction.h"
#include "TRunningTrelmo.h"

#include <lo/lo.h>

#include <cstdio>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const TSignatureFile signature = WriteLatencySignature(dir);

    TMonitorRecorder recorder(sink + ".monitor");
    if (!recorder.Start()) {
        std::fprintf(stderr, "cannot record %s.monitor\n", sink.c_str());
        return 1;
    }
    // Cue 1 plays the signature; OSC on a port Trelmo picks.
    TProduction production;
    AddCue(production, signature.Path);
    production.Osc.Port = 0;
    TRunningTrelmo trelmo(dir, production, "offscreen", TRunningTrelmo::TErrors::Read);
    const int port = trelmo.OscPort();
    if (port == 0)
        return 1;
    lo_address osc = lo_address_new("127.0.0.1", std::to_string(port).c_str());
    std::printf("sink %s, OSC port %d\n", sink.c_str(), port);
    TLatencyResult viaOsc, paplay;
    for (int run = 0; run < runs; ++run) {
        const auto sent = TClock::now();
        lo_send(osc, "/cue/1/start", "");
        MeasureStart(recorder, sent, signature.Samples, viaOsc);
        lo_send(osc, "/cue/1/stop", "");
        std::this_thread::sleep_for(300ms);

        if (!MeasurePaplay(recorder, sink, signature.Path, signature.Samples, paplay))
            return 1;
        std::this_thread::sleep_for(300ms);
    }
    lo_address_free(osc);
    ReportLatency("osc", viaOsc);
    ReportLatency("paplay", paplay);
    ReportRatio(viaOsc, paplay);
    return 0;
}
