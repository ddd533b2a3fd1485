// Holes in looping cues while both cores are busy (stress-ng --cpu 2), against paplay of the
// same sound under the same load, side by side on two sinks: Trelmo's cues loop a 1 s file on
// out1, paplay streams a file as long as the run on out2. Every stream plays a constant level,
// so the sum on the sink's monitor falls whenever any one of them drops out; a hole is a 10 ms
// block where it does. Usage: bench_dropouts [seconds] [streams]
#include "TAudioEngine.h"
#include "TCue.h"
#include "TMonitorRecorder.h"
#include "TPulseOutput.h"
#include "TestAudioFiles.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

// Each stream's level: their sum stays below full scale however many there are.
float Level = 0.05f;

pid_t Spawn(std::vector<std::string> arguments) {
    std::vector<char*> args;
    for (std::string& a : arguments)
        args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 ? pid : 0;
}

void Stop(pid_t pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int streams = argc > 2 ? std::atoi(argv[2]) : 8;
    Level = std::min(0.05f, 0.8f / static_cast<float>(std::max(streams, 1)));
    TTempDir dir;
    const std::string loop = (dir / "loop.wav").string();
    const std::string whole = (dir / "whole.wav").string();
    WriteFloatWav(loop, 2, 44100, std::vector<float>(44100 * 2, Level));
    WriteFloatWav(whole, 2, 44100,
                  std::vector<float>(static_cast<size_t>(44100 * 2 * (seconds + 10)), Level));

    TAudioEngine engine(std::make_unique<TPulseOutput>());
    SetAudioLibrary(&engine);
    TAudioDeviceInfo info;
    if (!engine.AudioGetDeviceInfo(1, &info) || info.Name != "out1") {
        std::fprintf(stderr, "no sound server with out1 as device 1: %s\n",
                     engine.NoDeviceReason().c_str());
        return 1;
    }
    TMonitorRecorder trelmo("out1.monitor", 20000), paplay("out2.monitor", 20000);
    if (!trelmo.Start() || !paplay.Start()) {
        std::fprintf(stderr, "cannot record out1.monitor and out2.monitor\n");
        return 1;
    }
    const pid_t load = Spawn(
        {"stress-ng", "--cpu", "2", "--quiet", "--timeout", std::to_string(seconds + 30) + "s"});
    std::vector<std::unique_ptr<TCue>> cues;
    std::vector<pid_t> players;
    for (int i = 0; i < streams; ++i) {
        cues.push_back(std::make_unique<TCue>());
        cues.back()->FileName = loop;
        cues.back()->Loop = true;
        cues.back()->Play();
        players.push_back(Spawn({"paplay", "-d", "out2", whole}));
    }
    const float sum = Level * static_cast<float>(streams);
    const auto started = TClock::now();
    const bool sounding = trelmo.WaitForSound(started, sum - Level / 2, 5s);
    const bool paplaySounding = paplay.WaitForSound(started, sum - Level / 2, 5s);
    const auto from = TClock::now() + 500ms;
    const auto to = from + std::chrono::seconds(seconds);
    trelmo.WaitUntilRecorded(to, std::chrono::seconds(seconds + 30));
    paplay.WaitUntilRecorded(to, 10s);
    Stop(load);
    for (pid_t player : players)
        Stop(player);
    for (auto& cue : cues)
        cue->Stop();
    SetAudioLibrary(nullptr);
    if (!sounding) {
        std::fprintf(stderr, "Trelmo's cues did not all sound\n");
        return 1;
    }
    std::printf("%d streams, %d s, stress-ng --cpu 2%s\n", streams, seconds,
                load > 0 ? "" : " (not started)");
    std::printf("trelmo  holes %zu (10 ms blocks), underruns %llu\n",
                trelmo.BlocksBelow(from, to, sum - Level / 2),
                static_cast<unsigned long long>(engine.Underruns()));
    if (paplaySounding)
        std::printf("paplay  holes %zu (10 ms blocks)\n",
                    paplay.BlocksBelow(from, to, sum - Level / 2));
    else
        std::printf("paplay  streams did not all sound (the server mixes 32 per output)\n");
    std::printf("frames the server reported lost to the recordings: %zu on out1, %zu on out2\n",
                trelmo.GapFrames(), paplay.GapFrames());
    return 0;
}
