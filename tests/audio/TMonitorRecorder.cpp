#include "TMonitorRecorder.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>

namespace {
constexpr pa_sample_spec RecordSpec{PA_SAMPLE_FLOAT32LE, 44100, 2};
constexpr double Rate = 44100.0;
} // namespace

TMonitorRecorder::TMonitorRecorder(const std::string& source, uint32_t fragmentUsec)
    : FSource(source), FFragmentUsec(fragmentUsec) {}

// Waits, with FLock taken, until `done()` holds, checking it after each block.
template <class TDone>
bool TMonitorRecorder::WaitFor(TDone done, std::chrono::milliseconds timeout) {
    std::unique_lock lock(FLock);
    return FArrived.wait_for(lock, timeout, done);
}

TMonitorRecorder::~TMonitorRecorder() {
    if (FMainloop)
        pa_threaded_mainloop_stop(FMainloop);
    if (FStream)
        pa_stream_unref(FStream);
    if (FContext) {
        pa_context_disconnect(FContext);
        pa_context_unref(FContext);
    }
    if (FMainloop)
        pa_threaded_mainloop_free(FMainloop);
}

bool TMonitorRecorder::Start() {
    FMainloop = pa_threaded_mainloop_new();
    pa_threaded_mainloop_start(FMainloop);
    pa_threaded_mainloop_lock(FMainloop);
    FContext = pa_context_new(pa_threaded_mainloop_get_api(FMainloop), "Trelmo test recorder");
    pa_context_set_state_callback(
        FContext,
        [](pa_context*, void* loop) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
        },
        FMainloop);
    bool ready = pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    while (ready && pa_context_get_state(FContext) != PA_CONTEXT_READY) {
        ready = PA_CONTEXT_IS_GOOD(pa_context_get_state(FContext));
        if (ready)
            pa_threaded_mainloop_wait(FMainloop);
    }
    if (ready) {
        FStream = pa_stream_new(FContext, "monitor", &RecordSpec, nullptr);
        pa_stream_set_read_callback(FStream, ReadCallback, this);
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<uint32_t>(-1);
        attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(FFragmentUsec, &RecordSpec));
        ready = pa_stream_connect_record(FStream, FSource.c_str(), &attributes,
                                         PA_STREAM_ADJUST_LATENCY) >= 0;
    }
    pa_threaded_mainloop_unlock(FMainloop);
    return ready && WaitFor([this] { return !FArrivals.empty(); }, std::chrono::seconds(5));
}

void TMonitorRecorder::ReadCallback(pa_stream* stream, size_t, void* user) {
    auto& self = *static_cast<TMonitorRecorder*>(user);
    const auto now = TClock::now();
    const void* data = nullptr;
    size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &data, &bytes) >= 0) {
        if (bytes == 0)
            break;
        std::lock_guard lock(self.FLock);
        const size_t count = bytes / sizeof(float);
        if (data) {
            const auto* samples = static_cast<const float*>(data);
            self.FSamples.insert(self.FSamples.end(), samples, samples + count);
        } else {
            self.FSamples.resize(self.FSamples.size() + count, 0.0f);
            self.FGapFrames += count / 2;
        }
        self.FArrivals.emplace_back(self.FSamples.size() / 2, now);
        pa_stream_drop(stream);
    }
    self.FArrived.notify_all();
}

// With FLock held: the block that brought frame `frame`.
std::vector<std::pair<size_t, TMonitorRecorder::TClock::time_point>>::iterator
TMonitorRecorder::BlockOf(size_t frame) {
    auto block = std::upper_bound(FArrivals.begin(), FArrivals.end(), frame,
                                  [](size_t f, const auto& arrival) { return f < arrival.first; });
    return block == FArrivals.end() ? block - 1 : block;
}

// With FLock held: the time frame `frame` was played, its block being played as it arrived.
TMonitorRecorder::TClock::time_point TMonitorRecorder::FrameTime(size_t frame) {
    const auto block = BlockOf(frame);
    const double behind = static_cast<double>(block->first) - static_cast<double>(frame);
    return block->second - std::chrono::duration_cast<TClock::duration>(
                               std::chrono::duration<double>(behind / Rate));
}

