// Keys under an OSC flood, timed on the sink's monitor: Space (GO) sent to a running Trelmo
// through the X server with XTest until the cue's first sound, first with OSC quiet, then while
// another thread sends /cue/1/start and /cue/1/stop (cue 1 is silent) at `rate` a second.
// Usage: bench_flood_key_latency [runs] [rate] [sink]; needs DISPLAY, no window manager, and the
// sink as the sound server's default (device 1).
#include "LatencyMeasure.h"
#include "TProduction.h"
#include "TestAudioFiles.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <lo/lo.h>

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

uint16_t FreeUdpPort() {
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(probe);
    return ntohs(address.sin_port);
}

std::string Serialised(const char* path) {
    lo_message message = lo_message_new();
    size_t size = 0;
    void* data = lo_message_serialise(message, path, nullptr, &size);
    std::string bytes(static_cast<const char*>(data), size);
    std::free(data);
    lo_message_free(message);
    return bytes;
}

// Sends start and stop of cue 1 in turn at about `rate` a second until stopped.
class TFlood {
public:
    TFlood(uint16_t port, int rate) {
        FSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(FSocket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        FThread = std::thread([this, rate] { Run(rate); });
    }
    ~TFlood() {
        FStop = true;
        FThread.join();
        ::close(FSocket);
    }
    uint64_t Sent() const { return FSent; }

private:
    void Run(int rate) {
        const std::string messages[] = {Serialised("/cue/1/start"), Serialised("/cue/1/stop")};
        const auto started = TClock::now();
        while (!FStop) {
            const auto due = std::chrono::duration<double>(TClock::now() - started).count() * rate;
            while (FSent < due && !FStop) {
                const std::string& bytes = messages[FSent % 2];
                if (::send(FSocket, bytes.data(), bytes.size(), 0) > 0)
                    ++FSent;
            }
            std::this_thread::yield();
        }
    }

    int FSocket = -1;
    std::atomic<bool> FStop = false;
    std::atomic<uint64_t> FSent = 0;
    std::thread FThread;
};

pid_t Spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> args;
    for (const std::string& argument : arguments)
        args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0 ? pid : -1;
}

int RunToEnd(const std::vector<std::string>& arguments) {
    const pid_t pid = Spawn(arguments);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Trelmo laid out as installed, with a silent cue 1, then `runs` signature cues, and OSC on port.
pid_t StartTrelmo(const TTempDir& dir, const std::string& silent, const std::string& signature,
                  int runs, uint16_t port) {
    const std::filesystem::path bin = dir / "bin";
    std::filesystem::create_directory(bin);
    std::filesystem::copy_file(TRELMO_PATH, bin / "trelmo");
    std::filesystem::create_directory_symlink(
        std::filesystem::canonical(TRELMO_PATH).parent_path().parent_path() / "lib", dir / "lib");
    TProduction production;
    production.Osc.Port = port;
    for (int i = 0; i <= 2 * runs; ++i) {
        auto cue = std::make_unique<TCue>();
        cue->FileName = i == 0 ? silent : signature;
        production.Cues.Add(std::move(cue));
    }
    production.SaveToFile((bin / "Settings.xml").string());
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    return Spawn({(bin / "trelmo").string()});
}

TClock::time_point PressKey(Display* display, KeySym key) {
    const KeyCode code = XKeysymToKeycode(display, key);
    const auto pressed = TClock::now();
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XFlush(display);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XFlush(display);
    return pressed;
}

void MeasureGoes(TMonitorRecorder& recorder, Display* display, const std::vector<float>& signature,
                 int runs, TLatencyResult& result) {
    for (int run = 0; run < runs; ++run) {
        MeasureStart(recorder, PressKey(display, XK_space), signature, result);
        recorder.WaitForQuiet(TClock::now(), 0.01f, 100ms, 2000ms);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 100000;
    const std::string sink = argc > 3 ? argv[3] : "out1";
    TTempDir dir;
    const std::vector<float> signature = LatencySignature();
    const std::string signaturePath = (dir / "signature.wav").string();
    WriteFloatWav(signaturePath, 1, 44100, signature);
    const std::string silentPath = (dir / "silent.wav").string();
    WriteFloatWav(silentPath, 1, 44100, std::vector<float>(44100, 0.0f));

    TMonitorRecorder recorder(sink + ".monitor");
    Display* display = XOpenDisplay(nullptr);
    if (!recorder.Start() || !display) {
        std::fprintf(stderr, "cannot record %s.monitor or open the display\n", sink.c_str());
        return 1;
    }
    const uint16_t port = FreeUdpPort();
    const pid_t trelmo = StartTrelmo(dir, silentPath, signaturePath, runs, port);
    if (RunToEnd({"timeout", "30", "xdotool", "search", "--sync", "--onlyvisible", "--name",
                  "^Trelmo$", "windowfocus", "--sync"}) != 0) {
        std::fprintf(stderr, "Trelmo's window did not come up\n");
        return 1;
    }
    std::this_thread::sleep_for(500ms);
    // GO on the silent cue 1 makes the first signature cue current.
    PressKey(display, XK_space);
    std::this_thread::sleep_for(300ms);

    TLatencyResult quiet, flooded;
    MeasureGoes(recorder, display, signature, runs, quiet);
    uint64_t sent = 0;
    {
        TFlood flood(port, rate);
        std::this_thread::sleep_for(1s);
        const auto started = TClock::now();
        MeasureGoes(recorder, display, signature, runs, flooded);
        sent = flood.Sent();
        std::printf("flood    %.0f messages a second\n",
                    sent / std::chrono::duration<double>(TClock::now() - started + 1s).count());
    }
    XCloseDisplay(display);
    ::kill(trelmo, SIGTERM);
    ::waitpid(trelmo, nullptr, 0);
    ReportLatency("quiet", quiet);
    ReportLatency("flooded", flooded);
    ReportRatio(flooded, quiet);
    return 0;
}
