// The main window with N cues: start-up until it is on screen, one RefreshGrid and one state
// change, each with the repaint it causes. Needs a display (run under xvfb-run) and a sound
// server (bench/with-pulse.sh), as the program does.
#include "TAudioEngine.h"
#include "TPulseOutput.h"
#include "TfmMain.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

// The engine that start-up builds: on the sound server.
std::unique_ptr<TAudioEngine> PulseAudio() {
    return std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
}

void AddCues(TfmMain& fmMain, int64_t count) {
    TCueList& cues = fmMain.Production->Cues;
    cues.Clear();
    for (int64_t i = 1; i <= count; ++i) {
        auto cue = std::make_unique<TCue>();
        // As loaded from Settings.xml, where every cue has its UID.
        cue->UID = std::to_string(i);
        cue->Description = "Cue " + std::to_string(i);
        cue->FileName = "/shows/sounds/cue " + std::to_string(i) + ".wav";
        cue->SetVolumeDB(static_cast<int32_t>(-(i % 60)));
        cue->Loop = i % 2 == 0;
        fmMain.BindCueStateChange(*cue);
        cues.Add(std::move(cue));
    }
    cues.AssignMissingUIDs();
}

// Runs the event loop until the window is on screen, without the sleeps of a polling wait;
// false after five seconds.
bool WaitUntilExposed(QWidget& window) {
    QTimer wake;
    wake.start(100);
    const QDeadlineTimer deadline(5000);
    while (!window.windowHandle() || !window.windowHandle()->isExposed()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void BM_ShowMainWindow(benchmark::State& state) {
    for (auto _ : state) {
        auto fmMain = std::make_unique<TfmMain>(PulseAudio());
        AddCues(*fmMain, state.range(0));
        fmMain->show();
        if (!WaitUntilExposed(*fmMain))
            state.SkipWithError("the window was not shown");
        state.PauseTiming();
        fmMain.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShowMainWindow)->Arg(0)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_RefreshGrid(benchmark::State& state) {
    TfmMain fmMain(PulseAudio());
    AddCues(fmMain, state.range(0));
    fmMain.show();
    if (!WaitUntilExposed(fmMain))
        state.SkipWithError("the window was not shown");
    for (auto _ : state) {
        fmMain.RefreshGrid();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_RefreshGrid)->Arg(0)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A cue's state picture drawn again after a state change, as the end of a file or a remote
// command causes it.
void BM_StateChange(benchmark::State& state) {
    TfmMain fmMain(PulseAudio());
    AddCues(fmMain, state.range(0));
    fmMain.show();
    if (!WaitUntilExposed(fmMain))
        state.SkipWithError("the window was not shown");
    const TCue& cue = *fmMain.Production->Cues.Items(0);
    for (auto _ : state) {
        fmMain.CueStateChanged(cue);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_StateChange)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
