#include "TPulseStream.h"

#include "TAudioDecoder.h"
#include "TAudioStream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <utility>

namespace {

static_assert(TPulseStream::SampleFormat.rate == TAudioDecoder::OutputRate);
constexpr size_t FrameBytes = 2 * sizeof(float);
constexpr int64_t FramesPerSecond = TAudioDecoder::OutputRate;
// Server-side buffer: deep enough for a busy desktop that refills it late. Starts, stops and
// gain changes rewrite what is queued, so it costs no responsiveness.
constexpr pa_usec_t BufferUsec = 200 * 1000;
// Rewritten frames begin this far after the frame being played, for the time the write takes
// to reach the server.
constexpr auto RewriteLead = std::chrono::milliseconds(3);
constexpr int64_t RewriteLeadFrames = FramesPerSecond * RewriteLead.count() / 1000;
// How soon frames the server wanted and a cue did not have are looked for again.
constexpr pa_usec_t RetryUsec = 5000;
// How often the server is asked where it plays: drains end and the display follows within it.
constexpr pa_usec_t ClockUsec = 20 * 1000;

void Drop(pa_operation*& operation) {
    if (!operation)
        return;
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    operation = nullptr;
}

void Unhook(pa_stream* server) {
    pa_stream_set_state_callback(server, nullptr, nullptr);
    pa_stream_set_write_callback(server, nullptr, nullptr);
    pa_stream_set_underflow_callback(server, nullptr, nullptr);
}

// A stream the server has not confirmed in time cannot be disconnected yet: it keeps our
// reference until the server's answer, is taken down once ready and let go once it has ended,
// so that no silent stream stays on the server.
void Abandon(pa_stream* server) {
    pa_stream_set_state_callback(
        server,
        [](pa_stream* stream, void*) {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            if (state == PA_STREAM_READY) {
                pa_stream_disconnect(stream);
            } else if (!PA_STREAM_IS_GOOD(state)) {
                pa_stream_set_state_callback(stream, nullptr, nullptr);
                pa_stream_unref(stream);
            }
        },
        nullptr);
}

pa_time_event* NewTimer(pa_mainloop_api* api, pa_usec_t after, pa_time_event_cb_t callback,
                        void* user) {
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), after);
    return api->time_new(api, &when, callback, user);
}

void Restart(pa_mainloop_api* api, pa_time_event* event, pa_usec_t after) {
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), after);
    api->time_restart(event, &when);
}

} // namespace

TPulseStream::TPulseStream(TPulseServer& server, std::string sink, std::function<void()> wake)
    : FServer(server), FSink(std::move(sink)), FWake(std::move(wake)),
      FApi(pa_threaded_mainloop_get_api(server.Mainloop())),
      FEmptySince(TPulseServer::TClock::now()) {}

std::unique_ptr<TPulseStream>
TPulseStream::OpenLocked(TPulseServer& server, const std::string& sink, const std::string& name,
                         std::function<void()> wake, TPulseServer::TDeadline deadline) {
    std::unique_ptr<TPulseStream> stream(new TPulseStream(server, sink, std::move(wake)));
    pa_mainloop_api* api = stream->FApi;
    stream->FRetry = NewTimer(api, 0, RetryCallback, stream.get());
    stream->FClock = NewTimer(api, ClockUsec, ClockCallback, stream.get());
    if (stream->ConnectLocked(name, deadline))
        return stream;
    return nullptr;
}

// With the mainloop locked: the stream leaves the server; no callback runs afterwards.
TPulseStream::~TPulseStream() {
    Drop(FTiming);
    FApi->time_free(FRetry);
    FApi->time_free(FClock);
    if (!FStream)
        return;
    Unhook(FStream);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(FStream)))
        pa_stream_disconnect(FStream);
    pa_stream_unref(FStream);
}

