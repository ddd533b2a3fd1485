// The longest the thread that runs the show (the window's thread in Trelmo) is held by a GO of
// a file on a slow file system (bench/slowfs.py: every stat, open and read waits), per format:
// the standby cue armed before its GO, the same GO before arming has finished (the armer still
// waits on the disk: the cue opens its file itself, as before arming), and a cue started while
// another one is standby (opened at its start). Each time is the length of the show's call on
// this thread: the event loop, and so the window, waits that long. The cue is heard on the sink
// each time, so the figures are of starts that sounded.
// Usage: bench_slow_go <folder> <slow view of the folder> [runs]
#include "LatencyMeasure.h"
#include "RunUntil.h"
#include "TAudioEngine.h"
#include "TPulseOutput.h"
#include "TShowControl.h"

#include <QCoreApplication>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr std::array<std::pair<const char*, const char*>, 4> Formats = {
    {{"wav", ""}, {"mp3", "-c:a libmp3lame"}, {"flac", "-c:a flac"}, {"ogg", "-c:a libvorbis"}}};

double Ms(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// How long `call` holds this thread.
double Held(const std::function<void()>& call) {
    const auto start = TClock::now();
    call();
    return Ms(TClock::now() - start);
}

struct TFigures {
    std::vector<double> Held;
    int Silent = 0;
};

void Report(const std::string& name, const TFigures& figures) {
    std::printf("%-22s runs %zu  median %8.2f ms  p90 %8.2f  max %8.2f  not heard %d\n",
                name.c_str(), figures.Held.size(), Percentile(figures.Held, 0.5),
                Percentile(figures.Held, 0.9), Percentile(figures.Held, 1.0), figures.Silent);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder> <slow view of the folder> [runs]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1], slow = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    QCoreApplication app(argc, argv);
    const std::string wav = folder + "/tone.wav";
    WriteFloatWav(wav, 1, 44100, Sine(500, 44100, 44100 / 2, 0.5f));
    TCueList cues;
    for (const auto& [name, codec] : Formats) {
        const std::string file = "tone." + std::string(name);
        const std::string command = "ffmpeg -nostdin -y -loglevel error -i " + wav + " " + codec +
                                    " " + folder + "/" + file;
        if (codec[0] != '\0' && std::system(command.c_str()) != 0)
            return 1;
        auto cue = std::make_unique<TCue>();
        cue->FileName = slow + "/" + file;
        cues.Add(std::move(cue));
    }
    TAudioEngine engine(std::make_unique<TPulseOutput>());
    SetAudioLibrary(&engine);
    TMonitorRecorder out1("out1.monitor");
    if (!engine.AudioGetDeviceInfo(1, nullptr) || !out1.Start()) {
        std::fprintf(stderr, "no sound server, or out1.monitor cannot be recorded\n");
        return 1;
    }
    TShowClock clock;
    TShowControl show(cues, clock);
    show.SetGoLockout(0ms);
    const int count = cues.Count();
    std::array<TFigures, Formats.size()> armed, early, unarmed, select;
    // Plays cue `number` with `start` and records how long it held this thread.
    const auto measure = [&](TFigures& figures, const std::function<void()>& start) {
        const auto begun = TClock::now();
        figures.Held.push_back(Held(start));
        figures.Silent += !out1.WaitForSound(begun, 0.1f, 3000ms);
        show.StopAll();
        out1.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);
    };
    for (int run = 0; run < runs; ++run)
        for (int number = 1; number <= count; ++number) {
            const auto f = static_cast<size_t>(number - 1);
            const TCueNumber cue(number);
            select[f].Held.push_back(Held([&] { show.SelectCue(cue); }));
            if (!RunUntil([&] { return engine.AudioArmedReady(cues.CueOf(cue)->FileName); }, 10s))
                std::fprintf(stderr, "cue %d was not armed within 10 s\n", number);
            measure(armed[f], [&] { show.Go(); });
            show.SelectCue(cue);
            measure(early[f], [&] { show.Go(); });
            show.SelectCue(TCueNumber(number % count + 1));
            RunUntil([] { return false; }, 200ms);
            measure(unarmed[f], [&] { show.Start(cue); });
        }
    for (size_t f = 0; f < Formats.size(); ++f) {
        const std::string name = Formats[f].first;
        Report("select " + name, select[f]);
        Report("go armed " + name, armed[f]);
        Report("go arming " + name, early[f]);
        Report("start unarmed " + name, unarmed[f]);
    }
    SetAudioLibrary(nullptr);
    return 0;
}
