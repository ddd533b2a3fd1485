// The window while a show runs: CPU of the window's thread with 32 cues playing and with none,
// and a 1000-cue show of real files: how soon the window is on screen next to an empty start,
// when the visible lengths are filled in, and the longest the window's event loop was held up
// meanwhile. Needs a display and a sound server.
// Usage: bench_show_refresh [seconds]
#include "TAudioEngine.h"
#include "TCueGrid.h"
#include "TCueLengths.h"
#include "TPulseOutput.h"
#include "TestAudioFiles.h"
#include "TfmMain.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

// The engine that start-up builds: on the sound server.
std::unique_ptr<TAudioEngine> PulseAudio() {
    return std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void RunEventLoop(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU of the window's thread over `seconds` of its event loop, in percent of one core.
double WindowCpuPercent(int seconds) {
    const double cpu = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    RunEventLoop(seconds * 1000);
    return 100.0 * (ThreadCpuSeconds() - cpu) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
}

void AddCues(TfmMain& window, const std::vector<std::string>& files, int count) {
    TCueList& cues = window.Production->Cues;
    cues.Clear();
    for (int i = 0; i < count; ++i) {
        auto cue = std::make_unique<TCue>();
        cue->UID = std::to_string(i + 1);
        cue->Description = "Cue " + std::to_string(i + 1);
        cue->FileName = files[static_cast<size_t>(i) % files.size()];
        cue->Loop = true;
        window.BindCueStateChange(*cue);
        cues.Add(std::move(cue));
    }
}

bool WaitUntilExposed(QWidget& window) {
    QTimer wake;
    wake.start(100);
    const QDeadlineTimer deadline(10000);
    while (!window.windowHandle() || !window.windowHandle()->isExposed()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Milliseconds from creating the window with `count` cues until it is on screen.
double StartUpMs(const std::vector<std::string>& files, int count) {
    QElapsedTimer clock;
    clock.start();
    TfmMain window(PulseAudio());
    AddCues(window, files, count);
    window.show();
    if (!WaitUntilExposed(window))
        return -1;
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// The median of five start-ups.
double MedianStartUpMs(const std::vector<std::string>& files, int count) {
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i)
        runs.push_back(StartUpMs(files, count));
    std::sort(runs.begin(), runs.end());
    return runs[2];
}

// A 1000-cue show of files nobody has probed yet: until every visible Time cell shows a
// length, and the longest gap between the 10 ms ticks of a timer on the window's thread.
void LengthsFilledIn(const std::vector<std::string>& files) {
    TfmMain window(PulseAudio());
    AddCues(window, files, 1000);
    QElapsedTimer clock;
    clock.start();
    window.show();
    WaitUntilExposed(window);
    const double shown = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    TCueGridModel& model = *window.grSounds->Model();
    const auto visibleFilled = [&] {
        const QModelIndex top = window.grSounds->indexAt(QPoint(0, 0));
        const int rows = window.grSounds->viewport()->height() / 22;
        for (int row = top.row(); row >= 0 && row < top.row() + rows; ++row)
            if (model.data(model.index(row, ccTime)).toString().isEmpty())
                return false;
        return true;
    };
    qint64 last = clock.elapsed(), longest = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    ticks.start(10);
    const QDeadlineTimer deadline(30000);
    while (!visibleFilled() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("1000-cue show: window on screen after %.0f ms, visible lengths filled in after "
                "%lld ms; longest event-loop gap meanwhile %lld ms (ticks every 10 ms)\n",
                shown, static_cast<long long>(clock.elapsed()), static_cast<long long>(longest));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    TTempDir dir;
    // 1000 different files, 0.2 s each, so that nothing is cached between them.
    std::vector<std::string> files;
    for (int i = 0; i < 1000; ++i) {
        files.push_back((dir / ("cue" + std::to_string(i) + ".wav")).string());
        WriteFloatWav(files.back(), 1, 44100, Sine(440, 44100, 8820, 0.3f));
    }

    const double empty = MedianStartUpMs(files, 0);
    const double full = MedianStartUpMs(files, 1000);
    std::printf("Start-up until the window is on screen (median of 5): empty %.0f ms, 1000 cues "
                "%.0f ms, ratio %.2f\n",
                empty, full, full / empty);
    LengthsFilledIn(files);

    TfmMain window(PulseAudio());
    AddCues(window, files, 32);
    window.show();
    WaitUntilExposed(window);
    RunEventLoop(500);
    std::printf("Window thread CPU, nothing playing, %d s: %.2f %% of one core\n", seconds,
                WindowCpuPercent(seconds));
    int started = 0;
    for (int i = 0; i < 32; ++i)
        started += window.Production->Cues.Items(i)->Play();
    RunEventLoop(500);
    std::printf("Window thread CPU, %d cues playing, %d s: %.2f %% of one core\n", started, seconds,
                WindowCpuPercent(seconds));
    window.Production->Cues.StopAll();
    RunEventLoop(3000);
    std::printf("Window thread CPU, all stopped again, %d s: %.2f %% of one core\n", seconds,
                WindowCpuPercent(seconds));
    return 0;
}
