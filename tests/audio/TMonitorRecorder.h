#pragma once

#include <chrono>
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

    explicit TMonitorRecorder(const std::string& source);
    ~TMonitorRecorder();
    TMonitorRecorder(const TMonitorRecorder&) = delete;
    TMonitorRecorder& operator=(const TMonitorRecorder&) = delete;

    // Waits until data flows; false when the server or the source is missing.
    bool Start();

    // Peak of each side over the samples recorded after `since`.
    std::pair<float, float> PeakSince(TClock::time_point since);
    // When the first sample louder than `level` after `since` was played.
    std::optional<TClock::time_point> FirstSoundAfter(TClock::time_point since, float level);
    // When the block holding that sample reached this process: a bound from above.
    std::optional<TClock::time_point> FirstSoundArrival(TClock::time_point since, float level);
    // The recorded frames, interleaved, from the first sound after `since` on.
    std::vector<float> SoundFrom(TClock::time_point since, float level, size_t frames);

private:
    static void ReadCallback(pa_stream* stream, size_t bytes, void* user);
    size_t FirstFrameAfter(TClock::time_point since);
    std::optional<size_t> FirstSoundFrame(TClock::time_point since, float level);
    std::vector<std::pair<size_t, TClock::time_point>>::iterator BlockOf(size_t frame);
    TClock::time_point FrameTime(size_t frame);

    std::string FSource;
    pa_threaded_mainloop* FMainloop = nullptr;
    pa_context* FContext = nullptr;
    pa_stream* FStream = nullptr;

    std::mutex FLock;
    std::vector<float> FSamples;
    // Frames recorded when each block arrived, and when.
    std::vector<std::pair<size_t, TClock::time_point>> FArrivals;
};