// With the mainloop locked: connects a new server stream and waits until it is ready.
bool TPulseStream::ConnectLocked(const std::string& name, TPulseServer::TDeadline deadline) {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, name.c_str());
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    pa_stream* server = pa_stream_new_with_proplist(FServer.Context(), name.c_str(), &SampleFormat,
                                                    nullptr, properties);
    pa_proplist_free(properties);
    if (!server)
        return false;
    // The write callback may come before the wait below is over.
    FStream = server;
    pa_stream_set_state_callback(server, StateCallback, this);
    pa_stream_set_write_callback(server, WriteCallback, this);
    pa_stream_set_underflow_callback(server, UnderflowCallback, this);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(BufferUsec, &SampleFormat));
    // The stream never waits to fill up again after running dry: it plays on as soon as frames
    // come, and the mix goes on from the frame being played.
    attributes.prebuf = 0;
    attributes.minreq = static_cast<uint32_t>(pa_usec_to_bytes(BufferUsec / 4, &SampleFormat));
    attributes.fragsize = static_cast<uint32_t>(-1);
    pa_cvolume volume;
    pa_cvolume_set(&volume, SampleFormat.channels, PA_VOLUME_NORM);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    const bool ready = pa_stream_connect_playback(server, FSink.c_str(), &attributes, flags,
                                                  &volume, nullptr) >= 0 &&
                       FServer.WaitUntilLocked(
                           [server] {
                               const pa_stream_state_t state = pa_stream_get_state(server);
                               return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                           },
                           deadline) &&
                       pa_stream_get_state(server) == PA_STREAM_READY;
    if (ready)
        return true;
    FStream = nullptr;
    Unhook(server);
    if (pa_stream_get_state(server) == PA_STREAM_CREATING)
        Abandon(server);
    else
        pa_stream_unref(server);
    return false;
}

bool TPulseStream::ReadyLocked() const {
    return FStream && pa_stream_get_state(FStream) == PA_STREAM_READY;
}

bool TPulseStream::AddLocked(TAudioStream& audio, bool held, TPulseServer::TDeadline deadline) {
    if (!FMix.Add(audio, held))
        return false;
    if (held)
        return true;
    RefreshLocked();
    if (FServer.WaitUntilLocked([&] { return !FMix.Waiting(audio); }, deadline))
        return true;
    RemoveLocked(audio);
    return false;
}

// The rewrite places a cue whose leader has rendered its end already.
bool TPulseStream::AddAfterLocked(TAudioStream& audio, TAudioStream& leader) {
    if (!FMix.AddAfter(audio, leader))
        return false;
    RefreshLocked();
    return true;
}

void TPulseStream::StartNowLocked(TAudioStream& audio, bool held,
                                  TPulseServer::TDeadline deadline) {
    if (!FMix.StartNow(audio, held) || held)
        return;
    RefreshLocked();
    FServer.WaitUntilLocked([&] { return !FMix.Waiting(audio); }, deadline);
}

bool TPulseStream::CancelFollowLocked(TAudioStream& audio) {
    if (!FMix.CancelFollow(audio))
        return false;
    if (FMix.Empty())
        FEmptySince = TPulseServer::TClock::now();
    return true;
}

void TPulseStream::RemoveLocked(TAudioStream& audio) {
    FMix.Remove(audio);
    if (FMix.Empty())
        FEmptySince = TPulseServer::TClock::now();
}

void TPulseStream::CommitLocked(std::optional<TPulseServer::TClock::time_point> startAt) {
    FMix.Commit();
    if (!FMix.Waiting())
        return;
    FStartAt = startAt;
    RefreshLocked();
}

void TPulseStream::RefreshLocked() {
    FRewrite = true;
    AskTimingLocked();
}

void TPulseStream::DrainLocked(TAudioStream& audio, bool draining) {
    FMix.Drain(audio, draining);
}

// A question under way is answered with a read position at least as fresh as one asked now.
void TPulseStream::AskTimingLocked() {
    if (FTiming && pa_operation_get_state(FTiming) != PA_OPERATION_RUNNING) {
        pa_operation_unref(FTiming);
        FTiming = nullptr;
    }
    if (!FTiming && ReadyLocked())
        FTiming = pa_stream_update_timing_info(FStream, TimingCallback, this);
}

// Mainloop thread: renders up to `frames` frames of the mix and writes them at stream index
// `at`; returns the frames written. Frames a cue has not decoded yet are left to the server's
// next request: the server still holds most of its buffer then, while silence written in
// their place would be heard.
size_t TPulseStream::WriteAt(int64_t at, size_t frames) {
    frames = FMix.Renderable(at, frames);
    void* data = nullptr;
    size_t bytes = frames * FrameBytes;
    if (frames == 0 || pa_stream_begin_write(FStream, &data, &bytes) < 0 || !data)
        return 0;
    frames = std::min(frames, bytes / FrameBytes);
    FMix.Render(at, frames, static_cast<float*>(data));
    pa_stream_write(FStream, data, frames * FrameBytes, nullptr, at * int64_t{FrameBytes},
                    PA_SEEK_ABSOLUTE);
    MoveWritten(at + static_cast<int64_t>(frames));
    return frames;
}

