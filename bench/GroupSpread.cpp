// How far apart the cues of one action start: four cues started together, two on each of two
// outputs (the left and the right side of each). On one output the spread is counted in
// samples on its monitor; across outputs it is the time between the outputs' first sounds as
// their monitors tell it. Usage: bench_group_spread [runs]
#include "LatencyMeasure.h"
#include "TAudioEngine.h"
#include "TPulseOutput.h"
#include "TestAudioFiles.h"

#include <cmath>
#include <cstdio>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

size_t FirstAbove(const std::vector<float>& stereo, size_t side, float level) {
    for (size_t frame = 0; frame * 2 < stereo.size(); ++frame)
        if (stereo[frame * 2 + side] > level)
            return frame;
    return stereo.size() / 2;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    TTempDir dir;
    TAudioEngine engine(std::make_unique<TPulseOutput>());
    if (!engine.AudioGetDeviceInfo(2, nullptr)) {
        std::fprintf(stderr, "needs two outputs: %s\n", engine.NoDeviceReason().c_str());
        return 1;
    }
    TAudioDeviceInfo first, second;
    engine.AudioGetDeviceInfo(1, &first);
    engine.AudioGetDeviceInfo(2, &second);
    TMonitorRecorder out1(first.Name + ".monitor"), out2(second.Name + ".monitor");
    if (!out1.Start() || !out2.Start()) {
        std::fprintf(stderr, "cannot record the outputs' monitors\n");
        return 1;
    }
    const std::vector<float> level(44100 / 2, 0.25f);
    std::vector<HSTREAM> cues;
    for (uint32_t device = 1; device <= 2; ++device)
        for (int side = 0; side < 2; ++side) {
            const auto path = dir / ("cue" + std::to_string(cues.size()) + ".wav");
            WriteFloatWav(path, 2, 44100, OnChannel(level, 2, side));
            engine.AudioSetDevice(device);
            cues.push_back(engine.AudioStreamCreateFile(false, path.string(), 0, 0, 0));
        }
    std::vector<double> samples, across;
    for (int run = 0; run < runs; ++run) {
        const auto start = TClock::now();
        engine.AudioBeginStarts();
        for (HSTREAM cue : cues)
            engine.AudioChannelPlay(cue, false);
        engine.AudioCommitStarts();
        if (!out1.WaitForSound(start, 0.1f, 3s) || !out2.WaitForSound(start, 0.1f, 3s) ||
            !out1.WaitUntilRecorded(TClock::now() + 100ms, 3s) ||
            !out2.WaitUntilRecorded(TClock::now() + 100ms, 3s)) {
            std::fprintf(stderr, "run %d not heard\n", run);
            return 1;
        }
        double worst = 0;
        for (TMonitorRecorder* monitor : {&out1, &out2}) {
            const std::vector<float> heard = monitor->SoundFrom(start, 0.1f, 4410);
            worst = std::max(worst, std::abs(static_cast<double>(FirstAbove(heard, 0, 0.1f)) -
                                             static_cast<double>(FirstAbove(heard, 1, 0.1f))));
        }
        samples.push_back(worst);
        const auto one = out1.FirstSoundAfter(start, 0.1f);
        const auto two = out2.FirstSoundAfter(start, 0.1f);
        across.push_back(std::abs(std::chrono::duration<double, std::milli>(*one - *two).count()));
        for (HSTREAM cue : cues)
            engine.AudioChannelStop(cue);
        std::this_thread::sleep_for(700ms);
    }
    std::printf("group of four, %d runs\n", runs);
    std::printf("spread on one output: median %.0f samples, max %.0f samples\n",
                Percentile(samples, 0.5), Percentile(samples, 1.0));
    std::printf("spread across two outputs: median %.2f ms, p90 %.2f ms, max %.2f ms\n",
                Percentile(across, 0.5), Percentile(across, 0.9), Percentile(across, 1.0));
    return 0;
}
