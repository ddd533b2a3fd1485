// Whether the display follows the ear: a cue silent for its first second, then loud. While it
// plays, its level and position are polled every 2 ms, as the grid does; the moment the level
// first rises, and the moment the position passes one second, are compared with the moment the
// loud part is heard on the sink's monitor. Usage: bench_display_lag [runs]
#include "LatencyMeasure.h"
#include "TAudioEngine.h"
#include "TPulseOutput.h"
#include "TestAudioFiles.h"

#include <cstdio>
#include <optional>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

double Milliseconds(TClock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    TTempDir dir;
    std::vector<float> file(44100 * 2, 0.0f);
    file.resize(44100 * 2 * 2, 0.5f);
    WriteFloatWav(dir / "late.wav", 2, 44100, file);
    TAudioEngine engine(std::make_unique<TPulseOutput>());
    TAudioDeviceInfo info;
    if (!engine.AudioGetDeviceInfo(1, &info)) {
        std::fprintf(stderr, "no sound server: %s\n", engine.NoDeviceReason().c_str());
        return 1;
    }
    TMonitorRecorder monitor(info.Name + ".monitor");
    if (!monitor.Start()) {
        std::fprintf(stderr, "cannot record %s.monitor\n", info.Name.c_str());
        return 1;
    }
    const HSTREAM cue = engine.AudioStreamCreateFile(false, (dir / "late.wav").string(), 0, 0, 0);
    std::vector<double> meter, position;
    for (int run = 0; run < runs; ++run) {
        const auto start = TClock::now();
        engine.AudioChannelPlay(cue, false);
        std::optional<TClock::time_point> rose, passed;
        while (TClock::now() - start < 1800ms) {
            float level = 0;
            TAudioPosition at;
            const auto now = TClock::now();
            if (!rose && engine.AudioChannelGetLevel(cue, &level) && level > 0.25f)
                rose = now;
            if (!passed && engine.AudioChannelGetPosition(cue, &at) && at.Seconds >= 1.0)
                passed = now;
            std::this_thread::sleep_for(2ms);
        }
        engine.AudioChannelStop(cue);
        const auto heard = monitor.FirstSoundAfter(start, 0.25f);
        if (heard && rose && passed) {
            meter.push_back(Milliseconds(*rose - *heard));
            position.push_back(Milliseconds(*passed - *heard));
        }
        std::this_thread::sleep_for(500ms);
    }
    std::printf("display against the monitor, %zu runs (positive: the display is later)\n",
                meter.size());
    std::printf("meter rise: median %.1f ms, p10 %.1f, p90 %.1f\n", Percentile(meter, 0.5),
                Percentile(meter, 0.1), Percentile(meter, 0.9));
    std::printf("position at 1 s: median %.1f ms, p10 %.1f, p90 %.1f\n", Percentile(position, 0.5),
                Percentile(position, 0.1), Percentile(position, 0.9));
    return 0;
}
