// Time from a level change in the show to its effect on the sink's monitor: a cue's live level
// and the master level, each down to silence and back, on a cue playing a constant level.
// Usage: bench_level_latency [runs] [sink]
#include "LatencyMeasure.h"
#include "TMonitoredSink.h"
#include "TShowControl.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr float Level = 0.5f;
constexpr float Half = Level / 2;

struct TSeries {
    explicit TSeries(const char* name) : Name(name) {}

    const char* Name;
    std::vector<double> Ms;
    int Missed = 0;

    // Records how long after `since` the change was heard, waiting for it up to two seconds.
    void Add(TClock::time_point since,
             const std::function<std::optional<TClock::time_point>()>& find) {
        std::optional<TClock::time_point> heard;
        const auto deadline = TClock::now() + 2s;
        while (!(heard = find()) && TClock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        if (!heard) {
            ++Missed;
            return;
        }
        Ms.push_back(std::chrono::duration<double, std::milli>(*heard - since).count());
    }
    void Report() const {
        std::printf("%-24s runs %zu  median %.2f ms  p10 %.2f  p90 %.2f  max %.2f  missed %d\n",
                    Name, Ms.size(), Percentile(Ms, 0.5), Percentile(Ms, 0.1), Percentile(Ms, 0.9),
                    Percentile(Ms, 1.0), Missed);
    }
};

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
    TSeries liveDown{"live level 0 -> -60"}, liveUp{"live level -60 -> 0"};
    TSeries masterDown{"master level 0 -> -60"}, masterUp{"master level -60 -> 0"};
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
    for (const TSeries* series : {&liveDown, &liveUp, &masterDown, &masterUp})
        series->Report();
    return 0;
}
