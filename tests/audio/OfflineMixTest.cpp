#include "TAudioEngine.h"
#include "TAudioStream.h"
#include "TOfflineMixOutput.h"
#include "TOfflineOutput.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>

namespace {

constexpr int Rate = 44100;
// Frames the server would take at a time.
constexpr size_t Pull = 1000;

// A cue as the engine is told to play it.
struct TCueSetup {
    std::string File;
    uint32_t Device = 1;
    float Volume = 1;
    float Pan = 0;
    float Frequency = 0;
    bool Loop = false;
};

HSTREAM Open(TAudioEngine& engine, const TCueSetup& cue) {
    engine.AudioSetDevice(cue.Device);
    const HSTREAM handle =
        engine.AudioStreamCreateFile(false, cue.File, 0, 0, cue.Loop ? AUDIO_SAMPLE_LOOP : 0);
    EXPECT_NE(handle, 0u) << cue.File;
    engine.AudioChannelSetAttribute(handle, AUDIO_ATTRIB_VOL, cue.Volume);
    engine.AudioChannelSetAttribute(handle, AUDIO_ATTRIB_PAN, cue.Pan);
    if (cue.Frequency > 0)
        engine.AudioChannelSetAttribute(handle, AUDIO_ATTRIB_FREQ, cue.Frequency);
    return handle;
}

// Renders one cue alone through the per-stream offline target, `frames` frames, calling
// `at(frame)` before each pull so that a test can act on the engine there.
std::vector<float> RenderAlone(const TCueSetup& cue, size_t frames,
                               const std::function<void(TAudioEngine&, HSTREAM, size_t)>& at = {}) {
    auto output = std::make_unique<TOfflineOutput>();
    TOfflineOutput& offline = *output;
    TAudioEngine engine(std::move(output), false);
    const HSTREAM handle = Open(engine, cue);
    EXPECT_TRUE(engine.AudioChannelPlay(handle, false));
    std::vector<float> out(frames * 2);
    for (size_t done = 0; done < frames; done += Pull) {
        if (at)
            at(engine, handle, done);
        engine.Service();
        TAudioStream* stream = engine.Stream(handle);
        offline.Render(*stream, std::min(Pull, frames - done), out.data() + done * 2);
    }
    return out;
}

// Cues on the mixing offline target; the test takes each output's mix by hand.
class OfflineMix : public ::testing::Test {
protected:
    void UseQueue(size_t frames) {
        auto output = std::make_unique<TOfflineMixOutput>(2, frames);
        Output = output.get();
        Engine = std::make_unique<TAudioEngine>(std::move(output), false);
    }

    std::string Wav(const std::string& name, const std::vector<float>& samples, int rate = Rate) {
        const auto path = Dir / name;
        WriteFloatWav(path, 2, rate, samples);
        return path.string();
    }

    // Takes `frames` frames of a device's mix in pulls, servicing the engine before each.
    void Take(uint32_t device, size_t frames, std::vector<float>& heard) {
        std::vector<float> block(Pull * 2);
        for (size_t done = 0; done < frames; done += Pull) {
            Engine->Service();
            const size_t count = std::min(Pull, frames - done);
            Output->Take(device, count, block.data());
            heard.insert(heard.end(), block.begin(), block.begin() + static_cast<long>(count * 2));
        }
    }

    TTempDir Dir;
    TOfflineMixOutput* Output = nullptr;
    std::unique_ptr<TAudioEngine> Engine;
};

// Interleaved stereo, both sides carrying `signal`.
std::vector<float> Both(const std::vector<float>& signal) {
    std::vector<float> stereo(signal.size() * 2);
    for (size_t i = 0; i < signal.size(); ++i)
        stereo[i * 2] = stereo[i * 2 + 1] = signal[i];
    return stereo;
}

// The first frame at or after `from` whose sample on `side` is not silent.
size_t FirstSound(const std::vector<float>& heard, int side, size_t from = 0) {
    for (size_t frame = from; frame * 2 < heard.size(); ++frame)
        if (heard[frame * 2 + static_cast<size_t>(side)] != 0.0f)
            return frame;
    return heard.size() / 2;
}

} // namespace