// With FLock held: the first frame that arrived in a block after `since`, minus that block.
size_t TMonitorRecorder::FirstFrameAfter(TClock::time_point since) {
    size_t frame = 0;
    for (const auto& [end, when] : FArrivals) {
        if (when >= since)
            break;
        frame = end;
    }
    return frame;
}

std::pair<float, float> TMonitorRecorder::PeakSince(TClock::time_point since) {
    std::lock_guard lock(FLock);
    float left = 0, right = 0;
    for (size_t i = FirstFrameAfter(since) * 2; i + 1 < FSamples.size(); i += 2) {
        left = std::max(left, std::fabs(FSamples[i]));
        right = std::max(right, std::fabs(FSamples[i + 1]));
    }
    return {left, right};
}

// With FLock held.
std::optional<size_t> TMonitorRecorder::FirstSoundFrame(TClock::time_point since, float level) {
    for (size_t i = FirstFrameAfter(since) * 2; i < FSamples.size(); ++i)
        if (std::fabs(FSamples[i]) > level)
            return i / 2;
    return std::nullopt;
}

std::optional<TMonitorRecorder::TClock::time_point>
TMonitorRecorder::FirstSoundAfter(TClock::time_point since, float level) {
    std::lock_guard lock(FLock);
    const auto frame = FirstSoundFrame(since, level);
    return frame ? std::optional(FrameTime(*frame)) : std::nullopt;
}

std::optional<TMonitorRecorder::TClock::time_point>
TMonitorRecorder::FirstQuietAfter(TClock::time_point since, float level) {
    std::lock_guard lock(FLock);
    for (size_t i = FirstFrameAfter(since) * 2; i + 1 < FSamples.size(); i += 2)
        if (std::fabs(FSamples[i]) < level && std::fabs(FSamples[i + 1]) < level)
            return FrameTime(i / 2);
    return std::nullopt;
}

std::optional<TMonitorRecorder::TClock::time_point>
TMonitorRecorder::FirstSoundArrival(TClock::time_point since, float level) {
    std::lock_guard lock(FLock);
    const auto frame = FirstSoundFrame(since, level);
    return frame ? std::optional(BlockOf(*frame)->second) : std::nullopt;
}

std::vector<float> TMonitorRecorder::SoundFrom(TClock::time_point since, float level,
                                               size_t frames) {
    std::lock_guard lock(FLock);
    const auto frame = FirstSoundFrame(since, level);
    if (!frame)
        return {};
    const size_t end = std::min(FSamples.size(), (*frame + frames) * 2);
    return {FSamples.begin() + static_cast<long>(*frame * 2),
            FSamples.begin() + static_cast<long>(end)};
}

bool TMonitorRecorder::WaitForSound(TClock::time_point since, float level,
                                    std::chrono::milliseconds timeout) {
    return WaitFor([&] { return FirstSoundFrame(since, level).has_value(); }, timeout);
}

bool TMonitorRecorder::WaitForQuiet(TClock::time_point since, float level,
                                    std::chrono::milliseconds length,
                                    std::chrono::milliseconds timeout) {
    const size_t wanted = static_cast<size_t>(Rate * std::chrono::duration<double>(length).count());
    return WaitFor(
        [&] {
            size_t quiet = 0;
            for (size_t i = FirstFrameAfter(since) * 2; i + 1 < FSamples.size() && quiet < wanted;
                 i += 2)
                quiet = std::max(std::fabs(FSamples[i]), std::fabs(FSamples[i + 1])) < level
                            ? quiet + 1
                            : 0;
            return quiet >= wanted;
        },
        timeout);
}

bool TMonitorRecorder::WaitUntilRecorded(TClock::time_point moment,
                                         std::chrono::milliseconds timeout) {
    return WaitFor([&] { return !FArrivals.empty() && FArrivals.back().second > moment; }, timeout);
}

size_t TMonitorRecorder::BlocksBelow(TClock::time_point from, TClock::time_point to, float level) {
    constexpr size_t BlockFrames = 441;
    std::lock_guard lock(FLock);
    const size_t first = FirstFrameAfter(from);
    const size_t last = std::min(FirstFrameAfter(to), FSamples.size() / 2);
    size_t holes = 0;
    for (size_t block = first; block + BlockFrames <= last; block += BlockFrames) {
        bool below = false;
        for (size_t i = block * 2; i < (block + BlockFrames) * 2 && !below; ++i)
            below = FSamples[i] < level;
        holes += below;
    }
    return holes;
}
