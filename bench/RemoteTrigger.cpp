// Trigger to sound of a remote command: `trelmo play 1` launched against a running instance,
// against `paplay` of the same file in a fresh process on the same sink, measured on the sink's
// monitor from the moment each process is spawned, alternating run by run.
// Usage: bench_remote_trigger --write-signature <file.wav>
//        bench_remote_trigger <trelmo> <file.wav> [runs] [sink]
// The running instance's cue 1 plays file.wav on that sink (bench/remote_trigger.sh sets it up).
#include "TMonitorRecorder.h"
#include "TestAudioFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

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

pid_t Spawn(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// How late after start the first sound was heard; none when nothing came within a second.
std::optional<double> Heard(TMonitorRecorder& recorder, TClock::time_point start) {
    for (int i = 0; i < 200; ++i) {
        std::this_thread::sleep_for(5ms);
        if (const auto heard = recorder.FirstSoundAfter(start, Level))
            return std::chrono::duration<double, std::milli>(*heard - start).count();
    }
    return std::nullopt;
}

double Median(std::vector<double> values) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Report(const char* name, std::vector<double> values, int missed) {
    std::sort(values.begin(), values.end());
    std::printf("%-8s runs %zu  median %.2f ms  min %.2f  max %.2f  missed %d\n", name,
                values.size(), Median(values), values.empty() ? NAN : values.front(),
                values.empty() ? NAN : values.back(), missed);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-signature") {
        WriteFloatWav(argv[2], 1, 44100, Signature());
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <trelmo> <file.wav> [runs] [sink]\n", argv[0]);
        return 2;
    }
    const std::string trelmo = argv[1];
    const std::string file = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 20;
    const std::string sink = argc > 4 ? argv[4] : "out1";
    TMonitorRecorder recorder(sink + ".monitor");
    if (!recorder.Start()) {
        std::fprintf(stderr, "cannot record %s.monitor\n", sink.c_str());
        return 1;
    }
    std::vector<double> remote, paplay;
    int remoteMissed = 0, paplayMissed = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = TClock::now();
        const pid_t launch = Spawn({trelmo, "play", "1"});
        const std::optional<double> heard = Heard(recorder, start);
        heard ? remote.push_back(*heard) : void(++remoteMissed);
        if (Wait(launch) != 0)
            std::fprintf(stderr, "trelmo play 1 failed\n");
        Wait(Spawn({trelmo, "stop", "1"}));
        std::this_thread::sleep_for(300ms);

        start = TClock::now();
        const pid_t player = Spawn({"paplay", "-d", sink, file});
        const std::optional<double> played = Heard(recorder, start);
        played ? paplay.push_back(*played) : void(++paplayMissed);
        kill(player, SIGTERM);
        Wait(player);
        std::this_thread::sleep_for(300ms);
    }
    Report("trelmo", remote, remoteMissed);
    Report("paplay", paplay, paplayMissed);
    std::printf("ratio of medians %.2f (target <= 1.0, aim 0.7)\n",
                Median(remote) / Median(paplay));
    return 0;
}