// Whatever the server holds queued, the mix of an output is, sample for sample, the sum of what
// each of its cues renders alone: volume, pan, pitch, loop and end included.
TEST_F(OfflineMix, AMixIsTheSumOfItsCuesRenderedAlone) {
    for (const size_t queued : {size_t{0}, size_t{4410}, size_t{8820}}) {
        SCOPED_TRACE(testing::Message() << queued << " frames queued");
        UseQueue(queued);
        const std::vector<TCueSetup> cues = {
            {Wav("a.wav", Both(Sine(440, Rate, 30000))), 1, 0.5f, -0.5f},
            {Wav("b.wav", Both(Sine(660, 48000, 48000)), 48000), 1, 1.0f, 0.3f, 52000},
            {Wav("c.wav", Both(Sine(1000, Rate, 4410, 0.2f))), 1, 0.8f, 0, 0, true},
            {Wav("d.wav", Both(Sine(220, Rate, 12000))), 1, 1.0f, 1.0f},
        };
        constexpr size_t Frames = 40000;
        std::vector<float> sum(Frames * 2, 0.0f);
        for (const TCueSetup& cue : cues) {
            const std::vector<float> alone = RenderAlone(cue, Frames);
            for (size_t i = 0; i < sum.size(); ++i)
                sum[i] += alone[i];
        }
        std::vector<HSTREAM> handles;
        for (const TCueSetup& cue : cues)
            handles.push_back(Open(*Engine, cue));
        for (HSTREAM handle : handles)
            ASSERT_TRUE(Engine->AudioChannelPlay(handle, false));
        std::vector<float> heard;
        Take(1, Frames, heard);
        ASSERT_EQ(heard.size(), sum.size());
        size_t different = 0;
        for (size_t i = 0; i < sum.size(); ++i)
            different += std::abs(heard[i] - sum[i]) > 1e-6f;
        EXPECT_EQ(different, 0u);
        EXPECT_GT(*std::max_element(heard.begin(), heard.end()), 0.5f);
        EXPECT_EQ(Engine->Underruns(), 0u);
    }
}

// With the server's buffer full of queued frames, a cue started after `start` frames is heard
// from exactly that frame, and one stopped after `stop` frames ramps down from exactly that
// frame: what is queued is rendered again, not played out first.
TEST_F(OfflineMix, AStartAndAStopLandOnTheFrameTheyWereAskedAt) {
    constexpr size_t Start = 10000;
    constexpr size_t Stop = 21000;
    constexpr size_t Frames = 32000;
    const TCueSetup left{Wav("left.wav", OnChannel(Sine(440, Rate, Rate), 2, 0))};
    const TCueSetup right{Wav("right.wav", OnChannel(Sine(660, Rate, Rate), 2, 1))};
    const std::vector<float> leftAlone =
        RenderAlone(left, Frames, [](TAudioEngine& engine, HSTREAM handle, size_t at) {
            if (at == Stop)
                engine.AudioChannelStop(handle);
        });
    const std::vector<float> rightAlone = RenderAlone(right, Frames - Start);
    for (const size_t queued : {size_t{0}, size_t{2000}, size_t{8820}}) {
        SCOPED_TRACE(testing::Message() << queued << " frames queued");
        UseQueue(queued);
        const HSTREAM leftCue = Open(*Engine, left);
        const HSTREAM rightCue = Open(*Engine, right);
        ASSERT_TRUE(Engine->AudioChannelPlay(leftCue, false));
        std::vector<float> heard;
        Take(1, Start, heard);
        ASSERT_TRUE(Engine->AudioChannelPlay(rightCue, false));
        Take(1, Stop - Start, heard);
        ASSERT_TRUE(Engine->AudioChannelStop(leftCue));
        Take(1, Frames - Stop, heard);
        ASSERT_EQ(heard.size(), Frames * 2);
        size_t leftWrong = 0;
        size_t rightWrong = 0;
        for (size_t frame = 0; frame < Frames; ++frame) {
            leftWrong += heard[frame * 2] != leftAlone[frame * 2];
            const float expected = frame < Start ? 0.0f : rightAlone[(frame - Start) * 2 + 1];
            rightWrong += heard[frame * 2 + 1] != expected;
        }
        EXPECT_EQ(leftWrong, 0u);
        EXPECT_EQ(rightWrong, 0u);
        EXPECT_EQ(FirstSound(heard, 1), FirstSound(rightAlone, 1) + Start);
    }
}

