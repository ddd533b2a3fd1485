// What a save as you go of 1000 cues costs the window's thread (the text made and handed to the
// worker) beside the whole save with its fsync and rename, which the worker does. Run it with
// the disk busy (stress-ng --hdd 2) to see that only the second grows.
#include "TProduction.h"
#include "TShowKeeper.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int CueCount = 1000;

std::unique_ptr<TProduction> ProductionIn(const fs::path& folder) {
    auto production = std::make_unique<TProduction>();
    for (int i = 0; i < CueCount; ++i) {
        auto cue = std::make_unique<TCue>();
        cue->UID = std::to_string(i + 1);
        cue->Description = "Cue " + std::to_string(i + 1);
        cue->FileName = "/home/operator/Show/sounds/effect " + std::to_string(i) + ".wav";
        production->Cues.Add(std::move(cue));
    }
    production->FileName = (folder / "Settings.xml").string();
    return production;
}

class TBenchFolder {
public:
    TBenchFolder()
        : FPath(fs::temp_directory_path() / ("trelmo-keeper-bench-" + std::to_string(::getpid()))) {
        fs::create_directories(FPath);
    }
    ~TBenchFolder() { fs::remove_all(FPath); }
    const fs::path& Path() const { return FPath; }

private:
    fs::path FPath;
};

void BM_SaveAsYouGoOnTheWindowsThread(benchmark::State& state) {
    TBenchFolder folder;
    const auto production = ProductionIn(folder.Path());
    TShowKeeper keeper(*production);
    for (auto _ : state) {
        keeper.SaveNow();
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveAsYouGoOnTheWindowsThread)->Unit(benchmark::kMillisecond);

// The whole save, as the worker does it.
void BM_SaveAtClose(benchmark::State& state) {
    TBenchFolder folder;
    const auto production = ProductionIn(folder.Path());
    TShowKeeper keeper(*production);
    std::string failure;
    for (auto _ : state)
        benchmark::DoNotOptimize(keeper.SaveAtClose(failure));
}
BENCHMARK(BM_SaveAtClose)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
