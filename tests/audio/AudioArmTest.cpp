// The armed standby cue: its file is opened and its beginning decoded on the armer's thread, so
// that its start opens and decodes nothing on the thread that plays it, and sounds the same.
#include "TAudioEngine.h"
#include "TCue.h"
#include "TOfflineOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// Every decoder Open and Read, with its thread; an Open on another thread than `Held` may be
// held until Release, to stand for a slow disk.
struct TDecoderCalls {
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<std::pair<std::thread::id, bool>> Calls;
    bool Hold = false;
    bool HeldOne = false;
    std::thread::id Free = std::this_thread::get_id();

    size_t On(std::thread::id thread, bool open) {
        std::lock_guard lock(Lock);
        size_t count = 0;
        for (const auto& [id, isOpen] : Calls)
            count += id == thread && isOpen == open;
        return count;
    }
    size_t Opens() {
        std::lock_guard lock(Lock);
        return static_cast<size_t>(std::count_if(Calls.begin(), Calls.end(),
                                                 [](const auto& call) { return call.second; }));
    }
    void Release() {
        std::lock_guard lock(Lock);
        Hold = false;
        Changed.notify_all();
    }
};
TDecoderCalls* g_calls = nullptr;

void RecordCall(bool open) {
    std::unique_lock lock(g_calls->Lock);
    g_calls->Calls.emplace_back(std::this_thread::get_id(), open);
    if (!open || std::this_thread::get_id() == g_calls->Free)
        return;
    g_calls->HeldOne = g_calls->HeldOne || g_calls->Hold;
    g_calls->Changed.notify_all();
    g_calls->Changed.wait(lock, [] { return !g_calls->Hold; });
}

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    const auto deadline = TClock::now() + timeout;
    while (!done()) {
        if (TClock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Descriptors of this process open on `file`.
int DescriptorsOn(const std::filesystem::path& file) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code gone;
        count += std::filesystem::read_symlink(entry.path(), gone) == file;
    }
    return count;
}

// Cues on an engine with an offline output and no decode worker: the test's thread plays them,
// as the window's thread does, and renders them by hand.
class AudioArm : public ::testing::Test {
protected:
    AudioArm() {
        auto output = std::make_unique<TOfflineOutput>();
        FOutput = output.get();
        FEngine = std::make_unique<TAudioEngine>(std::move(output), false);
        SetAudioLibrary(FEngine.get());
        g_calls = &FCalls;
        TAudioDecoder::SetWatcher(RecordCall);
    }
    ~AudioArm() override {
        FCalls.Release();
        for (auto& cue : FCues)
            cue->StopNow();
        FCues.clear();
        FEngine.reset();
        TAudioDecoder::SetWatcher(nullptr);
        g_calls = nullptr;
        SetAudioLibrary(nullptr);
    }

    // Two seconds of a tone with a rising level, made by ffmpeg with `codec`.
    std::string Tone(const std::string& name, const std::string& codec = "") {
        const std::string path = (FDir / name).string();
        const std::string command =
            "ffmpeg -nostdin -y -loglevel error -f lavfi -i sine=frequency=440:sample_rate=44100:"
            "duration=2 -af volume=0.5 -ac 2 " +
            (codec.empty() ? "" : "-c:a " + codec + " ") + path;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }

    TCue& AddCue(const std::string& file) {
        FCues.push_back(std::make_unique<TCue>());
        FCues.back()->UID = std::to_string(FCues.size());
        FCues.back()->FileName = file;
        return *FCues.back();
    }

    // The first `frames` frames the cue's stream renders.
    std::vector<float> Rendered(const TCue& cue, size_t frames) {
        std::vector<float> out(frames * 2);
        EXPECT_EQ(FOutput->Render(*FEngine->Stream(cue.Stream()), frames, out.data()), frames);
        return out;
    }

    // What the cue renders first when it is played without arming.
    std::vector<float> UnarmedStart(TCue& cue, size_t frames) {
        FEngine->AudioStreamDisarm();
        EXPECT_TRUE(cue.Play());
        std::vector<float> out = Rendered(cue, frames);
        cue.StopNow();
        return out;
    }

    bool ArmAndWait(const TCue& cue) {
        cue.Arm();
        return Eventually([&] { return FEngine->AudioArmedReady(cue.FileName); });
    }

    TTempDir FDir;
    TDecoderCalls FCalls;
    TOfflineOutput* FOutput = nullptr;
    std::unique_ptr<TAudioEngine> FEngine;
    std::vector<std::unique_ptr<TCue>> FCues;
};

// Enough for the first block that the server asks for, which the armer has decoded.
constexpr size_t FirstFrames = 8192;

TEST_F(AudioArm, AnArmedCueOfEveryFormatStartsWithNoOpenOrDecodeHereAndSoundsTheSame) {
    const std::pair<std::string, std::string> formats[] = {{"tone.wav", ""},
                                                           {"tone.mp3", "libmp3lame"},
                                                           {"tone.flac", "flac"},
                                                           {"tone.ogg", "libvorbis"}};
    const auto here = std::this_thread::get_id();
    for (const auto& [name, codec] : formats) {
        SCOPED_TRACE(name);
        TCue& cue = AddCue(Tone(name, codec));
        cue.SetPitch(90);
        cue.SetVolumeDB(-6);
        const std::vector<float> unarmed = UnarmedStart(cue, FirstFrames);
        ASSERT_TRUE(ArmAndWait(cue));
        const size_t opens = FCalls.On(here, true), reads = FCalls.On(here, false);
        ASSERT_TRUE(cue.Play());
        EXPECT_EQ(FCalls.On(here, true), opens) << "the file was opened on the playing thread";
        EXPECT_EQ(FCalls.On(here, false), reads) << "audio was decoded on the playing thread";
        EXPECT_EQ(Rendered(cue, FirstFrames), unarmed);
        EXPECT_EQ(DescriptorsOn(cue.FileName), 1) << "the armed stream is the one that plays";
    }
}

