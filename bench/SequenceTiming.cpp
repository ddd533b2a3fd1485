// Cues that follow each other, heard on the sink monitors: the start spread of a four-cue group
// (one GO, two cues on each of out1 and out2, each on a side of its own), the error of a 2.0 s
// pre-wait (against the start latency of a cue without one, measured in the same runs) and the
// gap between the end of a cue and the start of the cue that auto-follows it: on the same output
// (the first cue on the left, the second on the right, counted in frames of one recording) and
// on the other output. With "load", both cores are kept busy by stress-ng, started here and
// stopped by its process id.
// Usage: bench_sequence_timing [runs] [load]
#include "LatencyMeasure.h"
#include "RunUntil.h"
#include "TAudioEngine.h"
#include "TCpuLoad.h"
#include "TPulseOutput.h"
#include "TShowControl.h"
#include "TestAudioFiles.h"

#include <QCoreApplication>

#include <cstdio>
#include <functional>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

constexpr int Rate = 44100;
constexpr float Level = 0.1f;

double Ms(TClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// A steady level (a sine would fall below the threshold at every zero crossing), `seconds`
// long, on one side (0, 1) or both (-1).
std::string LevelFile(const TTempDir& dir, const std::string& name, double seconds, int side) {
    const auto frames = static_cast<size_t>(seconds * Rate);
    std::vector<float> samples(frames * 2, 0.0f);
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c)
            if (side < 0 || side == c)
                samples[i * 2 + static_cast<size_t>(c)] = 0.4f;
    const std::string path = (dir / name).string();
    WriteFloatWav(path, 2, Rate, samples);
    return path;
}

TCue& Add(TCueList& cues, const std::string& file, int32_t device) {
    auto cue = std::make_unique<TCue>();
    TCue& added = *cue;
    added.UID = std::to_string(cues.Count() + 1);
    added.FileName = file;
    added.SetAudioChannel(device);
    cues.Add(std::move(cue));
    return added;
}

// The frame, from the first sound on either side, where side `side` first sounds.
std::optional<size_t> SideOnset(TMonitorRecorder& out, TClock::time_point since, int side) {
    const std::vector<float> frames = out.SoundFrom(since, Level, Rate / 2);
    for (size_t i = 0; i * 2 + 1 < frames.size(); ++i)
        if (std::abs(frames[i * 2 + static_cast<size_t>(side)]) > Level)
            return i;
    return std::nullopt;
}

void Report(const char* name, const std::vector<double>& values) {
    std::printf("%-28s runs %zu  median %.2f ms  p90 %.2f  max %.2f  min %.2f\n", name,
                values.size(), Percentile(values, 0.5), Percentile(values, 0.9),
                Percentile(values, 1.0), Percentile(values, 0.0));
}

struct TBench {
    TMonitorRecorder Out1{"out1.monitor"}, Out2{"out2.monitor"};
    TTempDir Dir;
    TShowClock Clock;

    void Settle(TCueList& cues) {
        cues.StopAll();
        Out1.WaitForQuiet(TClock::now(), 0.01f, 200ms, 3s);
        Out2.WaitForQuiet(TClock::now(), 0.01f, 200ms, 3s);
    }

    // In-sink spread is sample-exact; across the sinks it rests on the recorder's estimate of
    // when each block was played.
    void GroupSpread(int runs, std::vector<double>& inSink, std::vector<double>& all) {
        TCueList cues;
        for (const auto& [device, side] :
             {std::pair(1, 0), std::pair(1, 1), std::pair(2, 0), std::pair(2, 1)}) {
            const std::string name = "group" + std::to_string(cues.Count()) + ".wav";
            Add(cues, LevelFile(Dir, name, 0.5, side), device)
                .SetContinue(TCueContinue::AutoContinue);
        }
        cues.Items(3)->SetContinue(TCueContinue::None);
        TShowControl show(cues, Clock);
        show.SetGoLockout(0ms);
        for (int run = 0; run < runs; ++run) {
            cues.SetCurrent(TCueNumber(1));
            const auto start = TClock::now();
            show.Go();
            if (!Out1.WaitForSound(start, Level, 3s) || !Out2.WaitForSound(start, Level, 3s) ||
                !Out1.WaitUntilRecorded(TClock::now() + 100ms, 3s) ||
                !Out2.WaitUntilRecorded(TClock::now() + 100ms, 3s))
                continue;
            std::vector<double> onsets;
            for (TMonitorRecorder* out : {&Out1, &Out2}) {
                const auto first = out->FirstSoundAfter(start, Level);
                const auto left = SideOnset(*out, start, 0), right = SideOnset(*out, start, 1);
                if (!first || !left || !right)
                    break;
                inSink.push_back(std::abs(static_cast<double>(*left) - *right) * 1000.0 / Rate);
                for (const size_t frame : {*left, *right})
                    onsets.push_back(Ms(*first - start) + static_cast<double>(frame) * 1000 / Rate);
            }
            if (onsets.size() == 4)
                all.push_back(*std::max_element(onsets.begin(), onsets.end()) -
                              *std::min_element(onsets.begin(), onsets.end()));
            Settle(cues);
        }
    }

    // How late the sound of a GO is heard, after a pre-wait of `tenths`.
    std::optional<double> HeardAfterGo(TShowControl& show, TCueList& cues, int32_t tenths) {
        cues.Items(0)->SetPreWait(tenths);
        cues.SetCurrent(TCueNumber(1));
        const auto start = TClock::now();
        show.Go();
        RunUntil([&] { return cues.Items(0)->State() == csPlaying; }, 5s);
        if (!Out1.WaitForSound(start, Level, 3s))
            return std::nullopt;
        const auto heard = Out1.FirstSoundAfter(start, Level);
        Settle(cues);
        return heard ? std::optional(Ms(*heard - start)) : std::nullopt;
    }

