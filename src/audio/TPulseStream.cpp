#include "TPulseStream.h"

#include "TAudioDecoder.h"
#include "TAudioStream.h"
#include "TPulseLock.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace {

static_assert(TPulseStream::Spec.rate == TAudioDecoder::OutputRate);
constexpr size_t FrameBytes = 2 * sizeof(float);
constexpr int64_t FramesPerSecond = TAudioDecoder::OutputRate;
// Server-side buffer per stream: deep enough for a busy desktop that refills it late. Starts do
// not wait for it (the server mixes a new stream in at once), and gain changes rewrite what is
// queued, so it costs no responsiveness.
constexpr pa_usec_t BufferUsec = 200 * 1000;
// Rewritten frames begin this far after the frame being played, for the time the write takes
// to reach the server.
constexpr int64_t RewriteLeadFrames = FramesPerSecond * 3 / 1000;
// How soon frames the server wanted and the decoder did not have are looked for again.
constexpr pa_usec_t RetryUsec = 5000;
// A pause corks the stream once its ramp to silence has been played: the rewrite of what is
// queued, its lead and the ramp take well under this.
constexpr pa_usec_t CorkDelayUsec = 60 * 1000;

void Forget(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

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

} // namespace

TPulseStream::TPulseStream(TPulseServer& server, TAudioStream& audio, std::function<void()> wake)
    : FServer(server), FAudio(audio), FWake(std::move(wake)),
      FApi(pa_threaded_mainloop_get_api(server.Mainloop())) {}

std::unique_ptr<TPulseStream> TPulseStream::OpenLocked(TPulseServer& server, TAudioStream& audio,
                                                       const std::string& sink,
                                                       std::function<void()> wake,
                                                       TPulseServer::TDeadline deadline) {
    std::unique_ptr<TPulseStream> stream(new TPulseStream(server, audio, std::move(wake)));
    timeval now{};
    stream->FRetry =
        stream->FApi->time_new(stream->FApi, pa_gettimeofday(&now), RetryCallback, stream.get());
    if (stream->ConnectLocked(sink, deadline))
        return stream;
    stream->FApi->time_free(stream->FRetry);
    return nullptr;
}

// With the mainloop locked: connects a new server stream and waits until it is ready.
bool TPulseStream::ConnectLocked(const std::string& sink, TPulseServer::TDeadline deadline) {
    const std::string& name = FAudio.Name();
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, name.c_str());
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    pa_stream* server =
        pa_stream_new_with_proplist(FServer.Context(), name.c_str(), &Spec, nullptr, properties);
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
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(BufferUsec, &Spec));
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(pa_usec_to_bytes(BufferUsec / 4, &Spec));
    attributes.fragsize = static_cast<uint32_t>(-1);
    pa_cvolume volume;
    pa_cvolume_set(&volume, Spec.channels, PA_VOLUME_NORM);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    const bool ready = pa_stream_connect_playback(server, sink.c_str(), &attributes, flags, &volume,
                                                  nullptr) >= 0 &&
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

// Mainloop thread: renders up to `frames` decoded frames and writes them at stream index `at`;
// returns the frames written. Frames not decoded yet are left to the server's next request:
// the server still holds most of its buffer then, while silence written in their place would
// be heard.
size_t TPulseStream::WriteAt(int64_t at, size_t frames) {
    frames = std::min(frames, FAudio.Available());
    void* data = nullptr;
    size_t bytes = frames * FrameBytes;
    if (frames == 0 || pa_stream_begin_write(FStream, &data, &bytes) < 0 || !data)
        return 0;
    bool end = false;
    const size_t got =
        FAudio.Render(std::min(frames, bytes / FrameBytes), static_cast<float*>(data), end);
    // Frames queued after an end are overwritten with the silence Render put there.
    const bool rewrite = at + static_cast<int64_t>(frames) <= FWritten;
    const size_t count = end && rewrite ? std::min(frames, bytes / FrameBytes) : got;
    if (count == 0) {
        pa_stream_cancel_write(FStream);
        return 0;
    }
    pa_stream_write(FStream, data, count * FrameBytes, nullptr, at * int64_t{FrameBytes},
                    PA_SEEK_ABSOLUTE);
    FWritten = std::max(FWritten, at + static_cast<int64_t>(count));
    return count;
}

// Mainloop thread: writes what the server wants as far as it is decoded; while frames are
// still wanted, looks again shortly, so that a late decoder delays the frames instead of
// leaving the stream waiting for a request that does not come.
void TPulseStream::Feed() {
    const size_t writable = pa_stream_writable_size(FStream);
    size_t frames = writable == static_cast<size_t>(-1) ? 0 : writable / FrameBytes;
    while (frames > 0) {
        const size_t written = WriteAt(FWritten, frames);
        if (written == 0)
            break;
        frames -= std::min(frames, written);
    }
    if (frames > 0 && !FAudio.RenderedOut() && !FAudio.FadedOut()) {
        timeval when{};
        pa_timeval_add(pa_gettimeofday(&when), RetryUsec);
        FApi->time_restart(FRetry, &when);
    }
}

