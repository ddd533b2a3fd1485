// Reading and writing Settings.xml with 1000 cues. Target: each under 10 ms.
#include "TProduction.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int CueCount = 1000;

std::unique_ptr<TProduction> ProductionWithCues() {
    auto production = std::make_unique<TProduction>();
    for (int i = 0; i < CueCount; ++i) {
        auto cue = std::make_unique<TCue>();
        cue->UID = std::to_string(i + 1);
        cue->Description = "Cue " + std::to_string(i + 1) + "\r\nsecond line & more";
        cue->FileName = "/home/operator/Show/sounds/effect " + std::to_string(i) + ".wav";
        cue->SetAudioChannel(1 + i % 4);
        cue->SetVolumeDB(-(i % 60));
        cue->SetPan(i % 200 - 100);
        cue->SetPitch(75 + i % 50);
        cue->Loop = i % 2 == 0;
        production->Cues.Add(std::move(cue));
    }
    return production;
}

class SettingsFolder {
public:
    SettingsFolder()
        : FFolder(fs::temp_directory_path() / ("trelmo-bench-" + std::to_string(::getpid()))) {
        fs::create_directories(FFolder);
    }
    ~SettingsFolder() { fs::remove_all(FFolder); }
    std::string File() const { return (FFolder / "Settings.xml").string(); }

private:
    fs::path FFolder;
};

void BM_LoadFromFile(benchmark::State& state) {
    SettingsFolder folder;
    ProductionWithCues()->SaveToFile(folder.File());
    for (auto _ : state) {
        TProduction production;
        benchmark::DoNotOptimize(production.LoadFromFile(folder.File()));
    }
}
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond);

void BM_SaveToFile(benchmark::State& state) {
    SettingsFolder folder;
    const auto production = ProductionWithCues();
    for (auto _ : state)
        benchmark::DoNotOptimize(production->SaveToFile(folder.File()));
}
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond);

// The same document built and serialised without the file: shows what the disk costs.
void BM_SaveToText(benchmark::State& state) {
    const auto production = ProductionWithCues();
    for (auto _ : state)
        benchmark::DoNotOptimize(production->SaveToText());
}
BENCHMARK(BM_SaveToText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
