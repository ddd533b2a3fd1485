// 32 cues of mixed formats playing together with a 1000-cue show loaded: underruns, process
// CPU over the run, idle CPU, resident memory. Then 32 and 128 cues on one output: process CPU
// and the CPU of the sound server's thread, which renders the mix. Needs a sound server and
// ffmpeg.
// Usage: bench_playback_load [seconds]
#include "TAudioEngine.h"
#include "TCueList.h"
#include "TPulseOutput.h"
#include "TaskCpu.h"
#include "TestAudioFiles.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <thread>

using TClock = std::chrono::steady_clock;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// CPU of this process over `seconds`, in percent of one core.
double CpuPercentOver(int seconds) {
    const double cpu = CpuSeconds();
    const auto start = TClock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(TClock::now() - start).count();
    return 100.0 * (CpuSeconds() - cpu) / wall;
}

// CPU seconds of this process's threads named `name` (the mainloop thread renders the mix).
double ThreadCpuSeconds(const std::string& name) {
    double seconds = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string called;
        std::getline(comm, called);
        if (called != name)
            continue;
        seconds += std::max(TaskCpuSeconds(task.path() / "stat"), 0.0);
    }
    return seconds;
}

// `count` cues of the show that play on output 1, for `seconds`.
void MeasureOneOutput(TCueList& show, TAudioEngine& engine, int count, int seconds) {
    const uint64_t underruns = engine.Underruns();
    int started = 0;
    for (int i = 0; i < count; ++i)
        started += show.Items(i * 2)->Play();
    const double mixCpu = ThreadCpuSeconds("threaded-ml");
    const auto start = TClock::now();
    const double cpu = CpuPercentOver(seconds);
    const double wall = std::chrono::duration<double>(TClock::now() - start).count();
    std::printf("%d cues on one output for %d s: started %d, underruns %llu, CPU %.2f %% of one "
                "core, of it the mix thread %.2f %%\n",
                count, seconds, started,
                static_cast<unsigned long long>(engine.Underruns() - underruns), cpu,
                100.0 * (ThreadCpuSeconds("threaded-ml") - mixCpu) / wall);
    show.StopAll();
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    TTempDir dir;
    const std::pair<const char*, const char*> formats[] = {
        {"a.wav", ""},           {"b.mp3", "-c:a libmp3lame"}, {"c.ogg", "-c:a libvorbis"},
        {"d.flac", "-c:a flac"}, {"e.wma", "-c:a wmav2"},      {"f.aiff", ""}};
    std::vector<std::string> files;
    for (const auto& [name, codec] : formats) {
        files.push_back((dir / name).string());
        const std::string command =
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=330:sample_rate=44100:"
            "duration=" +
            std::to_string(seconds + 20) + " -ac 2 " + codec + " " + files.back();
        if (std::system(command.c_str()) != 0)
            return 1;
    }

    TAudioEngine engine(std::make_unique<TPulseOutput>());
    SetAudioLibrary(&engine);
    if (!engine.AudioGetDeviceInfo(1, nullptr)) {
        std::fprintf(stderr, "no sound server: %s\n", engine.NoDeviceReason().c_str());
        return 1;
    }
    for (uint32_t device = 1; engine.AudioGetDeviceInfo(device, nullptr); ++device)
        engine.AudioInit(device, 44100, 0, nullptr, nullptr);

    TCueList show;
    for (int i = 0; i < 1000; ++i) {
        auto cue = std::make_unique<TCue>();
        cue->FileName = files[static_cast<size_t>(i) % files.size()];
        cue->Description = "Cue " + std::to_string(i + 1);
        cue->SetAudioChannel(1 + i % 2);
        cue->SetVolumeDB(-(i % 20));
        cue->SetPan(i % 201 - 100);
        cue->SetPitch(75 + i % 51);
        show.Add(std::move(cue));
    }
    show.AssignMissingUIDs();
    const long loadedKiB = ResidentKiB();
    std::printf("idle CPU (1000 cues loaded, nothing playing): %.2f %% of one core\n",
                CpuPercentOver(10));

    int started = 0;
    for (int i = 0; i < 32; ++i)
        started += show.Items(i * 31)->Play();
    const double playingCpu = CpuPercentOver(seconds);
    int stillPlaying = 0;
    for (int i = 0; i < 32; ++i)
        stillPlaying += show.Items(i * 31)->State() == csPlaying;
    std::printf("32 cues for %d s: started %d, still playing %d, underruns %llu, CPU %.2f %% of "
                "one core\n",
                seconds, started, stillPlaying, static_cast<unsigned long long>(engine.Underruns()),
                playingCpu);
    std::printf("resident memory: %ld KiB with the show loaded, %ld KiB with 32 cues playing\n",
                loadedKiB, ResidentKiB());
    show.StopAll();
    std::printf("idle CPU after stopping: %.2f %% of one core\n", CpuPercentOver(5));
    for (const int count : {32, 128})
        MeasureOneOutput(show, engine, count, seconds);
    show.Clear();
    SetAudioLibrary(nullptr);
    return 0;
}
