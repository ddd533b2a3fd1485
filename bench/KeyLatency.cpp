// Running a show from the keyboard, timed on the sink's monitor: Space (GO) sent to a running
// Trelmo through the X server with XTest until the cue's first sound, in turns with paplay of
// the same file in a fresh process; and Escape (panic) until the playing cue starts to fade.
// Usage: bench_key_latency [runs] [sink]; needs DISPLAY, no window manager, and the sink as the
// sound server's default (device 1).
#include "LatencyMeasure.h"
#include "TProduction.h"
#include "TestAudioFiles.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstdio>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

// The level of the steady cue, and the level at which its fade has begun: a hundredth of a
// decibel below it, reached a fraction of a millisecond into a one-second fade.
constexpr float SteadyLevel = 0.5f;
constexpr float FadingLevel = 0.499f;

pid_t Spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> args;
    for (const std::string& argument : arguments)
        args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    return pid;
}

int RunToEnd(const std::vector<std::string>& arguments) {
    const pid_t pid = Spawn(arguments);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Trelmo on the display, in a folder of its own, with the cues of `files` in turn.
class TShowWindow {
public:
    TShowWindow(const TTempDir& dir, const std::vector<std::string>& files) {
        // Laid out as installed: bin/trelmo beside the application library in lib/trelmo.
        const std::filesystem::path bin = dir / "bin";
        const std::string exe = (bin / "trelmo").string();
        std::filesystem::create_directory(bin);
        std::filesystem::copy_file(TRELMO_PATH, exe);
        std::filesystem::create_directory_symlink(
            std::filesystem::canonical(TRELMO_PATH).parent_path().parent_path() / "lib",
            dir / "lib");
        TProduction production;
        for (const std::string& file : files) {
            auto cue = std::make_unique<TCue>();
            cue->FileName = file;
            production.Cues.Add(std::move(cue));
        }
        production.SaveToFile((bin / "Settings.xml").string());
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        FPid = Spawn({exe});
    }
    ~TShowWindow() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    // Waits for the window and gives it the keyboard.
    bool Focus() {
        return FPid > 0 &&
               RunToEnd({"timeout", "30", "xdotool", "search", "--sync", "--onlyvisible", "--name",
                         "^Trelmo$", "windowfocus", "--sync"}) == 0;
    }

private:
    pid_t FPid = -1;
};

// Presses and releases a key through the X server; returns when the press was sent.
TClock::time_point PressKey(Display* display, KeySym key) {
    const KeyCode code = XKeysymToKeycode(display, key);
    const auto pressed = TClock::now();
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XFlush(display);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XFlush(display);
    return pressed;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::string sink = argc > 2 ? argv[2] : "out1";
    TTempDir dir;
    const std::vector<float> signature = LatencySignature();
    const std::string signaturePath = (dir / "signature.wav").string();
    WriteFloatWav(signaturePath, 1, 44100, signature);
    const std::string steadyPath = (dir / "steady.wav").string();
    WriteFloatWav(steadyPath, 1, 44100, std::vector<float>(44100 * 3, SteadyLevel));

    TMonitorRecorder recorder(sink + ".monitor");
    Display* display = XOpenDisplay(nullptr);
    if (!recorder.Start() || !display) {
        std::fprintf(stderr, "cannot record %s.monitor or open the display\n", sink.c_str());
        return 1;
    }
    std::vector<std::string> files;
    for (int run = 0; run < runs; ++run) {
        files.push_back(signaturePath);
        files.push_back(steadyPath);
    }
    TShowWindow trelmo(dir, files);
    if (!trelmo.Focus()) {
        std::fprintf(stderr, "Trelmo's window did not come up\n");
        return 1;
    }
    std::this_thread::sleep_for(500ms);
    TLatencyResult go, paplay;
    std::vector<double> escape;
    int escapeMissed = 0;
    for (int run = 0; run < runs; ++run) {
        MeasureStart(recorder, PressKey(display, XK_space), signature, go);
        recorder.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);
        if (!MeasurePaplay(recorder, sink, signaturePath, signature, paplay))
            return 1;
        recorder.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);

        const auto started = PressKey(display, XK_space);
        recorder.WaitForSound(started, FadingLevel, 2000ms);
        std::this_thread::sleep_for(300ms);
        const auto pressed = PressKey(display, XK_Escape);
        recorder.WaitForQuiet(pressed, 0.001f, 100ms, 3000ms);
        const auto fading = recorder.FirstQuietAfter(pressed, FadingLevel);
        if (fading)
            escape.push_back(std::chrono::duration<double, std::milli>(*fading - pressed).count());
        else
            ++escapeMissed;
    }
    XCloseDisplay(display);
    ReportLatency("space", go);
    ReportLatency("paplay", paplay);
    ReportRatio(go, paplay);
    std::printf("escape   runs %zu  median %.2f ms  p10 %.2f  p90 %.2f  max %.2f  missed %d\n",
                escape.size(), Percentile(escape, 0.5), Percentile(escape, 0.1),
                Percentile(escape, 0.9), Percentile(escape, 1.0), escapeMissed);
    return 0;
}