// Mainloop thread: what is written and not heard changes with the frames written.
void TPulseStream::MoveWritten(int64_t to) {
    FMix.AddLatency(to - FWritten);
    FWritten = to;
}

// Mainloop thread: writes what the server wants as far as every cue has it; while frames are
// still wanted, looks again shortly.
void TPulseStream::Feed() {
    const size_t writable = pa_stream_writable_size(FStream);
    size_t frames = writable == static_cast<size_t>(-1) ? 0 : writable / FrameBytes;
    while (frames > 0) {
        const size_t written = WriteAt(FWritten, frames);
        if (written == 0)
            break;
        frames -= std::min(frames, written);
    }
    if (frames > 0)
        Restart(FApi, FRetry, RetryUsec);
}

// Mainloop thread: everything queued from `from` on is rendered again; cues waiting for their
// start begin there.
void TPulseStream::Rewrite(int64_t from) {
    from = std::clamp<int64_t>(from, 0, FWritten);
    const int64_t end = FWritten;
    FMix.Rewind(from);
    MoveWritten(from);
    while (FWritten < end)
        if (WriteAt(FWritten, static_cast<size_t>(end - FWritten)) == 0)
            break;
    Feed();
}

// Frames from the one being played to where the rewrite begins: the lead, or up to the time the
// outputs started together share, when that is still at least the lead away.
int64_t TPulseStream::RewriteAhead() {
    const auto now = TPulseServer::TClock::now();
    const auto start =
        std::max(std::exchange(FStartAt, std::nullopt).value_or(now), now + RewriteLead);
    return std::chrono::duration_cast<std::chrono::microseconds>(start - now).count() *
           FramesPerSecond / 1000000;
}

void TPulseStream::StateCallback(pa_stream* server, void* user) {
    auto& self = *static_cast<TPulseStream*>(user);
    const pa_stream_state_t state = pa_stream_get_state(server);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        self.FMix.Fail();
        self.FWake();
    }
    pa_threaded_mainloop_signal(self.FServer.Mainloop(), 0);
}

void TPulseStream::WriteCallback(pa_stream*, size_t, void* user) {
    static_cast<TPulseStream*>(user)->Feed();
}

void TPulseStream::RetryCallback(pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
    auto& self = *static_cast<TPulseStream*>(user);
    if (self.ReadyLocked())
        self.Feed();
}

void TPulseStream::ClockCallback(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                                 void* user) {
    auto& self = *static_cast<TPulseStream*>(user);
    if (!self.FMix.Empty())
        self.AskTimingLocked();
    Restart(api, event, ClockUsec);
}

// The server's read position is fresh: drains are settled, the display's latency updated, and
// a change asked for rewrites everything queued after the frame now being played.
void TPulseStream::TimingCallback(pa_stream* server, int success, void* user) {
    auto& self = *static_cast<TPulseStream*>(user);
    const pa_timing_info* timing = success ? pa_stream_get_timing_info(server) : nullptr;
    if (!timing || timing->read_index_corrupt)
        return;
    const auto frames = [](pa_usec_t usec) {
        return static_cast<int64_t>(usec) * FramesPerSecond / 1000000;
    };
    const int64_t playing = timing->read_index / int64_t{FrameBytes} - frames(timing->sink_usec) +
                            (timing->playing ? frames(pa_timeval_age(&timing->timestamp)) : 0);
    // After running dry the server plays on past what was written: go on from there.
    self.FWritten = std::max(self.FWritten, playing + RewriteLeadFrames);
    if (std::exchange(self.FRewrite, false)) {
        self.Rewrite(playing + self.RewriteAhead());
        pa_threaded_mainloop_signal(self.FServer.Mainloop(), 0);
    }
    self.FMix.SetLatency(self.FWritten - playing,
                         std::chrono::steady_clock::now().time_since_epoch().count());
    if (self.FMix.Played(playing))
        self.FWake();
}

// The server ran out of frames to play: a dropout for every cue sounding.
void TPulseStream::UnderflowCallback(pa_stream*, void* user) {
    static_cast<TPulseStream*>(user)->FMix.CountUnderrun();
}