// Cues played between a begin and a commit start on the same frame of each output, however
// much was taken between their plays; without the batch each starts where it was played.
TEST_F(OfflineMix, CuesStartedTogetherStartOnTheSameFrame) {
    struct TCase {
        bool Batched;
        std::array<size_t, 4> Starts;
    };
    const TCase cases[] = {{true, {1500, 1500, 1500, 1500}}, {false, {0, 1000, 1000, 1500}}};
    const std::vector<float> level(Rate, 0.25f);
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Batched ? "batched" : "one by one");
        UseQueue(4410);
        const std::array<TCueSetup, 4> cues = {
            TCueSetup{Wav("l1.wav", OnChannel(level, 2, 0)), 1},
            TCueSetup{Wav("r1.wav", OnChannel(level, 2, 1)), 1},
            TCueSetup{Wav("l2.wav", OnChannel(level, 2, 0)), 2},
            TCueSetup{Wav("r2.wav", OnChannel(level, 2, 1)), 2},
        };
        std::array<HSTREAM, 4> handles{};
        for (size_t i = 0; i < cues.size(); ++i)
            handles[i] = Open(*Engine, cues[i]);
        std::vector<float> out1;
        std::vector<float> out2;
        const auto take = [&](size_t frames) {
            Take(1, frames, out1);
            Take(2, frames, out2);
        };
        if (test.Batched)
            Engine->AudioBeginStarts();
        ASSERT_TRUE(Engine->AudioChannelPlay(handles[0], false));
        take(1000);
        ASSERT_TRUE(Engine->AudioChannelPlay(handles[1], false));
        ASSERT_TRUE(Engine->AudioChannelPlay(handles[2], false));
        take(500);
        ASSERT_TRUE(Engine->AudioChannelPlay(handles[3], false));
        if (test.Batched)
            Engine->AudioCommitStarts();
        take(3000);
        const size_t ramp = FirstSound(RenderAlone(cues[0], Pull), 0);
        EXPECT_EQ(FirstSound(out1, 0), test.Starts[0] + ramp);
        EXPECT_EQ(FirstSound(out1, 1), test.Starts[1] + ramp);
        EXPECT_EQ(FirstSound(out2, 0), test.Starts[2] + ramp);
        EXPECT_EQ(FirstSound(out2, 1), test.Starts[3] + ramp);
    }
}

// With the server's buffer full, the position and the level a cue reports are those of the frame
// being heard, not of the frames rendered ahead: a file silent for its first frames and loud
// after them shows no level until its loud part is taken from the mix.
TEST_F(OfflineMix, PositionAndLevelFollowWhatIsHeard) {
    constexpr size_t Quiet = 20000;
    std::vector<float> file(Quiet * 2, 0.0f);
    file.resize((Quiet + Rate) * 2, 0.5f);
    UseQueue(8820);
    const HSTREAM cue = Open(*Engine, {Wav("late.wav", file)});
    ASSERT_TRUE(Engine->AudioChannelPlay(cue, false));
    std::vector<float> heard;
    for (size_t taken = Pull; taken <= Quiet + 3 * Pull; taken += Pull) {
        SCOPED_TRACE(testing::Message() << taken << " frames taken");
        Take(1, Pull, heard);
        TAudioPosition position;
        ASSERT_TRUE(Engine->AudioChannelGetPosition(cue, &position));
        EXPECT_EQ(std::llround(position.Seconds * Rate), static_cast<long long>(taken));
        float level = -1;
        ASSERT_TRUE(Engine->AudioChannelGetLevel(cue, &level));
        if (taken <= Quiet)
            EXPECT_EQ(level, 0.0f);
        else
            EXPECT_NEAR(level, 0.5f, 1e-6f);
    }
}

