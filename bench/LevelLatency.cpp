// Time from a level change in the show to its effect on the sink's monitor: a cue's live level
// and the master level, each down to silence and back, on a cue playing a constant level.
// Usage: bench_level_latency [runs] [sink]
#include "LatencyMeasure.h"
#include "TLatencySeries.h"
#include "TMonitoredSink.h"
#include "TShowControl.h"

#include <cstdio>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr float Level = 0.5f;
constexpr float Half = Level / 2;

// Changes land at varied points of the server's buffer.
void Between(int run, int base, int spread) {
    std::this_thread::sleep_for(std::chrono::milliseconds(base + spread * (run % 7)));
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const std::string path = (dir / "level.wav").string();
    WriteFloatWav(path, 2, 44100, std::vector<float>(44100 * 2 * 30, Level));

    TMonitoredSink out(sink);
    if (!out.Start())
        return 1;
    TMonitorRecorder& recorder = out.Recorder;
    const int32_t device = out.Device;
    TCueList cues;
    auto added = std::make_unique<TCue>();
    added->FileName = path;
    added->SetAudioChannel(device);
    TCue& cue = *added;
    cues.Add(std::move(added));
    TShowClock clock;
    TShowControl show(cues, clock);
    TLatencySeries liveDown("live level 0 -> -60"), liveUp("live level -60 -> 0");
    TLatencySeries masterDown("master level 0 -> -60"), masterUp("master level -60 -> 0");
    const auto quiet = [&](TClock::time_point since) {
        return recorder.FirstQuietAfter(since, Half);
    };
    const auto sound = [&](TClock::time_point since) {
        return recorder.FirstSoundAfter(since, Half);
    };
    for (int run = 0; run < runs; ++run) {
        const auto start = TClock::now();
        show.Start(TCueNumber(1));
        recorder.WaitForSound(start, Half, 2s);
        Between(run, 300, 37);
        auto since = TClock::now();
        show.SetLiveLevel(cue, -60);
        liveDown.Add(since, [&] { return quiet(since); });
        Between(run, 200, 23);
        since = TClock::now();
        show.SetLiveLevel(cue, 0);
        liveUp.Add(since, [&] { return sound(since); });
        Between(run, 200, 29);
        since = TClock::now();
        show.SetLevels({TVolumeScale::Linear, -60});
        masterDown.Add(since, [&] { return quiet(since); });
        Between(run, 200, 31);
        since = TClock::now();
        show.SetLevels({TVolumeScale::Linear, 0});
        masterUp.Add(since, [&] { return sound(since); });
        cue.StopNow();
        recorder.WaitForQuiet(TClock::now(), Half, 100ms, 2s);
    }
    std::printf("sink %s\n", sink.c_str());
    for (const TLatencySeries* series : {&liveDown, &liveUp, &masterDown, &masterUp})
        series->Report();
    return 0;
}
