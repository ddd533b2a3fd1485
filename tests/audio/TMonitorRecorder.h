#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct pa_stream;
struct pa_threaded_mainloop;
struct pa_context;

// Records a PulseAudio source (a sink's monitor) as 44100 Hz stereo float, noting when each
// block arrived so that the time a sample was played can be estimated.
class TMonitorRecorder {
public:
    using TClock = std::chrono::steady_clock;

    // Blocks of `fragmentUsec` time sounds finely; on PipeWire they also set the graph's
    // cycle, so recordings that need no fine timing ask for longer ones.
    explicit TMonitorRecorder(const std::string& source, uint32_t fragmentUsec = 2000);
    ~TMonitorRecorder();
    TMonitorRecorder(const TMonitorRecorder&) = delete;
    TMonitorRecorder& operator=(const TMonitorRecorder&) = delete;

    // Waits until data flows; false when the server or the source is missing.
    bool Start();

    // Peak of each side over the samples recorded after `since`.
    std::pair<float, float> PeakSince(TClock::time_point since);
    // When the first sample louder than `level` after `since` was played.
    std::optional<TClock::time_point> FirstSoundAfter(TClock::time_point since, float level);
    // When the first frame after `since` with both sides below `level` was played.
    std::optional<TClock::time_point> FirstQuietAfter(TClock::time_point since, float level);
    // When the block holding that sample reached this process: a bound from above.
    std::optional<TClock::time_point> FirstSoundArrival(TClock::time_point since, float level);
    // The recorded frames, interleaved, from the first sound after `since` on.
    std::vector<float> SoundFrom(TClock::time_point since, float level, size_t frames);

    // Waits until a sample louder than `level` after `since` has been recorded.
    bool WaitForSound(TClock::time_point since, float level, std::chrono::milliseconds timeout);
    // Waits until `length` of recording after `since` has stayed below `level` on both sides.
    bool WaitForQuiet(TClock::time_point since, float level, std::chrono::milliseconds length,
                      std::chrono::milliseconds timeout);
    // Waits until what was played up to `moment` has been recorded.
    bool WaitUntilRecorded(TClock::time_point moment, std::chrono::milliseconds timeout);
    // The 10 ms blocks recorded between `from` and `to` in which some sample of either side is
    // below `level`: holes in a signal that never falls that low.
    size_t BlocksBelow(TClock::time_point from, TClock::time_point to, float level);

    // Frames the server reported as lost to the recording (filled with silence here).
    size_t GapFrames() {
        std::lock_guard lock(FLock);
        return FGapFrames;
    }

private:
    static void ReadCallback(pa_stream* stream, size_t bytes, void* user);
    size_t FirstFrameAfter(TClock::time_point since);
    std::optional<size_t> FirstSoundFrame(TClock::time_point since, float level);
    template <class TDone> bool WaitFor(TDone done, std::chrono::milliseconds timeout);
    std::vector<std::pair<size_t, TClock::time_point>>::iterator BlockOf(size_t frame);
    TClock::time_point FrameTime(size_t frame);

    std::string FSource;
    uint32_t FFragmentUsec;
    pa_threaded_mainloop* FMainloop = nullptr;
    pa_context* FContext = nullptr;
    pa_stream* FStream = nullptr;

    std::mutex FLock;
    // Signalled after each block recorded.
    std::condition_variable FArrived;
    std::vector<float> FSamples;
    size_t FGapFrames = 0;
    // Frames recorded when each block arrived, and when.
    std::vector<std::pair<size_t, TClock::time_point>> FArrivals;
};
