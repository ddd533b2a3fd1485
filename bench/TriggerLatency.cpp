// Time from TCue::Play to the first sound at the sink, against paplay of the same file in a
// fresh process and against the floor (a filled, corked stream uncorked), measured on the sink's
// monitor. Trelmo is measured with its output's stream already open (another cue plays,
// silent: the start rewrites what is queued) and idle (the stream is opened for the cue).
// Usage: bench_trigger_latency [runs] [sink]
// On a sink that rewinds (the default) a new stream is mixed in at once, but its first
// milliseconds overwrite blocks the monitor has already passed on, so starts are checked for
// clipping on a sink loaded with norewinds=1.
#include "LatencyMeasure.h"
#include "TCue.h"
#include "TFloorClient.h"
#include "TMonitoredSink.h"
#include "TestAudioFiles.h"

#include <cstdio>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 30;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const TSignatureFile signature = WriteLatencySignature(dir);
    const std::vector<float>& file = signature.Samples;

    TMonitoredSink out(sink);
    if (!out.Start())
        return 1;
    TMonitorRecorder& recorder = out.Recorder;
    const int32_t device = out.Device;
    std::printf("sink %s (device %d)\n", sink.c_str(), device);
    TCue cue;
    cue.FileName = signature.Path;
    cue.SetAudioChannel(device);
    TCue silent;
    silent.FileName = WriteSilentSecond(dir);
    silent.Loop = true;
    silent.SetAudioChannel(device);
    TFloorClient floor(sink);
    TLatencyResult open, idle, paplay, floorResult;
    for (int run = 0; run < runs; ++run) {
        silent.Play();
        std::this_thread::sleep_for(300ms);
        auto start = TClock::now();
        cue.Play();
        MeasureStart(recorder, start, file, open);
        cue.Stop();
        silent.Stop();
        // The output's stream closes once idle for a second.
        std::this_thread::sleep_for(1500ms);
        start = TClock::now();
        cue.Play();
        MeasureStart(recorder, start, file, idle);
        cue.Stop();
        std::this_thread::sleep_for(300ms);

        if (!MeasurePaplay(recorder, sink, signature.Path, file, paplay))
            return 1;
        std::this_thread::sleep_for(300ms);
        if (!floor.Arm(file))
            return 1;
        start = TClock::now();
        floor.Trigger();
        MeasureStart(recorder, start, file, floorResult);
        floor.Disarm();
        std::this_thread::sleep_for(300ms);
    }
    ReportLatency("trelmo, output open", open);
    ReportLatency("trelmo, output idle", idle);
    ReportLatency("paplay", paplay);
    ReportLatency("floor", floorResult);
    std::printf("output open against paplay: ");
    ReportRatio(open, paplay);
    std::printf("output open against the floor: ");
    ReportRatio(open, floorResult);
    std::printf("output idle against paplay: ");
    ReportRatio(idle, paplay);
    return 0;
}