namespace {

// A leader sounding on the left only and the cue that follows it on the right only, at steady
// levels, so that each frame tells which of them sounds.
struct TFollowPair {
    static constexpr size_t LeaderFrames = 10000;
    static constexpr size_t FollowerFrames = 6000;
    static constexpr float FollowerLevel = 0.2f;
    TCueSetup Leader;
    TCueSetup Follower;
};

size_t Sounding(const std::vector<float>& heard, int side) {
    size_t count = 0;
    for (size_t frame = 0; frame * 2 < heard.size(); ++frame)
        count += heard[frame * 2 + static_cast<size_t>(side)] != 0.0f;
    return count;
}

} // namespace

// A cue handed over to follow another begins on the frame right after the leader's last, at
// full level (no start ramp), whatever the leader's pitch and however much the server holds
// queued; playing it again once it has begun starts nothing a second time.
TEST_F(OfflineMix, AFollowerBeginsOnTheFrameAfterItsLeadersLast) {
    const TFollowPair pair{
        {Wav("leader.wav", OnChannel(std::vector<float>(TFollowPair::LeaderFrames, 0.4f), 2, 0))},
        {Wav("follower.wav",
             OnChannel(std::vector<float>(TFollowPair::FollowerFrames, TFollowPair::FollowerLevel),
                       2, 1))}};
    for (const float frequency : {0.0f, 52000.0f, 36000.0f}) {
        for (const size_t queued : {size_t{0}, size_t{4410}, size_t{8820}}) {
            SCOPED_TRACE(testing::Message() << frequency << " Hz, " << queued << " queued");
            UseQueue(queued);
            TCueSetup leaderSetup = pair.Leader;
            leaderSetup.Frequency = frequency;
            const HSTREAM leader = Open(*Engine, leaderSetup);
            const HSTREAM follower = Open(*Engine, pair.Follower);
            ASSERT_TRUE(Engine->AudioChannelPlay(leader, false));
            std::vector<float> heard;
            Take(1, 2000, heard);
            ASSERT_TRUE(Engine->AudioChannelPlayAfter(follower, leader));
            Take(1, 20000, heard);
            const uint64_t leaderLength = Engine->Stream(leader)->PassFrames();
            ASSERT_GT(leaderLength, 0u);
            EXPECT_EQ(FirstSound(heard, 1), leaderLength);
            EXPECT_EQ(heard[leaderLength * 2 + 1], TFollowPair::FollowerLevel);
            EXPECT_EQ(heard[leaderLength * 2], 0.0f) << "the leader is over";
            if (frequency == 0.0f) {
                EXPECT_NE(heard[(leaderLength - 1) * 2], 0.0f) << "up to its last frame";
            }
            EXPECT_TRUE(Engine->AudioChannelPlay(follower, false));
            Take(1, 8000, heard);
            EXPECT_EQ(Sounding(heard, 1), TFollowPair::FollowerFrames);
            EXPECT_EQ(Engine->Underruns(), 0u);
        }
    }
}

