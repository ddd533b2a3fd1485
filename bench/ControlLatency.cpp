// Time from a control change to its effect on the sink's monitor: a volume change to 0, back
// to 1, and Stop, on a cue playing a constant level; beside it, paplay of the same file ended
// by SIGTERM. Usage: bench_control_latency [runs] [sink]
#include "TCue.h"
#include "TLatencySeries.h"
#include "TMonitoredSink.h"
#include "TestAudioFiles.h"

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr float Level = 0.5f;
constexpr float Half = Level / 2;

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const std::string path = (dir / "level.wav").string();
    WriteFloatWav(path, 2, 44100, std::vector<float>(44100 * 2 * 5, Level));

    TMonitoredSink out(sink);
    if (!out.Start())
        return 1;
    TAudioEngine& engine = out.Engine;
    TMonitorRecorder& recorder = out.Recorder;
    const int32_t device = out.Device;
    TCue cue;
    cue.FileName = path;
    cue.SetAudioChannel(device);
    TLatencySeries down("trelmo volume 1 -> 0"), up("trelmo volume 0 -> 1"), stop("trelmo stop"),
        peerStop("paplay SIGTERM");
    for (int run = 0; run < runs; ++run) {
        auto start = TClock::now();
        cue.Play();
        recorder.WaitForSound(start, Half, 2s);
        // Changes land at varied points of the server's buffer.
        std::this_thread::sleep_for(std::chrono::milliseconds(300 + 37 * (run % 7)));
        auto since = TClock::now();
        engine.AudioChannelSetAttribute(cue.Stream(), AUDIO_ATTRIB_VOL, 0.0f);
        down.Add(since, [&] { return recorder.FirstQuietAfter(since, Half); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + 23 * (run % 5)));
        since = TClock::now();
        engine.AudioChannelSetAttribute(cue.Stream(), AUDIO_ATTRIB_VOL, 1.0f);
        up.Add(since, [&] { return recorder.FirstSoundAfter(since, Half); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + 29 * (run % 3)));
        since = TClock::now();
        cue.Stop();
        stop.Add(since, [&] { return recorder.FirstQuietAfter(since, Half); });

        const char* args[] = {"paplay", "-d", sink.c_str(), path.c_str(), nullptr};
        pid_t pid = 0;
        start = TClock::now();
        if (posix_spawnp(&pid, "paplay", nullptr, nullptr, const_cast<char**>(args), environ) != 0)
            return 1;
        recorder.WaitForSound(start, Half, 2s);
        std::this_thread::sleep_for(std::chrono::milliseconds(300 + 37 * (run % 7)));
        since = TClock::now();
        kill(pid, SIGTERM);
        peerStop.Add(since, [&] { return recorder.FirstQuietAfter(since, Half); });
        waitpid(pid, nullptr, 0);
    }
    std::printf("sink %s\n", sink.c_str());
    for (const TLatencySeries* series : {&down, &up, &stop, &peerStop})
        series->Report();
    return 0;
}
