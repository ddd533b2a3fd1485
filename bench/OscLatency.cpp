// Time from sending OSC /cue/1/start to a running Trelmo until its first sound at the sink,
// against paplay of the same file in a fresh process, measured on the sink's monitor, in turns.
// Usage: bench_osc_latency [runs] [sink]; the sink must be the server's default (device 1).
#include "LatencyMeasure.h"
#include "TProduction.h"
#include "TestAudioFiles.h"

#include <lo/lo.h>

#include <cstdio>
#include <poll.h>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

// Trelmo in a folder of its own, playing `file` as cue 1 and taking OSC on a free port.
class TRunningTrelmo {
public:
    explicit TRunningTrelmo(const TTempDir& dir, const std::string& file) {
        // Laid out as installed: bin/trelmo beside the application library in lib/trelmo.
        const std::filesystem::path bin = dir / "bin";
        const std::string exe = (bin / "trelmo").string();
        std::filesystem::create_directory(bin);
        std::filesystem::copy_file(TRELMO_PATH, exe);
        std::filesystem::create_directory_symlink(
            std::filesystem::canonical(TRELMO_PATH).parent_path().parent_path() / "lib",
            dir / "lib");
        TProduction production;
        auto cue = std::make_unique<TCue>();
        cue->FileName = file;
        production.Cues.Add(std::move(cue));
        production.Osc.Port = 0;
        production.SaveToFile((bin / "Settings.xml").string());

        int error[2];
        if (::pipe(error) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, error[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, error[0]);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const char* args[] = {exe.c_str(), nullptr};
        if (posix_spawn(&FPid, exe.c_str(), &actions, nullptr, const_cast<char**>(args), environ) !=
            0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(error[1]);
        FError = error[0];
    }

    ~TRunningTrelmo() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
        ::close(FError);
    }

    // The OSC port that Trelmo reports on standard error; 0 when it says none within 30 s.
    int Port() {
        const std::regex listens("OSC listens on UDP 127\\.0\\.0\\.1 port (\\d+)\\.");
        std::string text;
        const auto deadline = TClock::now() + 30s;
        std::smatch match;
        while (FPid > 0 && !std::regex_search(text, match, listens) && TClock::now() < deadline) {
            pollfd entry{FError, POLLIN, 0};
            char buffer[512];
            if (::poll(&entry, 1, 100) != 1)
                continue;
            const ssize_t size = ::read(FError, buffer, sizeof buffer);
            if (size <= 0)
                break;
            text.append(buffer, static_cast<size_t>(size));
        }
        if (match.empty())
            std::fprintf(stderr, "Trelmo did not say where it takes OSC:\n%s\n", text.c_str());
        return match.empty() ? 0 : std::stoi(match[1]);
    }

private:
    pid_t FPid = -1;
    int FError = -1;
};

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const std::vector<float> file = LatencySignature();
    const std::string path = (dir / "signature.wav").string();
    WriteFloatWav(path, 1, 44100, file);

    TMonitorRecorder recorder(sink + ".monitor");
    if (!recorder.Start()) {
        std::fprintf(stderr, "cannot record %s.monitor\n", sink.c_str());
        return 1;
    }
    TRunningTrelmo trelmo(dir, path);
    const int port = trelmo.Port();
    if (port == 0)
        return 1;
    lo_address osc = lo_address_new("127.0.0.1", std::to_string(port).c_str());
    std::printf("sink %s, OSC port %d\n", sink.c_str(), port);
    TLatencyResult viaOsc, paplay;
    for (int run = 0; run < runs; ++run) {
        const auto sent = TClock::now();
        lo_send(osc, "/cue/1/start", "");
        MeasureStart(recorder, sent, file, viaOsc);
        lo_send(osc, "/cue/1/stop", "");
        std::this_thread::sleep_for(300ms);

        if (!MeasurePaplay(recorder, sink, path, file, paplay))
            return 1;
        std::this_thread::sleep_for(300ms);
    }
    lo_address_free(osc);
    ReportLatency("osc", viaOsc);
    ReportLatency("paplay", paplay);
    ReportRatio(viaOsc, paplay);
    return 0;
}