// Whatever ends the leader before its file's end, or lets the follower go, the follower is
// never heard and does not stay waiting, also when its start has been rendered into the queue
// (the leader ends at 10000 frames; 8820 are queued). A follower played while it waits starts
// at once; once its start is queued, it stays there.
TEST_F(OfflineMix, AFollowerSoundsOnlyAfterALeaderThatPlayedToItsEnd) {
    const TFollowPair pair{
        {Wav("leader.wav", OnChannel(std::vector<float>(TFollowPair::LeaderFrames, 0.4f), 2, 0))},
        {Wav("follower.wav",
             OnChannel(std::vector<float>(TFollowPair::FollowerFrames, TFollowPair::FollowerLevel),
                       2, 1))}};
    using TAct = std::function<void(TAudioEngine&, HSTREAM leader, HSTREAM follower)>;
    const TAct stopFollower = [](auto& e, HSTREAM, HSTREAM f) { e.AudioChannelStop(f); };
    const TAct stopLeader = [](auto& e, HSTREAM l, HSTREAM) { e.AudioChannelStop(l); };
    const TAct playFollower = [](auto& e, HSTREAM, HSTREAM f) {
        EXPECT_TRUE(e.AudioChannelPlay(f, false));
    };
    const size_t ramp = FirstSound(RenderAlone(pair.Follower, Pull), 1);
    struct TCase {
        const char* Name;
        size_t Queued;
        size_t At;
        TAct Act;
        // Where the follower is first heard; none when it never is.
        std::optional<size_t> Heard;
    };
    const TCase cases[] = {
        {"follower let go", 4410, 3000, stopFollower, std::nullopt},
        {"follower let go, its start queued", 8820, 3000, stopFollower, std::nullopt},
        {"leader stopped", 4410, 3000, stopLeader, std::nullopt},
        {"leader stopped, the follower's start queued", 8820, 9000, stopLeader, std::nullopt},
        {"leader faded out", 4410, 3000,
         [](auto& e, HSTREAM l, HSTREAM) { e.AudioChannelFadeOut(l, 20); }, std::nullopt},
        {"follower played while it waits", 4410, 3000, playFollower, 3000 + ramp},
        {"follower played, its start queued", 8820, 3000, playFollower, TFollowPair::LeaderFrames},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        UseQueue(test.Queued);
        const HSTREAM leader = Open(*Engine, pair.Leader);
        const HSTREAM follower = Open(*Engine, pair.Follower);
        ASSERT_TRUE(Engine->AudioChannelPlay(leader, false));
        ASSERT_TRUE(Engine->AudioChannelPlayAfter(follower, leader));
        std::vector<float> heard;
        Take(1, test.At, heard);
        test.Act(*Engine, leader, follower);
        Take(1, 30000, heard);
        if (test.Heard) {
            EXPECT_EQ(FirstSound(heard, 1), *test.Heard);
            continue;
        }
        EXPECT_EQ(Sounding(heard, 1), 0u);
        EXPECT_NE(Engine->Stream(follower)->State, TAudioStream::psPlaying);
    }
}

// The level of each side follows what is heard, as the mono level does.
TEST_F(OfflineMix, LevelsOfEachSideFollowWhatIsHeard) {
    constexpr size_t Quiet = 20000;
    std::vector<float> file(Quiet * 2, 0.0f);
    for (size_t frame = 0; frame < Rate; ++frame) {
        file.push_back(0.5f);
        file.push_back(0.0f);
    }
    UseQueue(8820);
    const HSTREAM cue = Open(*Engine, {Wav("left.wav", file)});
    ASSERT_TRUE(Engine->AudioChannelPlay(cue, false));
    std::vector<float> heard;
    for (size_t taken = Pull; taken <= Quiet + 3 * Pull; taken += Pull) {
        SCOPED_TRACE(testing::Message() << taken << " frames taken");
        Take(1, Pull, heard);
        TAudioLevels levels;
        ASSERT_TRUE(Engine->AudioChannelGetLevels(cue, &levels));
        EXPECT_NEAR(levels.Left, taken <= Quiet ? 0.0f : 0.5f, 1e-6f);
        EXPECT_EQ(levels.Right, 0.0f);
    }
}