    void PreWait(int runs, std::vector<double>& error, std::vector<double>& latency) {
        TCueList cues;
        Add(cues, LevelFile(Dir, "prewait.wav", 0.3, -1), 1);
        TShowControl show(cues, Clock);
        show.SetGoLockout(0ms);
        std::vector<double> delayed;
        for (int run = 0; run < runs; ++run) {
            const auto at = HeardAfterGo(show, cues, 0);
            const auto late = HeardAfterGo(show, cues, 20);
            if (at && late) {
                latency.push_back(*at);
                delayed.push_back(*late);
            }
        }
        const double base = Percentile(latency, 0.5);
        for (const double d : delayed)
            error.push_back(d - 2000.0 - base);
    }

    // Frames between the last loud frame on the left and the first on the right of out1: the
    // seam itself, free of any clock.
    void AutoFollowOneOutput(int runs, std::vector<double>& gap) {
        TCueList cues;
        Add(cues, LevelFile(Dir, "left.wav", 0.5, 0), 1).SetContinue(TCueContinue::AutoFollow);
        Add(cues, LevelFile(Dir, "right.wav", 0.3, 1), 1);
        TShowControl show(cues, Clock);
        show.SetGoLockout(0ms);
        for (int run = 0; run < runs; ++run) {
            cues.SetCurrent(TCueNumber(1));
            const auto start = TClock::now();
            show.Go();
            RunUntil([&] { return cues.Items(1)->State() == csPlaying; }, 5s);
            if (!Out1.WaitForSound(start, Level, 3s) ||
                !Out1.WaitUntilRecorded(TClock::now() + 400ms, 3s))
                continue;
            const std::vector<float> heard = Out1.SoundFrom(start, Level, Rate);
            std::optional<size_t> leftEnd, rightStart;
            for (size_t i = 0; i * 2 + 1 < heard.size(); ++i) {
                if (std::abs(heard[i * 2]) > Level)
                    leftEnd = i;
                if (!rightStart && std::abs(heard[i * 2 + 1]) > Level)
                    rightStart = i;
            }
            if (leftEnd && rightStart)
                gap.push_back(
                    (static_cast<double>(*rightStart) - static_cast<double>(*leftEnd) - 1.0) *
                    1000.0 / Rate);
            Settle(cues);
        }
    }

    void AutoFollow(int runs, std::vector<double>& gap) {
        TCueList cues;
        Add(cues, LevelFile(Dir, "first.wav", 0.5, -1), 1).SetContinue(TCueContinue::AutoFollow);
        Add(cues, LevelFile(Dir, "second.wav", 0.3, -1), 2);
        TShowControl show(cues, Clock);
        show.SetGoLockout(0ms);
        for (int run = 0; run < runs; ++run) {
            cues.SetCurrent(TCueNumber(1));
            const auto start = TClock::now();
            show.Go();
            RunUntil([&] { return cues.Items(1)->State() == csPlaying; }, 5s);
            const auto first = Out1.WaitForSound(start, Level, 3s)
                                   ? Out1.FirstSoundAfter(start, Level)
                                   : std::nullopt;
            // Past the first sound, since a time maps to its frame only to within a block.
            const auto sounding = first ? std::optional(*first + 50ms) : std::nullopt;
            const bool quiet = sounding && Out1.WaitForQuiet(*sounding, Level, 20ms, 3s);
            const auto ended = quiet ? Out1.FirstQuietAfter(*sounding, Level) : std::nullopt;
            const auto second = ended && Out2.WaitForSound(*ended - 100ms, Level, 3s)
                                    ? Out2.FirstSoundAfter(*ended - 100ms, Level)
                                    : std::nullopt;
            if (second)
                gap.push_back(Ms(*second - *ended));
            if (std::getenv("TRELMO_BENCH_TRACE") && first && ended && second)
                std::printf("first %.1f ended %.1f second %.1f (ms after GO)\n", Ms(*first - start),
                            Ms(*ended - start), Ms(*second - start));
            Settle(cues);
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const bool loaded = argc > 2 && std::string(argv[2]) == "load";
    TAudioEngine engine(std::make_unique<TPulseOutput>());
    SetAudioLibrary(&engine);
    TAudioDeviceInfo info;
    if (!engine.AudioGetDeviceInfo(1, &info) || info.Name != "out1" ||
        !engine.AudioGetDeviceInfo(2, &info) || info.Name != "out2") {
        std::fprintf(stderr, "needs the sinks out1 (default) and out2: %s\n",
                     engine.NoDeviceReason().c_str());
        return 1;
    }
    TBench bench;
    if (!bench.Out1.Start() || !bench.Out2.Start()) {
        std::fprintf(stderr, "cannot record out1.monitor and out2.monitor\n");
        return 1;
    }
    std::optional<TCpuLoad> load;
    if (loaded && !load.emplace().Running()) {
        std::fprintf(stderr, "stress-ng could not be started\n");
        return 1;
    }
    std::printf("%d runs, %s\n", runs, loaded ? "both cores busy (stress-ng --cpu 2)" : "idle");
    std::vector<double> inSink, spread, error, latency, gap, seam;
    bench.GroupSpread(runs, inSink, spread);
    bench.PreWait(runs, error, latency);
    bench.AutoFollow(runs, gap);
    bench.AutoFollowOneOutput(runs, seam);
    Report("group spread, one sink", inSink);
    Report("group spread, both sinks", spread);
    Report("start latency, no pre-wait", latency);
    Report("2.0 s pre-wait error", error);
    Report("auto-follow gap, one output", seam);
    Report("auto-follow gap, other output", gap);
    SetAudioLibrary(nullptr);
    return 0;
}
