// Running a show from the keyboard, timed on the sink's monitor: Space (GO) sent to a running
// Trelmo through the X server with XTest until the cue's first sound, in turns with paplay of
// the same file in a fresh process; and Escape (panic) until the playing cue starts to fade.
// Usage: bench_key_latency [runs] [sink]; needs DISPLAY, no window manager, and the sink as the
// sound server's default (device 1).
#include "LatencyMeasure.h"
#include "TFakeKeyboard.h"
#include "TProduction.h"
#include "TRunningTrelmo.h"

#include <X11/keysym.h>

#include <cstdio>
#include <thread>

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

// The level of the steady cue, and the level at which its fade has begun: a hundredth of a
// decibel below it, reached a fraction of a millisecond into a one-second fade.
constexpr float SteadyLevel = 0.5f;
constexpr float FadingLevel = 0.499f;

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const TSignatureFile signature = WriteLatencySignature(dir);
    const std::string steadyPath = (dir / "steady.wav").string();
    WriteFloatWav(steadyPath, 1, 44100, std::vector<float>(44100 * 3, SteadyLevel));

    TMonitorRecorder recorder(sink + ".monitor");
    TFakeKeyboard keyboard;
    if (!recorder.Start() || !keyboard.Opened()) {
        std::fprintf(stderr, "cannot record %s.monitor or open the display\n", sink.c_str());
        return 1;
    }
    TProduction production;
    for (int run = 0; run < runs; ++run) {
        AddCue(production, signature.Path);
        AddCue(production, steadyPath);
    }
    TRunningTrelmo trelmo(dir, production, "xcb");
    if (!trelmo.Focus()) {
        std::fprintf(stderr, "Trelmo's window did not come up\n");
        return 1;
    }
    std::this_thread::sleep_for(500ms);
    TLatencyResult go, paplay;
    std::vector<double> escape;
    int escapeMissed = 0;
    for (int run = 0; run < runs; ++run) {
        MeasureStart(recorder, keyboard.Press(XK_space), signature.Samples, go);
        recorder.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);
        if (!MeasurePaplay(recorder, sink, signature.Path, signature.Samples, paplay))
            return 1;
        recorder.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);

        const auto started = keyboard.Press(XK_space);
        recorder.WaitForSound(started, FadingLevel, 2000ms);
        std::this_thread::sleep_for(300ms);
        const auto pressed = keyboard.Press(XK_Escape);
        recorder.WaitForQuiet(pressed, 0.001f, 100ms, 3000ms);
        const auto fading = recorder.FirstQuietAfter(pressed, FadingLevel);
        if (fading)
            escape.push_back(std::chrono::duration<double, std::milli>(*fading - pressed).count());
        else
            ++escapeMissed;
    }
    ReportLatency("space", go);
    ReportLatency("paplay", paplay);
    ReportRatio(go, paplay);
    std::printf("escape   runs %zu  median %.2f ms  p10 %.2f  p90 %.2f  max %.2f  missed %d\n",
                escape.size(), Percentile(escape, 0.5), Percentile(escape, 0.1),
                Percentile(escape, 0.9), Percentile(escape, 1.0), escapeMissed);
    return 0;
}
