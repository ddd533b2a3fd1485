// CPU of a running Trelmo's window thread, read from /proc, with the running cues hidden and
// shown: with nothing playing, and with 32 looping cues started over OSC. Needs a display and a
// sound server.
// Usage: bench_running_panel [seconds]
#include "TProduction.h"
#include "TRunningTrelmo.h"
#include "TaskCpu.h"
#include "TestAudioFiles.h"

#include <lo/lo.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/types.h>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int Cues = 32;

// User and system CPU seconds of thread `tid` of process `pid`; -1 when it cannot be read.
double ThreadCpuSeconds(pid_t pid, pid_t tid) {
    return TaskCpuSeconds("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) +
                          "/stat");
}

// CPU of the window thread over `seconds`, in percent of one core.
double WindowCpuPercent(pid_t pid, int seconds) {
    const double cpu = ThreadCpuSeconds(pid, pid);
    const auto start = TClock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(TClock::now() - start).count();
    return 100.0 * (ThreadCpuSeconds(pid, pid) - cpu) / wall;
}

struct TRun {
    double Idle = -1;
    double Playing = -1;
};

// Trelmo in a wide window, the running cues shown or not, its 32 cues looping `file`.
TRun Measure(const std::string& file, bool shown, int seconds) {
    TTempDir dir;
    TProduction production;
    for (int i = 0; i < Cues; ++i) {
        AddCue(production, file);
        production.Cues.Items(i)->Loop = true;
    }
    production.FormState.Width = 1200;
    production.FormState.Height = 800;
    production.FormState.RunningCues = shown;
    production.Osc.Port = 0;
    TRunningTrelmo trelmo(dir, production, "xcb", TRunningTrelmo::TErrors::Read);
    const int port = trelmo.OscPort();
    if (port == 0 || !trelmo.Focus())
        return {};
    // Until the window has settled after showing.
    std::this_thread::sleep_for(2s);
    TRun run;
    run.Idle = WindowCpuPercent(trelmo.Pid(), seconds);
    lo_address osc = lo_address_new("127.0.0.1", std::to_string(port).c_str());
    for (int cue = 1; cue <= Cues; ++cue)
        lo_send(osc, ("/cue/" + std::to_string(cue) + "/start").c_str(), "");
    lo_address_free(osc);
    std::this_thread::sleep_for(2s);
    run.Playing = WindowCpuPercent(trelmo.Pid(), seconds);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    TTempDir files;
    const std::string file = (files / "tone.wav").string();
    std::vector<float> stereo;
    for (const float sample : Sine(330, 44100, 44100 * 5, 0.3f)) {
        stereo.push_back(sample);
        stereo.push_back(sample / 2);
    }
    WriteFloatWav(file, 2, 44100, stereo);
    const TRun hidden = Measure(file, false, seconds);
    const TRun shown = Measure(file, true, seconds);
    if (hidden.Playing < 0 || shown.Playing < 0) {
        std::fprintf(stderr, "Trelmo did not start or took no OSC\n");
        return 1;
    }
    std::printf("window thread over %d s, %% of one core: idle hidden %.2f, idle shown %.2f; "
                "%d cues playing hidden %.2f, shown %.2f; shown/hidden %.2f (target <= 1.5)\n",
                seconds, hidden.Idle, shown.Idle, Cues, hidden.Playing, shown.Playing,
                hidden.Playing > 0 ? shown.Playing / hidden.Playing : 0.0);
    return 0;
}
