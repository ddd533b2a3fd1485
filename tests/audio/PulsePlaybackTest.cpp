#include "PulseEngineFixture.h"
#include "TAudioEngine.h"
#include "TAudioStream.h"
#include "TCpuLoad.h"
#include "TCue.h"
#include "TMonitorRecorder.h"
#include "TPulseOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <functional>

#include <optional>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

namespace {

struct TEndNotice {
    HSTREAM Stream;
    uint32_t Data;
};
std::mutex g_noticeLock;
std::condition_variable g_noticeSignal;
std::deque<TEndNotice> g_notices;

// The audio worker's end sync: only queues the notice, as the main window does.
void QueueNotice(HSYNC, HSTREAM stream, uint32_t data, void*) {
    {
        std::lock_guard lock(g_noticeLock);
        g_notices.push_back({stream, data});
    }
    g_noticeSignal.notify_all();
}

std::optional<TEndNotice> NextNotice(std::chrono::milliseconds timeout) {
    std::unique_lock lock(g_noticeLock);
    if (!g_noticeSignal.wait_for(lock, timeout, [] { return !g_notices.empty(); }))
        return std::nullopt;
    TEndNotice notice = g_notices.front();
    g_notices.pop_front();
    return notice;
}

int Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// A sound server of the test's own with one null sink, stopped and started again by its
// process id; PULSE_SERVER points at it while the object lives.
class TPrivateServer {
public:
    explicit TPrivateServer(const std::filesystem::path& dir)
        : FRuntime(dir / "runtime"), FAddress("unix:" + (dir / "native").string()) {
        std::filesystem::create_directory(FRuntime);
        std::filesystem::permissions(FRuntime, std::filesystem::perms::owner_all);
        if (const char* saved = std::getenv("PULSE_SERVER"))
            FSavedServer = saved;
        setenv("PULSE_SERVER", FAddress.c_str(), 1);
    }
    ~TPrivateServer() {
        Stop();
        if (FSavedServer)
            setenv("PULSE_SERVER", FSavedServer->c_str(), 1);
        else
            unsetenv("PULSE_SERVER");
    }
    TPrivateServer(const TPrivateServer&) = delete;
    TPrivateServer& operator=(const TPrivateServer&) = delete;

