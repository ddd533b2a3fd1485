// Time from TCue::Play to the first sound at the sink, against paplay of the same file in a
// fresh process, measured on the sink's monitor. Usage: bench_trigger_latency [runs] [sink]
// On a sink that rewinds (the default) a new stream is mixed in at once, but its first
// milliseconds overwrite blocks the monitor has already passed on, so starts are checked for
// clipping on a sink loaded with norewinds=1.
#include "TAudioEngine.h"
#include "TCue.h"
#include "TMonitorRecorder.h"
#include "TPulseOutput.h"
#include "TestAudioFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr float Level = 0.01f;

// A start that cannot be mistaken: a loud rising staircase, then a tone.
std::vector<float> Signature() {
    std::vector<float> samples = Sine(500, 44100, 44100 / 5, 0.5f);
    for (size_t i = 0; i < 64; ++i)
        samples[i] = 0.3f + 0.4f * static_cast<float>(i) / 64.0f;
    return samples;
}

struct TResult {
    std::vector<double> Milliseconds;
    std::vector<double> Delivered;
    int Clipped = 0;
    int Missed = 0;
};

// Records one start: how late it sounded and whether its first samples were the file's.
void Measure(TMonitorRecorder& recorder, TClock::time_point start, const std::vector<float>& file,
             TResult& result) {
    std::optional<TClock::time_point> heard;
    for (int i = 0; i < 200 && !heard; ++i) {
        std::this_thread::sleep_for(5ms);
        heard = recorder.FirstSoundAfter(start, Level);
    }
    if (!heard) {
        ++result.Missed;
        return;
    }
    std::this_thread::sleep_for(20ms);
    const std::vector<float> sound = recorder.SoundFrom(start, Level, 16);
    bool same = sound.size() == 32;
    for (size_t i = 0; same && i < 16; ++i)
        same = std::fabs(sound[i * 2] - file[i]) < 2e-3f;
    result.Clipped += !same;
    const auto ms = [start](TClock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - start).count();
    };
    result.Milliseconds.push_back(ms(*heard));
    result.Delivered.push_back(ms(*recorder.FirstSoundArrival(start, Level)));
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

void Report(const char* name, const TResult& result) {
    std::printf("%-8s runs %zu  median %.2f ms  p10 %.2f  p90 %.2f  max %.2f  clipped %d  "
                "missed %d\n",
                name, result.Milliseconds.size(), Percentile(result.Milliseconds, 0.5),
                Percentile(result.Milliseconds, 0.1), Percentile(result.Milliseconds, 0.9),
                Percentile(result.Milliseconds, 1.0), result.Clipped, result.Missed);
    std::printf("%-8s block delivered to the recorder: median %.2f ms  p90 %.2f\n", name,
                Percentile(result.Delivered, 0.5), Percentile(result.Delivered, 0.9));
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 30;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const std::vector<float> file = Signature();
    const std::string path = (dir / "signature.wav").string();
    WriteFloatWav(path, 1, 44100, file);

    TAudioEngine engine(std::make_unique<TPulseOutput>());
    SetAudioLibrary(&engine);
    if (!engine.AudioGetDeviceInfo(1, nullptr) ||
        !engine.AudioInit(1, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "no sound server: %s\n", engine.NoDeviceReason().c_str());
        return 1;
    }
    TAudioDeviceInfo info;
    int32_t device = 1;
    while (engine.AudioGetDeviceInfo(static_cast<uint32_t>(device), &info) && info.Name != sink)
        ++device;
    TMonitorRecorder recorder(sink + ".monitor");
    if (info.Name != sink || !recorder.Start()) {
        std::fprintf(stderr, "cannot record %s.monitor\n", sink.c_str());
        return 1;
    }
    std::printf("sink %s (device %d)\n", sink.c_str(), device);
    TCue cue;
    cue.FileName = path;
    cue.SetAudioChannel(device);
    TResult trelmo, paplay;
    for (int run = 0; run < runs; ++run) {
        const auto start = TClock::now();
        cue.Play();
        Measure(recorder, start, file, trelmo);
        cue.Stop();
        std::this_thread::sleep_for(300ms);

        const char* args[] = {"paplay", "-d", sink.c_str(), path.c_str(), nullptr};
        pid_t pid = 0;
        const auto spawned = TClock::now();
        if (posix_spawnp(&pid, "paplay", nullptr, nullptr, const_cast<char**>(args), environ) != 0)
            return 1;
        Measure(recorder, spawned, file, paplay);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        std::this_thread::sleep_for(300ms);
    }
    SetAudioLibrary(nullptr);
    Report("trelmo", trelmo);
    Report("paplay", paplay);
    std::printf("ratio of medians %.2f (delivered %.2f)\n",
                Percentile(trelmo.Milliseconds, 0.5) / Percentile(paplay.Milliseconds, 0.5),
                Percentile(trelmo.Delivered, 0.5) / Percentile(paplay.Delivered, 0.5));
    return 0;
}