// Whatever the armed stream does not match is opened here as before and plays as it should: the
// armed stream of another file, loop flag, output or pitch is never played.
TEST_F(AudioArm, AStartThatDoesNotMatchTheArmedStreamOpensItsOwn) {
    const std::string file = Tone("tone.wav");
    const std::string other = Tone("other.flac", "flac");
    const struct {
        const char* Change;
        std::function<void(TCue&)> Apply;
    } changes[] = {
        {"file", [&](TCue& cue) { cue.FileName = other; }},
        {"loop", [](TCue& cue) { cue.Loop = true; }},
        {"output", [](TCue& cue) { cue.SetAudioChannel(2); }},
        {"pitch", [](TCue& cue) { cue.SetPitch(120); }},
    };
    const auto here = std::this_thread::get_id();
    for (const auto& change : changes) {
        SCOPED_TRACE(change.Change);
        TCue& armed = AddCue(file);
        TCue& played = AddCue(file);
        change.Apply(played);
        const std::vector<float> expected = UnarmedStart(played, FirstFrames);
        ASSERT_TRUE(ArmAndWait(armed));
        const size_t opens = FCalls.On(here, true);
        ASSERT_TRUE(played.Play());
        EXPECT_EQ(FCalls.On(here, true), opens + 1);
        EXPECT_EQ(Rendered(played, FirstFrames), expected);
        played.StopNow();
    }
}

// Arming another cue, or none, gives back the file held for the one before; the same request
// again keeps what is armed, and a taken stream is armed afresh.
TEST_F(AudioArm, ArmingGivesBackWhatItHeldAndArmsAgainOnceTaken) {
    TCue& first = AddCue(Tone("first.wav"));
    TCue& second = AddCue(Tone("second.ogg", "libvorbis"));
    ASSERT_TRUE(ArmAndWait(first));
    EXPECT_EQ(DescriptorsOn(first.FileName), 1);
    const size_t opens = FCalls.Opens();
    first.Arm();
    EXPECT_TRUE(FEngine->AudioArmedReady(first.FileName));
    EXPECT_EQ(FCalls.Opens(), opens) << "opened again for the same request";

    ASSERT_TRUE(ArmAndWait(second));
    EXPECT_TRUE(Eventually([&] { return DescriptorsOn(first.FileName) == 0; }));
    EXPECT_FALSE(FEngine->AudioArmedFileFound(first.FileName));
    EXPECT_TRUE(FEngine->AudioArmedFileFound(second.FileName));

    ASSERT_TRUE(second.Play());
    EXPECT_FALSE(FEngine->AudioArmedReady(second.FileName));
    ASSERT_TRUE(ArmAndWait(second)) << "a taken stream is armed again";
    EXPECT_EQ(DescriptorsOn(second.FileName), 2) << "the playing stream's and the armed one's";

    FEngine->AudioStreamDisarm();
    EXPECT_TRUE(Eventually([&] { return DescriptorsOn(second.FileName) == 1; }));
    EXPECT_FALSE(FEngine->AudioArmedFileFound(second.FileName));
}

// A GO that comes while the armer still waits on the disk does not wait for it: the cue opens
// its file here, as it would unarmed, and plays; the armer's late stream stays armed for the
// next start and is given back with the engine.
TEST_F(AudioArm, AStartBeforeArmingHasFinishedOpensHereAndPlays) {
    TCue& cue = AddCue(Tone("tone.mp3", "libmp3lame"));
    const std::vector<float> expected = UnarmedStart(cue, FirstFrames);
    {
        std::lock_guard lock(FCalls.Lock);
        FCalls.Hold = true;
    }
    cue.Arm();
    {
        std::unique_lock lock(FCalls.Lock);
        ASSERT_TRUE(FCalls.Changed.wait_for(lock, 10s, [&] { return FCalls.HeldOne; }));
    }
    EXPECT_FALSE(FEngine->AudioArmedReady(cue.FileName));
    ASSERT_TRUE(cue.Play());
    EXPECT_EQ(Rendered(cue, FirstFrames), expected);
    FCalls.Release();
    EXPECT_TRUE(Eventually([&] { return FEngine->AudioArmedReady(cue.FileName); }));
    cue.StopNow();
}

// A file that is missing is armed as missing: the cue's own look at the disk says so, and it
// does not play.
TEST_F(AudioArm, AMissingFileIsNotFoundAndDoesNotPlay) {
    TCue& cue = AddCue((FDir / "gone.wav").string());
    cue.Arm();
    EXPECT_FALSE(cue.FileFound());
    EXPECT_FALSE(cue.Play());
    EXPECT_FALSE(FEngine->AudioArmedReady(cue.FileName));
}

} // namespace