    bool Start() {
        const std::string socket =
            "--load=module-native-protocol-unix socket=" + FAddress.substr(5);
        const char* args[] = {"pulseaudio",
                              "--daemonize=no",
                              "--exit-idle-time=-1",
                              "--disallow-exit",
                              "--use-pid-file=no",
                              "-n",
                              socket.c_str(),
                              "--load=module-null-sink sink_name=private1",
                              nullptr};
        std::vector<std::string> variables;
        for (char** v = environ; *v; ++v)
            if (std::string_view(*v).rfind("XDG_RUNTIME_DIR=", 0) != 0)
                variables.emplace_back(*v);
        variables.push_back("XDG_RUNTIME_DIR=" + FRuntime.string());
        std::vector<char*> env;
        for (std::string& v : variables)
            env.push_back(v.data());
        env.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        const int spawned = posix_spawnp(&FPid, "pulseaudio", &quiet, nullptr,
                                         const_cast<char**>(args), env.data());
        posix_spawn_file_actions_destroy(&quiet);
        if (spawned != 0)
            return false;
        for (int i = 0; i < 100; ++i) {
            if (Shell("pactl info") == 0)
                return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    void Stop() {
        if (FPid <= 0)
            return;
        kill(FPid, SIGTERM);
        kill(FPid, SIGCONT);
        waitpid(FPid, nullptr, 0);
        FPid = 0;
    }

    // Stops the server's process where it is, as a hung server, and lets it go on.
    void Freeze() { kill(FPid, SIGSTOP); }
    void Thaw() { kill(FPid, SIGCONT); }

private:
    std::filesystem::path FRuntime;
    std::string FAddress;
    std::optional<std::string> FSavedServer;
    pid_t FPid = 0;
};

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

// Playback streams the server holds, of every client.
int ServerStreams() {
    FILE* list = popen("pactl list short sink-inputs", "r");
    if (!list)
        return -1;
    int lines = 0;
    for (int c; (c = fgetc(list)) != EOF;)
        lines += c == '\n';
    pclose(list);
    return lines;
}

// File opens on the test's thread, counted while a test watches the decoders.
std::atomic<int> g_opensHere{0};
std::thread::id g_testThread;

void CountOpensHere(bool open) {
    if (open && std::this_thread::get_id() == g_testThread)
        ++g_opensHere;
}

class PulsePlayback : public PulseEngineFixture {
protected:
    void SetUp() override {
        PulseEngineFixture::SetUp();
        if (!Ready())
            return;
        SetCueEndSyncProc(QueueNotice);
        std::lock_guard lock(g_noticeLock);
        g_notices.clear();
    }
    void TearDown() override {
        Cues.clear();
        SetCueEndSyncProc(nullptr);
        PulseEngineFixture::TearDown();
    }

    // A tone made by ffmpeg: `seconds` long, amplitude 0.35 a side.
    std::string Tone(const std::string& name, double seconds, const std::string& codec = "",
                     int hertz = 440) {
        const std::string path = (Dir / name).string();
        const std::string command =
            "ffmpeg -nostdin -y -f lavfi -i sine=frequency=" + std::to_string(hertz) +
            ":sample_rate=44100:duration=" + std::to_string(seconds) + " -af volume=4 -ac 2 " +
            (codec.empty() ? "" : "-c:a " + codec + " ") + path;
        EXPECT_EQ(Shell(command), 0) << command;
        return path;
    }

    TCue& AddCue(const std::string& file, int32_t device = 1) {
        Cues.push_back(std::make_unique<TCue>());
        TCue& cue = *Cues.back();
        cue.UID = std::to_string(Cues.size());
        cue.FileName = file;
        cue.SetAudioChannel(device);
        return cue;
    }

    // Waits for the end notice of `stream`, keeping the others queued in order.
    bool WaitForEnd(HSTREAM stream, std::chrono::milliseconds timeout, uint32_t* data = nullptr) {
        const auto deadline = TClock::now() + timeout;
        std::unique_lock lock(g_noticeLock);
        for (;;) {
            auto found = std::find_if(g_notices.begin(), g_notices.end(),
                                      [stream](const TEndNotice& n) { return n.Stream == stream; });
            if (found != g_notices.end()) {
                if (data)
                    *data = found->Data;
                g_notices.erase(found);
                return true;
            }
            if (g_noticeSignal.wait_until(lock, deadline) == std::cv_status::timeout)
                return false;
        }
    }

    // Waits until `done` holds, looking every few milliseconds until the deadline.
    static bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        const auto deadline = TClock::now() + timeout;
        while (!done()) {
            if (TClock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    // A long show: every cue sounds, and a cue that ended or was stopped gives its server stream
    // and its file back, so descriptors and the server's streams stay where they were. Armed,
    // no cue opens its file on the thread that starts it.
    void ThreeHundredCuesInTurn(bool armed) {
        g_testThread = std::this_thread::get_id();
        g_opensHere = 0;
        TAudioDecoder::SetWatcher(armed ? CountOpensHere : nullptr);
        TMonitorRecorder out1("out1.monitor");
        ASSERT_TRUE(out1.Start());
        const std::string file = Tone("short.wav", 0.05);
        const int streamsBefore = ServerStreams();
        size_t descriptorsBefore = 0;
        for (int i = 0; i < 300; ++i) {
            SCOPED_TRACE(testing::Message() << "cue " << i + 1);
            TCue& cue = AddCue(file);
            if (armed) {
                cue.Arm();
                ASSERT_TRUE(Eventually([&] { return FEngine->AudioArmedReady(file); }, 5s));
            }
            const auto start = TClock::now();
            ASSERT_TRUE(cue.Play());
            ASSERT_TRUE(out1.WaitForSound(start, 0.3f, 2s));
            if (i % 2 == 0) {
                ASSERT_TRUE(WaitForEnd(cue.Stream(), 5s)) << "ends by itself";
            }
            EXPECT_TRUE(cue.Stop());
            if (i == 2)
                descriptorsBefore = OpenDescriptors();
        }
        // The show's end: no cue is set to play next, so its output is not kept open either.
        FEngine->AudioStreamDisarm();
        // The last one gives them back once its stop's ramp has been played.
        EXPECT_TRUE(Eventually(
            [&] {
                return OpenDescriptors() == descriptorsBefore && ServerStreams() == streamsBefore;
            },
            2s))
            << OpenDescriptors() << " descriptors, " << ServerStreams() << " streams";
        TAudioDecoder::SetWatcher(nullptr);
        if (armed) {
            EXPECT_EQ(g_opensHere, 0);
        }
    }

    TTempDir Dir;
    std::vector<std::unique_ptr<TCue>> Cues;
};

} // namespace

TEST_F(PulsePlayback, DevicesAreTheDefaultSinkThenTheOthers) {
    TAudioDeviceInfo info;
    ASSERT_TRUE(FEngine->AudioGetDeviceInfo(1, &info));
    EXPECT_EQ(info.Name, "out1");
    ASSERT_TRUE(FEngine->AudioGetDeviceInfo(2, &info));
    EXPECT_EQ(info.Name, "out2");
    EXPECT_FALSE(FEngine->AudioGetDeviceInfo(3, &info));
    EXPECT_TRUE(FEngine->AudioInit(1, 44100, 0, nullptr, nullptr));
    EXPECT_TRUE(FEngine->AudioInit(2, 44100, 0, nullptr, nullptr));
    EXPECT_FALSE(FEngine->AudioInit(3, 44100, 0, nullptr, nullptr));
}

TEST_F(PulsePlayback, CueOnDeviceTwoSoundsOnItsSinkOnly) {
    TMonitorRecorder out1("out1.monitor"), out2("out2.monitor");
    ASSERT_TRUE(out1.Start());
    ASSERT_TRUE(out2.Start());
    TCue& cue = AddCue(Tone("tone.wav", 0.3), 2);
    const auto start = TClock::now();
    ASSERT_TRUE(cue.Play());
    ASSERT_TRUE(WaitForEnd(cue.Stream(), 5s));
    ASSERT_TRUE(out2.WaitForSound(start, 0.3f, 2s));
    ASSERT_TRUE(out1.WaitUntilRecorded(TClock::now(), 2s));
    const auto [left2, right2] = out2.PeakSince(start);
    const auto [left1, right1] = out1.PeakSince(start);
    EXPECT_GT(left2, 0.3f);
    EXPECT_GT(right2, 0.3f);
    EXPECT_LT(std::max(left1, right1), 0.001f);
}

TEST_F(PulsePlayback, CueOnAMissingDeviceSoundsOnDeviceOne) {
    TMonitorRecorder out1("out1.monitor");
    ASSERT_TRUE(out1.Start());
    TCue& cue = AddCue(Tone("tone.wav", 0.2), 4);
    const auto start = TClock::now();
    ASSERT_TRUE(cue.Play());
    ASSERT_TRUE(WaitForEnd(cue.Stream(), 5s));
    EXPECT_TRUE(out1.WaitForSound(start, 0.3f, 2s));
}

TEST_F(PulsePlayback, TwoCuesOnOneDeviceSoundTogether) {
    TMonitorRecorder out1("out1.monitor");
    ASSERT_TRUE(out1.Start());
    TCue& left = AddCue(Tone("left.wav", 1.0));
    TCue& right = AddCue(Tone("right.wav", 1.0, "", 660));
    left.SetPan(-100);
    right.SetPan(100);
    const auto start = TClock::now();
    ASSERT_TRUE(left.Play());
    ASSERT_TRUE(right.Play());
    ASSERT_TRUE(out1.WaitForSound(start, 0.3f, 2s));
    const auto during = TClock::now();
    ASSERT_TRUE(out1.WaitUntilRecorded(during + 300ms, 3s));
    const auto [l, r] = out1.PeakSince(during);
    EXPECT_GT(l, 0.3f);
    EXPECT_GT(r, 0.3f);
    EXPECT_EQ(left.State(), csPlaying);
    EXPECT_EQ(right.State(), csPlaying);
}

TEST_F(PulsePlayback, EverySupportedFormatPlaysToItsEnd) {
    const std::pair<std::string, std::string> formats[] = {
        {"tone.wav", ""},          {"tone.aiff", ""},     {"tone.mp3", "libmp3lame"},
        {"tone.ogg", "libvorbis"}, {"tone.wma", "wmav2"}, {"tone.flac", "flac"},
    };
    TMonitorRecorder out1("out1.monitor");
    ASSERT_TRUE(out1.Start());
    for (const auto& [name, codec] : formats) {
        SCOPED_TRACE(name);
        TCue& cue = AddCue(Tone(name, 0.3, codec));
        const auto start = TClock::now();
        ASSERT_TRUE(cue.Play());
        EXPECT_NEAR(cue.Frequency(), 44100.0f, 0.5f);
        ASSERT_TRUE(WaitForEnd(cue.Stream(), 5s));
        EXPECT_TRUE(out1.WaitForSound(start, 0.3f, 2s));
    }
}

TEST_F(PulsePlayback, AifM4aAndMissingFilesDoNotPlay) {
    const std::string aiff = Tone("tone.aiff", 0.2);
    std::filesystem::copy(aiff, Dir / "tone.aif");
    const std::string files[] = {(Dir / "tone.aif").string(), Tone("tone.m4a", 0.2, "aac"),
                                 (Dir / "missing.wav").string()};
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        TCue& cue = AddCue(file);
        EXPECT_FALSE(cue.Play());
        EXPECT_EQ(cue.Stream(), 0u);
    }
}

// The media names of the server's playback streams, in the server's order.
std::vector<std::string> MediaNames() {
    std::vector<std::string> names;
    FILE* list = popen("pactl list sink-inputs", "r");
    char line[512];
    while (list && fgets(line, sizeof(line), list)) {
        const std::string text = line;
        const auto key = text.find("media.name = \"");
        if (key != std::string::npos)
            names.push_back(text.substr(key + 14, text.rfind('"') - key - 14));
    }
    if (list)
        pclose(list);
    return names;
}

// The desktop's mixer shows one stream per output in use, named after the output, however
// many cues play there and whatever they are called.
TEST_F(PulsePlayback, TheMixerShowsOneStreamPerOutputNamedAfterIt) {
    const std::vector<TOutputDevice> devices = FEngine->AudioDevices();
    ASSERT_GE(devices.size(), 2u);
    TCue& rain = AddCue(Tone("rain.wav", 5));
    rain.Description = "Rain on the roof";
    TCue& wind = AddCue(Tone("wind.wav", 5));
    TCue& door = AddCue(Tone("door.wav", 5), 2);
    for (TCue* cue : {&rain, &wind, &door})
        ASSERT_TRUE(cue->Play());
    std::vector<std::string> expected = {"Trelmo \u2013 " + devices[0].Name,
                                         "Trelmo \u2013 " + devices[1].Name};
    std::vector<std::string> names = MediaNames();
    std::sort(expected.begin(), expected.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
    for (TCue* cue : {&rain, &wind, &door})
        cue->Stop();
}

// The output of the cue set to play next keeps its stream while others close a second after
// their last cue, so that cue's start does not wait for a stream to open.
TEST_F(PulsePlayback, TheNextCuesOutputIsKeptOpenWhileItIsTheNextCues) {
    const std::vector<TOutputDevice> devices = FEngine->AudioDevices();
    ASSERT_GE(devices.size(), 2u);
    const auto only = [](const TOutputDevice& device) {
        return std::vector<std::string>{"Trelmo \u2013 " + device.Name};
    };
    ASSERT_TRUE(MediaNames().empty());
    AddCue(Tone("door.wav", 5), 2).Arm();
    EXPECT_TRUE(Eventually([&] { return MediaNames() == only(devices[1]); }, 3s));

    TCue& rain = AddCue(Tone("rain.wav", 0.05));
    ASSERT_TRUE(rain.Play());
    ASSERT_TRUE(WaitForEnd(rain.Stream(), 5s));
    rain.Stop();
    EXPECT_TRUE(Eventually([&] { return MediaNames() == only(devices[1]); }, 5s))
        << "out1's stream closes after its last cue, out2's stays";

    rain.Arm();
    EXPECT_TRUE(Eventually([&] { return MediaNames() == only(devices[0]); }, 3s));
    FEngine->AudioStreamDisarm();
    EXPECT_TRUE(Eventually([] { return MediaNames().empty(); }, 3s));
}

TEST_F(PulsePlayback, PauseHoldsTheSoundAndResumeContinues) {
    TMonitorRecorder out1("out1.monitor");
    ASSERT_TRUE(out1.Start());
    TCue& cue = AddCue(Tone("tone.wav", 0.6));
    const auto start = TClock::now();
    ASSERT_TRUE(cue.Play());
    ASSERT_TRUE(out1.WaitForSound(start, 0.3f, 2s));
    ASSERT_TRUE(cue.Pause());
    const auto paused = TClock::now();
    EXPECT_TRUE(out1.WaitForQuiet(paused, 0.001f, 300ms, 3s));
    EXPECT_FALSE(WaitForEnd(cue.Stream(), 10ms));
    ASSERT_TRUE(cue.Play());
    const auto resumed = TClock::now();
    ASSERT_TRUE(WaitForEnd(cue.Stream(), 5s));
    EXPECT_TRUE(out1.WaitForSound(resumed, 0.3f, 2s));
}

// Paused once the whole file is queued on the server and its drain has been asked for (its last
// fifth of a second), and resumed after longer than any deadline of the stream: the rest is
// heard, and the tone lasts its full second.
TEST_F(PulsePlayback, APauseNearTheEndKeepsTheTail) {
    TMonitorRecorder out1("out1.monitor");
    ASSERT_TRUE(out1.Start());
    TCue& cue = AddCue(Tone("second.wav", 1.0));
    const auto start = TClock::now();
    ASSERT_TRUE(cue.Play());
    TAudioStream& stream = *FEngine->Stream(cue.Stream());
    ASSERT_TRUE(Eventually(
        [&] {
            std::lock_guard control(stream.Control);
            return stream.DrainRequested;
        },
        3s));
    ASSERT_TRUE(cue.Pause());
    ASSERT_TRUE(out1.WaitForQuiet(TClock::now(), 0.001f, 1700ms, 5s));
    ASSERT_TRUE(cue.Play());
    ASSERT_TRUE(WaitForEnd(cue.Stream(), 5s));
    ASSERT_TRUE(out1.WaitUntilRecorded(TClock::now(), 2s));
    const std::vector<float> heard = out1.SoundFrom(start, 0.2f, 44100 * 10);
    constexpr size_t block = 441;
    size_t loud = 0;
    for (size_t at = 0; at + block * 2 <= heard.size(); at += block * 2)
        loud += *std::max_element(heard.begin() + static_cast<long>(at),
                                  heard.begin() + static_cast<long>(at + block * 2)) > 0.2f;
    EXPECT_GE(loud, 97u) << "10 ms blocks of the one-second tone heard";
    EXPECT_LE(loud, 102u);
}

TEST_F(PulsePlayback, LoopKeepsPlayingAndSignalsEachPass) {
    TCue& cue = AddCue(Tone("short.wav", 0.1));
    cue.Loop = true;
    ASSERT_TRUE(cue.Play());
    for (int pass = 0; pass < 3; ++pass)
        ASSERT_TRUE(WaitForEnd(cue.Stream(), 2s)) << "pass " << pass;
    cue.Stop();
}

TEST_F(PulsePlayback, UnloadedSinkEndsItsCue) {
    char index[32] = {};
    FILE* load = popen("pactl load-module module-null-sink sink_name=out3", "r");
    ASSERT_NE(load, nullptr);
    ASSERT_NE(fgets(index, sizeof(index), load), nullptr);
    pclose(load);
    // Devices are listed once per engine: a new engine sees out3 as device 3.
    SetAudioLibrary(nullptr);
    FEngine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
    SetAudioLibrary(FEngine.get());
    ASSERT_TRUE(FEngine->AudioGetDeviceInfo(3, nullptr));
    TCue& cue = AddCue(Tone("long.wav", 10), 3);
    ASSERT_TRUE(cue.Play());
    ASSERT_EQ(Shell("pactl unload-module " + std::string(index)), 0);
    uint32_t data = 0;
    ASSERT_TRUE(WaitForEnd(cue.Stream(), 3s, &data));
    EXPECT_EQ(data, 1u) << "a failed stream is told apart from one that ended";
    EXPECT_TRUE(cue.Stop());
    TCue& next = AddCue(Tone("tone.wav", 0.1), 3);
    ASSERT_TRUE(next.Play());
    EXPECT_TRUE(WaitForEnd(next.Stream(), 3s));
}

// A server that stops answering costs Play a bounded wait and a false result; once it answers
// again, the next Play sounds.
TEST_F(PulsePlayback, AHungServerFailsPlayQuicklyAndPlaysAgainOnceItAnswers) {
    TPrivateServer server(Dir.Path());
    ASSERT_TRUE(server.Start());
    SetAudioLibrary(nullptr);
    FEngine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
    SetAudioLibrary(FEngine.get());
    ASSERT_TRUE(FEngine->AudioGetDeviceInfo(1, nullptr));
    TMonitorRecorder monitor("private1.monitor");
    ASSERT_TRUE(monitor.Start());
    TCue& playing = AddCue(Tone("long.wav", 10));
    TCue& next = AddCue(Tone("tone.wav", 0.5));
    ASSERT_TRUE(playing.Play());

    server.Freeze();
    auto before = TClock::now();
    EXPECT_FALSE(next.Play());
    EXPECT_LT(TClock::now() - before, 1s);
    EXPECT_EQ(next.State(), csStopped);
    EXPECT_EQ(next.Stream(), 0u);
    before = TClock::now();
    EXPECT_TRUE(playing.Stop());
    EXPECT_LT(TClock::now() - before, 1s);

    server.Thaw();
    const auto start = TClock::now();
    ASSERT_TRUE(next.Play());
    EXPECT_TRUE(monitor.WaitForSound(start, 0.3f, 2s));
    EXPECT_TRUE(WaitForEnd(next.Stream(), 5s));
}

// A Play given up while the server hangs leaves nothing behind on it: once the server answers
// the request it was sent, the stream is taken down again.
TEST_F(PulsePlayback, APlayThatTimedOutLeavesNoStreamOnTheServer) {
    TPrivateServer server(Dir.Path());
    ASSERT_TRUE(server.Start());
    SetAudioLibrary(nullptr);
    FEngine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
    SetAudioLibrary(FEngine.get());
    ASSERT_TRUE(FEngine->AudioGetDeviceInfo(1, nullptr));
    TCue& cue = AddCue(Tone("tone.wav", 0.5));
    ASSERT_EQ(ServerStreams(), 0);

    server.Freeze();
    EXPECT_FALSE(cue.Play());
    server.Thaw();
    // Answered after the stream request, on the same connection.
    ASSERT_FALSE(FEngine->AudioDevices().empty());
    EXPECT_TRUE(Eventually([] { return ServerStreams() == 0; }, 3s))
        << ServerStreams() << " playback streams left on the server";
}

// Started while the server hangs: the device question gives up with a reason, and devices are
// found once the server answers again.
TEST_F(PulsePlayback, AHungServerAtStartUpIsReportedAndFoundLater) {
    TPrivateServer server(Dir.Path());
    ASSERT_TRUE(server.Start());
    server.Freeze();
    SetAudioLibrary(nullptr);
    FEngine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
    SetAudioLibrary(FEngine.get());
    const auto before = TClock::now();
    EXPECT_FALSE(FEngine->AudioGetDeviceInfo(1, nullptr));
    EXPECT_FALSE(FEngine->NoDeviceReason().empty());
    EXPECT_LT(TClock::now() - before, 3s);
    server.Thaw();
    const auto deadline = TClock::now() + 5s;
    bool found = false;
    while (!found && TClock::now() < deadline)
        found = FEngine->AudioGetDeviceInfo(1, nullptr);
    EXPECT_TRUE(found);
    EXPECT_EQ(FEngine->NoDeviceReason(), "");
}

TEST_F(PulsePlayback, ServerGoneEndsTheCueAndABackServerPlaysAgain) {
    TPrivateServer server(Dir.Path());
    ASSERT_TRUE(server.Start());
    SetAudioLibrary(nullptr);
    FEngine = std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
    SetAudioLibrary(FEngine.get());
    TAudioDeviceInfo info;
    ASSERT_TRUE(FEngine->AudioGetDeviceInfo(1, &info));
    ASSERT_EQ(info.Name, "private1");
    TCue& cue = AddCue(Tone("long.wav", 10));
    ASSERT_TRUE(cue.Play());

    server.Stop();
    uint32_t data = 0;
    ASSERT_TRUE(WaitForEnd(cue.Stream(), 5s, &data));
    EXPECT_EQ(data, 1u);
    ASSERT_TRUE(cue.Stop());
    EXPECT_FALSE(cue.Play()) << "the file opens but the stream cannot start";
    EXPECT_EQ(cue.State(), csStopped);
    EXPECT_EQ(cue.Stream(), 0u);

    ASSERT_TRUE(server.Start());
    TMonitorRecorder monitor("private1.monitor");
    ASSERT_TRUE(monitor.Start());
    const auto start = TClock::now();
    ASSERT_TRUE(cue.Play());
    EXPECT_TRUE(monitor.WaitForSound(start, 0.3f, 2s));
    EXPECT_EQ(cue.State(), csPlaying);
    cue.Stop();
}

// Many short cues ending while others start, the notices handled by this thread as the main
// window handles them. Run under ThreadSanitizer too.
TEST_F(PulsePlayback, ShortCuesEndWhileOthersStart) {
    const std::string files[] = {Tone("a.wav", 0.03), Tone("b.ogg", 0.05, "libvorbis"),
                                 Tone("c.flac", 0.02, "flac"), Tone("d.mp3", 0.04, "libmp3lame")};
    for (int i = 0; i < 8; ++i)
        AddCue(files[i % 4], 1 + i % 2).Loop = i == 7;
    for (int round = 0; round < 10; ++round) {
        for (auto& cue : Cues)
            ASSERT_TRUE(cue->Play() || cue->State() == csPlaying);
        int playing = 7;
        const auto deadline = TClock::now() + 5s;
        while (playing > 0 && TClock::now() < deadline) {
            const auto notice = NextNotice(100ms);
            if (!notice)
                continue;
            for (auto& cue : Cues)
                if (cue->Stream() == notice->Stream && !cue->Loop && cue->Stop())
                    --playing;
        }
        ASSERT_EQ(playing, 0) << "round " << round;
    }
    Cues.back()->Stop();
}

TEST_F(PulsePlayback, ThreeHundredCuesInTurnAllSoundAndGiveBackWhatTheyHeld) {
    ThreeHundredCuesInTurn(false);
}

TEST_F(PulsePlayback, ThreeHundredArmedCuesInTurnSoundWithNoOpenHereAndGiveBackWhatTheyHeld) {
    ThreeHundredCuesInTurn(true);
}

// A fade-out is heard going down to silence on the sink, and then ends its stream; a stop ramps
// down within milliseconds and gives the stream back.
TEST_F(PulsePlayback, AFadeOutIsHeardToSilenceThenEndsTheStream) {
    TMonitorRecorder out1("out1.monitor");
    ASSERT_TRUE(out1.Start());
    const int streamsBefore = ServerStreams();
    TCue& cue = AddCue(Tone("long.wav", 5.0));
    cue.SetFadeOut(5);
    const auto start = TClock::now();
    ASSERT_TRUE(cue.Play());
    ASSERT_TRUE(out1.WaitForSound(start, 0.3f, 2s));
    ASSERT_TRUE(cue.Stop());
    const auto stopped = TClock::now();
    EXPECT_TRUE(cue.Fading());
    EXPECT_TRUE(out1.WaitForQuiet(stopped, 0.001f, 300ms, 3s));
    uint32_t data = 0;
    ASSERT_TRUE(WaitForEnd(cue.Stream(), 3s, &data));
    EXPECT_EQ(data, AUDIO_END_FADED);
    EXPECT_TRUE(cue.Stop());
    EXPECT_EQ(cue.State(), csStopped);

    const auto again = TClock::now();
    cue.SetFadeOut(0);
    ASSERT_TRUE(cue.Play());
    ASSERT_TRUE(out1.WaitForSound(again, 0.3f, 2s));
    ASSERT_TRUE(cue.Stop());
    EXPECT_TRUE(out1.WaitForQuiet(TClock::now(), 0.001f, 300ms, 3s));
    EXPECT_TRUE(Eventually([&] { return ServerStreams() == streamsBefore; }, 2s));
}

// Looping cues on a machine whose cores are both busy: the sink's monitor never shows a hole.
// Each cue loops a constant level, so that the sum falls whenever any one of them drops out.
TEST_F(PulsePlayback, LoopingCuesNeverDropOutWhileBothCoresAreBusy) {
    constexpr int Count = 8;
    constexpr float Level = 0.05f;
    WriteFloatWav(Dir / "level.wav", 2, 44100, std::vector<float>(44100 * 2, Level));
    TMonitorRecorder out1("out1.monitor", 20000);
    ASSERT_TRUE(out1.Start());
    TCpuLoad load;
    ASSERT_TRUE(load.Running());
    for (int i = 0; i < Count; ++i) {
        TCue& cue = AddCue((Dir / "level.wav").string());
        cue.Loop = true;
        ASSERT_TRUE(cue.Play());
    }
    const float sum = Level * Count;
    const auto start = TClock::now();
    ASSERT_TRUE(out1.WaitForSound(start, sum - Level / 2, 3s));
    const auto from = TClock::now();
    const auto to = from + 20s;
    ASSERT_TRUE(out1.WaitUntilRecorded(to, 30s));
    EXPECT_TRUE(load.Running());
    EXPECT_EQ(out1.BlocksBelow(from, to, sum - Level / 2), 0u);
    EXPECT_EQ(FEngine->Underruns(), 0u);
    for (auto& cue : Cues)
        EXPECT_EQ(cue->State(), csPlaying);
}