void TPulseStream::StateCallback(pa_stream* server, void* user) {
    auto& self = *static_cast<TPulseStream*>(user);
    const pa_stream_state_t state = pa_stream_get_state(server);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        self.FAudio.Failed = true;
        self.FWake();
    }
    pa_threaded_mainloop_signal(self.FServer.Mainloop(), 0);
}

void TPulseStream::WriteCallback(pa_stream*, size_t, void* user) {
    static_cast<TPulseStream*>(user)->Feed();
}

void TPulseStream::RetryCallback(pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
    auto& self = *static_cast<TPulseStream*>(user);
    if (self.FStream && pa_stream_get_state(self.FStream) == PA_STREAM_READY)
        self.Feed();
}

// The server's read position is fresh: everything queued after the frame now being played
// is rendered again, with the gains of now.
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
    const int64_t from = playing + RewriteLeadFrames;
    if (from >= self.FWritten)
        return;
    const int64_t end = self.FWritten;
    int64_t at = end - static_cast<int64_t>(self.FAudio.Rewind(static_cast<size_t>(end - from)));
    while (at < end) {
        const size_t written = self.WriteAt(at, static_cast<size_t>(end - at));
        if (written == 0)
            return;
        at += static_cast<int64_t>(written);
    }
}

void TPulseStream::CorkCallback(pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
    auto& self = *static_cast<TPulseStream*>(user);
    self.DropCorkTimerLocked();
    if (pa_stream_get_state(self.FStream) == PA_STREAM_READY)
        Forget(pa_stream_cork(self.FStream, 1, nullptr, nullptr));
}

// The server ran out of frames to play: a dropout, unless the file has been played out.
void TPulseStream::UnderflowCallback(pa_stream*, void* user) {
    auto& audio = static_cast<TPulseStream*>(user)->FAudio;
    if (!audio.RenderedOut() && !audio.FadedOut() && audio.State != TAudioStream::psPaused)
        audio.Underruns.fetch_add(1, std::memory_order_relaxed);
}

void TPulseStream::DrainCallback(pa_stream*, int, void* user) {
    auto& self = *static_cast<TPulseStream*>(user);
    self.FAudio.Drained = true;
    self.FWake();
}

void TPulseStream::DropCorkTimerLocked() {
    if (!FCorkTimer)
        return;
    FApi->time_free(FCorkTimer);
    FCorkTimer = nullptr;
}

void TPulseStream::DropDrainLocked() {
    Drop(FDraining);
}

void TPulseStream::Pause() {
    TPulseLock lock(FServer.Mainloop());
    DropDrainLocked();
    RefreshLocked();
    DropCorkTimerLocked();
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), CorkDelayUsec);
    FCorkTimer = FApi->time_new(FApi, &when, CorkCallback, this);
}

void TPulseStream::Resume() {
    TPulseLock lock(FServer.Mainloop());
    const bool corked = !FCorkTimer;
    DropCorkTimerLocked();
    if (corked && pa_stream_get_state(FStream) == PA_STREAM_READY)
        Forget(pa_stream_cork(FStream, 0, nullptr, nullptr));
    RefreshLocked();
}

void TPulseStream::Refresh() {
    TPulseLock lock(FServer.Mainloop());
    RefreshLocked();
}

void TPulseStream::RefreshLocked() {
    if (FTiming && pa_operation_get_state(FTiming) != PA_OPERATION_RUNNING) {
        pa_operation_unref(FTiming);
        FTiming = nullptr;
    }
    // A pending rewrite renders with the newest gains already.
    if (!FTiming && pa_stream_get_state(FStream) == PA_STREAM_READY)
        FTiming = pa_stream_update_timing_info(FStream, TimingCallback, this);
}

void TPulseStream::Rename() {
    TPulseLock lock(FServer.Mainloop());
    if (pa_stream_get_state(FStream) != PA_STREAM_READY)
        return;
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, FAudio.Name().c_str());
    Forget(pa_stream_proplist_update(FStream, PA_UPDATE_REPLACE, properties, nullptr, nullptr));
    pa_proplist_free(properties);
}

void TPulseStream::Drain() {
    TPulseLock lock(FServer.Mainloop());
    if (pa_stream_get_state(FStream) == PA_STREAM_READY && !FDraining)
        FDraining = pa_stream_drain(FStream, DrainCallback, this);
    if (!FDraining)
        FAudio.Failed = true;
}

void TPulseStream::Close() {
    TPulseLock lock(FServer.Mainloop());
    Unhook(FStream);
    DropDrainLocked();
    Drop(FTiming);
    DropCorkTimerLocked();
    FApi->time_free(FRetry);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(FStream)))
        pa_stream_disconnect(FStream);
    pa_stream_unref(FStream);
    FStream = nullptr;
}
