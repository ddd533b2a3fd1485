// Trigger to the first sample on the sink's monitor, per file format (WAV, MP3, FLAC, OGG: the
// latency signature, encoded by ffmpeg) and per trigger, of a running Trelmo's standby cue, which
// it has armed: GO by Space through XTest, OSC /cue/N/start and a later launch `trelmo play N`,
// each after OSC /select/N has made cue N the standby cue; Space also after a quiet moment. For
// contrast, OSC /cue/N/start of a cue that is not the standby cue (opened at its start, as before
// arming). Side by side, in turns: paplay of the WAV file in a fresh process, and the floor (a
// filled, corked stream uncorked). Usage: bench_format_latency [runs] [sink]; needs DISPLAY with no
// window manager, and the sink as the sound server's default (device 1).
#include "LatencyMeasure.h"
#include "TFakeKeyboard.h"
#include "TFloorClient.h"
#include "TProduction.h"
#include "TRunningTrelmo.h"

#include <X11/keysym.h>
#include <lo/lo.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

struct TFormat {
    const char* Name;
    const char* Codec;
};
constexpr std::array<TFormat, 4> Formats = {{{"wav", ""},
                                             {"mp3", "-c:a libmp3lame -b:a 320k"},
                                             {"flac", "-c:a flac"},
                                             {"ogg", "-c:a libvorbis -q:a 8"}}};

// The signature in `format`, made from its WAV file; the WAV file itself for wav.
std::string Encoded(const TTempDir& dir, const std::string& wav, const TFormat& format) {
    if (format.Codec[0] == '\0')
        return wav;
    const std::string path = (dir / ("signature." + std::string(format.Name))).string();
    const std::string command =
        "ffmpeg -nostdin -y -loglevel error -i " + wav + " " + format.Codec + " " + path;
    return std::system(command.c_str()) == 0 ? path : std::string();
}

pid_t Spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// How a cue is started, whether it is the standby cue (armed) when it is, and how long before
// its start it was made the standby cue, after the cue before had stopped.
struct TTrigger {
    const char* Name;
    bool Armed;
    std::function<TClock::time_point(int cue)> Fire;
    std::chrono::milliseconds Standby = 300ms;
};

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const TSignatureFile signature = WriteLatencySignature(dir);
    TProduction production;
    for (const TFormat& format : Formats) {
        const std::string file = Encoded(dir, signature.Path, format);
        if (file.empty()) {
            std::fprintf(stderr, "ffmpeg could not make the %s file\n", format.Name);
            return 1;
        }
        AddCue(production, file);
    }
    AddCue(production, WriteSilentSecond(dir));
    production.Osc.Port = 0;

    TMonitorRecorder recorder(sink + ".monitor");
    TFakeKeyboard keyboard;
    if (!recorder.Start() || !keyboard.Opened()) {
        std::fprintf(stderr, "cannot record %s.monitor or open the display\n", sink.c_str());
        return 1;
    }
    TRunningTrelmo trelmo(dir, production, "xcb", TRunningTrelmo::TErrors::Read);
    const int port = trelmo.OscPort();
    if (port == 0 || !trelmo.Focus()) {
        std::fprintf(stderr, "Trelmo's window or OSC did not come up\n");
        return 1;
    }
    lo_address osc = lo_address_new("127.0.0.1", std::to_string(port).c_str());
    const auto send = [osc](const std::string& address) { lo_send(osc, address.c_str(), ""); };
    const std::string exe = (dir / "bin" / "trelmo").string();
    std::vector<pid_t> launches;
    const TTrigger triggers[] = {
        {"space", true, [&](int) { return keyboard.Press(XK_space); }},
        // After a quiet moment longer than an unused output's stream stays open.
        {"space-quiet", true, [&](int) { return keyboard.Press(XK_space); }, 1500ms},
        {"osc", true,
         [&](int cue) {
             const auto sent = TClock::now();
             send("/cue/" + std::to_string(cue) + "/start");
             return sent;
         }},
        {"play", true,
         [&](int cue) {
             const auto spawned = TClock::now();
             launches.push_back(Spawn({exe, "play", std::to_string(cue)}));
             return spawned;
         }},
        {"osc-unarmed", false,
         [&](int cue) {
             const auto sent = TClock::now();
             send("/cue/" + std::to_string(cue) + "/start");
             return sent;
         }},
    };
    std::printf("sink %s, OSC port %d\n", sink.c_str(), port);
    constexpr int SilentCue = static_cast<int>(Formats.size()) + 1;
    std::vector<std::array<TLatencyResult, Formats.size()>> results(std::size(triggers));
    TLatencyResult paplay, floorResult;
    TFloorClient floor(sink);
    for (int run = 0; run < runs; ++run) {
        for (size_t t = 0; t < std::size(triggers); ++t)
            for (size_t f = 0; f < Formats.size(); ++f) {
                const int cue = static_cast<int>(f) + 1;
                send("/select/" + std::to_string(triggers[t].Armed ? cue : SilentCue));
                // The operator's standby cue is set well before its GO.
                std::this_thread::sleep_for(triggers[t].Standby);
                MeasureStart(recorder, triggers[t].Fire(cue), signature.Samples, results[t][f]);
                send("/cue/" + std::to_string(cue) + "/stop");
                recorder.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);
                for (pid_t launch : launches)
                    waitpid(launch, nullptr, 0);
                launches.clear();
            }
        if (!MeasurePaplay(recorder, sink, signature.Path, signature.Samples, paplay))
            return 1;
        recorder.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);
        if (!floor.Arm(signature.Samples))
            return 1;
        const auto start = TClock::now();
        floor.Trigger();
        MeasureStart(recorder, start, signature.Samples, floorResult);
        floor.Disarm();
        std::this_thread::sleep_for(300ms);
    }
    lo_address_free(osc);
    ReportLatency("paplay", paplay);
    ReportLatency("floor", floorResult);
    const double paplayMedian = Percentile(paplay.Milliseconds, 0.5);
    const double floorMedian = Percentile(floorResult.Milliseconds, 0.5);
    for (size_t t = 0; t < std::size(triggers); ++t) {
        const double wav = Percentile(results[t][0].Milliseconds, 0.5);
        for (size_t f = 0; f < Formats.size(); ++f) {
            const std::string name = std::string(triggers[t].Name) + " " + Formats[f].Name;
            ReportLatency(name.c_str(), results[t][f]);
            const double median = Percentile(results[t][f].Milliseconds, 0.5);
            std::printf("%-16s x paplay %.2f  x floor %.2f  minus wav %+.2f ms\n", name.c_str(),
                        median / paplayMedian, median / floorMedian, median - wav);
        }
    }
    return 0;
}
