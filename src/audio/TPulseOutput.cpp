#include "TPulseOutput.h"

#include "RealTime.h"
#include "TAudioDecoder.h"
#include "TAudioStream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr pa_sample_spec OutputSpec{PA_SAMPLE_FLOAT32LE, TAudioDecoder::OutputRate, 2};
constexpr size_t FrameBytes = 2 * sizeof(float);
constexpr int64_t FramesPerSecond = TAudioDecoder::OutputRate;
// Server-side buffer per stream: deep enough for a busy desktop that refills it late. Starts do
// not wait for it (the server mixes a new stream in at once), and gain changes rewrite what is
// queued, so it costs no responsiveness.
constexpr pa_usec_t BufferUsec = 200 * 1000;
// The longest any one engine call waits on the server.
constexpr auto ServerWait = 500ms;
// A connection already pending that long is not waited for again in full.
constexpr auto PendingWait = 50ms;
// A failed connection is begun again after this long at the soonest.
constexpr auto RetryInterval = 100ms;
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

// Per-stream state kept by this target, reached through TAudioStream::Target and as the user
// data of the stream's callbacks.
struct TServerStream {
    pa_stream* Stream = nullptr;
    TPulseOutput* Output = nullptr;
    TAudioStream* Audio = nullptr;
    pa_operation* Draining = nullptr;
    pa_operation* Timing = nullptr;
    // Corks a paused stream after its ramp; mainloop lock held.
    pa_time_event* CorkTimer = nullptr;
    // Looks again for decoded frames the server still wants; made and freed with the mainloop
    // locked, restarted by the callbacks.
    pa_mainloop_api* Api = nullptr;
    pa_time_event* Retry = nullptr;
    // Mainloop thread only: the stream index, in frames, after the last frame written. Only
    // decoded frames are written, so the frames before it are the ring's frames just read.
    int64_t Written = 0;
};

// With the mainloop locked.
void DropCorkTimer(pa_threaded_mainloop* mainloop, TServerStream& own) {
    if (!own.CorkTimer)
        return;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(mainloop);
    api->time_free(own.CorkTimer);
    own.CorkTimer = nullptr;
}

struct TSinkList {
    pa_threaded_mainloop* Mainloop;
    std::string Default;
    std::vector<std::pair<std::string, std::string>> Others;
    std::vector<uint32_t> Indexes;
};

// Renders up to `frames` decoded frames of the stream and writes them at stream index `at`;
// returns the frames written. Frames not decoded yet are left to the server's next request:
// the server still holds most of its buffer then, while silence written in their place would
// be heard.
size_t WriteAt(pa_stream* server, TServerStream& own, int64_t at, size_t frames) {
    frames = std::min(frames, own.Audio->Available());
    void* data = nullptr;
    size_t bytes = frames * FrameBytes;
    if (frames == 0 || pa_stream_begin_write(server, &data, &bytes) < 0 || !data)
        return 0;
    bool end = false;
    const size_t got =
        own.Audio->Render(std::min(frames, bytes / FrameBytes), static_cast<float*>(data), end);
    // Frames queued after an end are overwritten with the silence Render put there.
    const bool rewrite = at + static_cast<int64_t>(frames) <= own.Written;
    const size_t count = end && rewrite ? std::min(frames, bytes / FrameBytes) : got;
    if (count == 0) {
        pa_stream_cancel_write(server);
        return 0;
    }
    pa_stream_write(server, data, count * FrameBytes, nullptr, at * int64_t{FrameBytes},
                    PA_SEEK_ABSOLUTE);
    own.Written = std::max(own.Written, at + static_cast<int64_t>(count));
    return count;
}

// Writes what the server wants as far as it is decoded; while frames are still wanted, looks
// again shortly, so that a late decoder delays the frames instead of leaving the stream waiting
// for a request that does not come.
void Feed(pa_stream* server, TServerStream& own) {
    const size_t writable = pa_stream_writable_size(server);
    size_t frames = writable == static_cast<size_t>(-1) ? 0 : writable / FrameBytes;
    while (frames > 0) {
        const size_t written = WriteAt(server, own, own.Written, frames);
        if (written == 0)
            break;
        frames -= std::min(frames, written);
    }
    if (frames > 0 && !own.Audio->RenderedOut() && !own.Audio->FadedOut()) {
        timeval when{};
        pa_timeval_add(pa_gettimeofday(&when), RetryUsec);
        own.Api->time_restart(own.Retry, &when);
    }
}

} // namespace

TPulseOutput::TPulseOutput() = default;

TPulseOutput::~TPulseOutput() {
    if (FMainloop)
        pa_threaded_mainloop_stop(FMainloop);
    if (FContext) {
        pa_context_disconnect(FContext);
        pa_context_unref(FContext);
    }
    if (FMainloop)
        pa_threaded_mainloop_free(FMainloop);
}

// With the mainloop locked: waits until `done()` holds or the deadline passes.
template <class TDone> bool TPulseOutput::WaitUntil(TDone done, TDeadline deadline) {
    if (done())
        return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - TClock::now());
    if (left <= 0us)
        return false;
    struct TTimer {
        pa_threaded_mainloop* Mainloop;
        bool Expired = false;
    } timer{FMainloop};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(FMainloop);
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), static_cast<pa_usec_t>(left.count()));
    pa_time_event* event = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
            auto* t = static_cast<TTimer*>(user);
            t->Expired = true;
            pa_threaded_mainloop_signal(t->Mainloop, 0);
        },
        &timer);
    bool held = false;
    while (!(held = done()) && !timer.Expired)
        pa_threaded_mainloop_wait(FMainloop);
    api->time_free(event);
    return held;
}

// With the mainloop locked: waits for the operation until the deadline, then gives it up.
bool TPulseOutput::Await(pa_operation* operation, TDeadline deadline) {
    if (!operation)
        return false;
    const bool done =
        WaitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
                  deadline);
    if (!done)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return done;
}

// Connects, or after the server has gone, connects again and lists the sinks anew. A
// connection that the server has not answered stays pending rather than being begun again.
bool TPulseOutput::Connect(TDeadline deadline) {
    if (!FMainloop) {
        FMainloop = pa_threaded_mainloop_new();
        if (!FMainloop || pa_threaded_mainloop_start(FMainloop) < 0) {
            FProblem = "the audio thread could not be started";
            return false;
        }
        // Once, on the mainloop's own thread.
        pa_threaded_mainloop_lock(FMainloop);
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(FMainloop);
        api->defer_new(
            api,
            [](pa_mainloop_api* loop, pa_defer_event* event, void*) {
                RaiseThreadToRealTime();
                loop->defer_free(event);
            },
            nullptr);
        pa_threaded_mainloop_unlock(FMainloop);
    }
    pa_threaded_mainloop_lock(FMainloop);
    if (FContext && !PA_CONTEXT_IS_GOOD(pa_context_get_state(FContext))) {
        pa_context_disconnect(FContext);
        pa_context_unref(FContext);
        FContext = nullptr;
        FListed = false;
        FSubscribed = false;
        FRelisting = false;
    }
    const auto now = TClock::now();
    if (!FContext) {
        if (now - FConnectBegun < RetryInterval) {
            pa_threaded_mainloop_unlock(FMainloop);
            return false;
        }
        FConnectBegun = now;
        FContext = pa_context_new(pa_threaded_mainloop_get_api(FMainloop), "Trelmo");
        if (!FContext) {
            FProblem = "the sound server's client could not be set up";
            pa_threaded_mainloop_unlock(FMainloop);
            return false;
        }
        pa_context_set_state_callback(
            FContext,
            [](pa_context*, void* loop) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
            },
            FMainloop);
        pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    } else if (now - FConnectBegun > ServerWait) {
        deadline = std::min(deadline, now + PendingWait);
    }
    const bool settled = WaitUntil(
        [this] {
            const pa_context_state_t state = pa_context_get_state(FContext);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        deadline);
    const bool ready = pa_context_get_state(FContext) == PA_CONTEXT_READY;
    if (!settled)
        FProblem = "the sound server (PulseAudio or PipeWire) does not answer";
    else if (!ready)
        FProblem = std::string("the sound server (PulseAudio or PipeWire) could not be reached: ") +
                   pa_strerror(pa_context_errno(FContext));
    const bool listed = ready && (FListed || ListSinks(deadline));
    if (listed && !FSubscribed)
        Subscribe();
    pa_threaded_mainloop_unlock(FMainloop);
    return listed;
}

// With the mainloop locked.
bool TPulseOutput::ListSinks(TDeadline deadline) {
    TSinkList list{FMainloop, {}, {}, {}};
    const bool answered =
        Await(pa_context_get_server_info(
                  FContext,
                  [](pa_context*, const pa_server_info* info, void* user) {
                      auto* sinks = static_cast<TSinkList*>(user);
                      if (info && info->default_sink_name)
                          sinks->Default = info->default_sink_name;
                      pa_threaded_mainloop_signal(sinks->Mainloop, 0);
                  },
                  &list),
              deadline) &&
        Await(pa_context_get_sink_info_list(
                  FContext,
                  [](pa_context*, const pa_sink_info* info, int, void* user) {
                      auto* sinks = static_cast<TSinkList*>(user);
                      if (info) {
                          sinks->Others.emplace_back(info->name,
                                                     info->description ? info->description : "");
                          sinks->Indexes.push_back(info->index);
                      }
                      pa_threaded_mainloop_signal(sinks->Mainloop, 0);
                  },
                  &list),
              deadline);
    if (!answered) {
        FProblem = "the sound server (PulseAudio or PipeWire) does not answer";
        return false;
    }
    std::vector<TSink> listed;
    for (size_t i = 0; i < list.Others.size(); ++i)
        listed.push_back({list.Others[i].first, list.Others[i].second, list.Indexes[i], true});
    auto defaultSink = std::find_if(listed.begin(), listed.end(),
                                    [&](const TSink& sink) { return sink.Name == list.Default; });
    if (defaultSink != listed.end())
        std::rotate(listed.begin(), defaultSink, defaultSink + 1);
    Merge(listed);
    return true;
}

// With the mainloop locked: sinks already numbered keep their numbers, new ones are appended.
void TPulseOutput::Merge(const std::vector<TSink>& listed) {
    for (TSink& sink : FSinks)
        sink.Present = false;
    for (const TSink& found : listed) {
        auto known = std::find_if(FSinks.begin(), FSinks.end(),
                                  [&](const TSink& sink) { return sink.Name == found.Name; });
        if (known == FSinks.end())
            FSinks.push_back(found);
        else
            *known = found;
    }
    FListed = true;
    if (AnyPresent())
        FProblem.clear();
    else
        FProblem = "the sound server reports no output device";
}

// With the mainloop locked: the server tells of sinks that come, go or change.
void TPulseOutput::Subscribe() {
    pa_context_set_subscribe_callback(
        FContext,
        [](pa_context* context, pa_subscription_event_type_t event, uint32_t index, void* user) {
            SubscribeCallback(context, static_cast<int>(event), index, user);
        },
        this);
    Forget(pa_context_subscribe(FContext, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr));
    FSubscribed = true;
}

void TPulseOutput::SubscribeCallback(pa_context*, int event, uint32_t, void* user) {
    if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK)
        static_cast<TPulseOutput*>(user)->Relist();
}

// Mainloop thread: lists the sinks without waiting; the answer arrives in RelistCallback.
void TPulseOutput::Relist() {
    if (FRelisting) {
        FRelistAgain = true;
        return;
    }
    FFound.clear();
    pa_operation* operation = pa_context_get_sink_info_list(
        FContext,
        [](pa_context* context, const pa_sink_info* info, int eol, void* user) {
            RelistCallback(context, info, eol, user);
        },
        this);
    FRelisting = operation != nullptr;
    Forget(operation);
}

void TPulseOutput::RelistCallback(pa_context*, const void* data, int eol, void* user) {
    auto& self = *static_cast<TPulseOutput*>(user);
    const auto* info = static_cast<const pa_sink_info*>(data);
    if (eol == 0 && info) {
        self.FFound.push_back(
            {info->name, info->description ? info->description : "", info->index, true});
        return;
    }
    self.FRelisting = false;
    if (eol < 0)
        return;
    self.Merge(self.FFound);
    if (std::exchange(self.FRelistAgain, false))
        self.Relist();
    self.DevicesChanged();
}

bool TPulseOutput::AnyPresent() const {
    return std::any_of(FSinks.begin(), FSinks.end(),
                       [](const TSink& sink) { return sink.Present; });
}

bool TPulseOutput::Present(uint32_t device) const {
    return device >= 1 && device <= FSinks.size() && FSinks[device - 1].Present;
}

std::vector<TOutputDevice> TPulseOutput::Devices() {
    Connect(TClock::now() + ServerWait);
    std::vector<TOutputDevice> devices;
    if (!FMainloop)
        return devices;
    pa_threaded_mainloop_lock(FMainloop);
    for (size_t i = 0; i < FSinks.size(); ++i) {
        const TSink& sink = FSinks[i];
        devices.push_back({static_cast<uint32_t>(i + 1),
                           sink.Description.empty() ? sink.Name : sink.Description, sink.Present});
    }
    pa_threaded_mainloop_unlock(FMainloop);
    return devices;
}

bool TPulseOutput::DeviceExists(uint32_t device) {
    Connect(TClock::now() + ServerWait);
    if (!FMainloop)
        return false;
    pa_threaded_mainloop_lock(FMainloop);
    const bool present = Present(device);
    pa_threaded_mainloop_unlock(FMainloop);
    return present;
}

std::string TPulseOutput::DeviceName(uint32_t device) {
    if (!DeviceExists(device))
        return {};
    pa_threaded_mainloop_lock(FMainloop);
    std::string name = FSinks[device - 1].Name;
    pa_threaded_mainloop_unlock(FMainloop);
    return name;
}

// A device that is not there plays on the first one that is: device 1 while it is present.
std::string TPulseOutput::SinkFor(uint32_t device) const {
    if (Present(device))
        return FSinks[device - 1].Name;
    for (const TSink& sink : FSinks)
        if (sink.Present)
            return sink.Name;
    return {};
}

bool TPulseOutput::InitDevice(uint32_t device) {
    if (!DeviceExists(device) || !pa_sample_spec_valid(&OutputSpec))
        return false;
    struct TQuery {
        pa_threaded_mainloop* Mainloop;
        bool Found = false;
    } query{FMainloop};
    pa_threaded_mainloop_lock(FMainloop);
    const std::string name = FSinks[device - 1].Name;
    Await(pa_context_get_sink_info_by_name(
              FContext, name.c_str(),
              [](pa_context*, const pa_sink_info* info, int, void* user) {
                  auto* q = static_cast<TQuery*>(user);
                  if (info && info->state != PA_SINK_INVALID_STATE)
                      q->Found = true;
                  pa_threaded_mainloop_signal(q->Mainloop, 0);
              },
              &query),
          TClock::now() + ServerWait);
    pa_threaded_mainloop_unlock(FMainloop);
    return query.Found;
}

std::string TPulseOutput::Problem() {
    if (!FMainloop)
        return FProblem;
    // The server's sink events update it on the mainloop thread.
    pa_threaded_mainloop_lock(FMainloop);
    std::string problem = FProblem;
    pa_threaded_mainloop_unlock(FMainloop);
    return problem;
}

void TPulseOutput::StreamStateCallback(pa_stream* server, void* user) {
    auto& own = *static_cast<TServerStream*>(user);
    const pa_stream_state_t state = pa_stream_get_state(server);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        own.Audio->Failed = true;
        own.Output->Wake();
    }
    pa_threaded_mainloop_signal(own.Output->FMainloop, 0);
}

void TPulseOutput::StreamWriteCallback(pa_stream* server, size_t, void* user) {
    Feed(server, *static_cast<TServerStream*>(user));
}

void TPulseOutput::RetryCallback(pa_mainloop_api*, pa_time_event*, const timeval*, void* user) {
    auto& own = *static_cast<TServerStream*>(user);
    if (own.Stream && pa_stream_get_state(own.Stream) == PA_STREAM_READY)
        Feed(own.Stream, own);
}

// The server's read position is fresh: everything queued after the frame now being played
// is rendered again, with the gains of now.
void TPulseOutput::TimingCallback(pa_stream* server, int success, void* user) {
    auto& own = *static_cast<TServerStream*>(user);
    const pa_timing_info* timing = success ? pa_stream_get_timing_info(server) : nullptr;
    if (!timing || timing->read_index_corrupt)
        return;
    const auto frames = [](pa_usec_t usec) {
        return static_cast<int64_t>(usec) * FramesPerSecond / 1000000;
    };
    const int64_t playing = timing->read_index / int64_t{FrameBytes} - frames(timing->sink_usec) +
                            (timing->playing ? frames(pa_timeval_age(&timing->timestamp)) : 0);
    const int64_t from = playing + RewriteLeadFrames;
    if (from >= own.Written)
        return;
    const int64_t end = own.Written;
    int64_t at = end - static_cast<int64_t>(own.Audio->Rewind(static_cast<size_t>(end - from)));
    while (at < end) {
        const size_t written = WriteAt(server, own, at, static_cast<size_t>(end - at));
        if (written == 0)
            return;
        at += static_cast<int64_t>(written);
    }
}

// The server ran out of frames to play: a dropout, unless the file has been played out.
void TPulseOutput::UnderflowCallback(pa_stream*, void* user) {
    auto& own = *static_cast<TServerStream*>(user);
    if (!own.Audio->RenderedOut() && !own.Audio->FadedOut() &&
        own.Audio->State != TAudioStream::psPaused)
        own.Audio->Underruns.fetch_add(1, std::memory_order_relaxed);
}

void TPulseOutput::DrainCallback(pa_stream*, int, void* user) {
    auto& own = *static_cast<TServerStream*>(user);
    own.Audio->Drained = true;
    own.Output->Wake();
}

// With the mainloop locked: a playback stream on `sink` that the server has made ready, or
// nullptr.
pa_stream* TPulseOutput::OpenStream(void* own, const std::string& name, const std::string& sink,
                                    TDeadline deadline) {
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, name.c_str());
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    pa_stream* server =
        pa_stream_new_with_proplist(FContext, name.c_str(), &OutputSpec, nullptr, properties);
    pa_proplist_free(properties);
    if (!server)
        return nullptr;
    pa_stream_set_state_callback(server, StreamStateCallback, own);
    pa_stream_set_write_callback(server, StreamWriteCallback, own);
    pa_stream_set_underflow_callback(server, UnderflowCallback, own);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(BufferUsec, &OutputSpec));
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(pa_usec_to_bytes(BufferUsec / 4, &OutputSpec));
    attributes.fragsize = static_cast<uint32_t>(-1);
    pa_cvolume volume;
    pa_cvolume_set(&volume, OutputSpec.channels, PA_VOLUME_NORM);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
    const bool ready = pa_stream_connect_playback(server, sink.c_str(), &attributes, flags, &volume,
                                                  nullptr) >= 0 &&
                       WaitUntil(
                           [server] {
                               const pa_stream_state_t state = pa_stream_get_state(server);
                               return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                           },
                           deadline) &&
                       pa_stream_get_state(server) == PA_STREAM_READY;
    if (ready)
        return server;
    pa_stream_set_state_callback(server, nullptr, nullptr);
    pa_stream_set_write_callback(server, nullptr, nullptr);
    pa_stream_set_underflow_callback(server, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(server)))
        pa_stream_disconnect(server);
    pa_stream_unref(server);
    return nullptr;
}

void TPulseOutput::Start(TAudioStream& stream) {
    const TDeadline deadline = TClock::now() + ServerWait;
    stream.Target = nullptr;
    if (!Connect(deadline)) {
        stream.Failed = true;
        return;
    }
    pa_threaded_mainloop_lock(FMainloop);
    if (!AnyPresent()) {
        stream.Failed = true;
        pa_threaded_mainloop_unlock(FMainloop);
        return;
    }
    auto own = std::make_unique<TServerStream>();
    own->Output = this;
    own->Audio = &stream;
    own->Api = pa_threaded_mainloop_get_api(FMainloop);
    timeval now{};
    own->Retry = own->Api->time_new(own->Api, pa_gettimeofday(&now), RetryCallback, own.get());
    own->Stream = OpenStream(own.get(), stream.Name(), SinkFor(stream.Device()), deadline);
    // A sink that has gone since the sinks were listed: list them again; a device that is
    // missing now plays on device 1.
    if (!own->Stream && pa_context_errno(FContext) == PA_ERR_NOENTITY && ListSinks(deadline) &&
        AnyPresent())
        own->Stream = OpenStream(own.get(), stream.Name(), SinkFor(stream.Device()), deadline);
    // Set by the state callback of a failed attempt too.
    stream.Failed = !own->Stream;
    if (own->Stream)
        stream.Target = own.release();
    else
        own->Api->time_free(own->Retry);
    pa_threaded_mainloop_unlock(FMainloop);
}

void TPulseOutput::Cork(TAudioStream& stream, bool cork) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own)
        return;
    pa_threaded_mainloop_lock(FMainloop);
    if (pa_stream_get_state(own->Stream) == PA_STREAM_READY)
        Forget(pa_stream_cork(own->Stream, cork ? 1 : 0, nullptr, nullptr));
    pa_threaded_mainloop_unlock(FMainloop);
}

// The ramp to silence is rendered over what is queued at once; the stream is corked once it
// has been heard.
void TPulseOutput::Pause(TAudioStream& stream) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own)
        return;
    Refresh(stream);
    pa_threaded_mainloop_lock(FMainloop);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(FMainloop);
    if (own->CorkTimer)
        api->time_free(own->CorkTimer);
    timeval when{};
    pa_timeval_add(pa_gettimeofday(&when), CorkDelayUsec);
    own->CorkTimer = api->time_new(
        api, &when,
        [](pa_mainloop_api* loop, pa_time_event* event, const timeval*, void* user) {
            auto* target = static_cast<TServerStream*>(user);
            loop->time_free(event);
            target->CorkTimer = nullptr;
            if (pa_stream_get_state(target->Stream) == PA_STREAM_READY)
                Forget(pa_stream_cork(target->Stream, 1, nullptr, nullptr));
        },
        own);
    pa_threaded_mainloop_unlock(FMainloop);
}

void TPulseOutput::Resume(TAudioStream& stream) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own)
        return;
    pa_threaded_mainloop_lock(FMainloop);
    const bool corked = !own->CorkTimer;
    DropCorkTimer(FMainloop, *own);
    pa_threaded_mainloop_unlock(FMainloop);
    if (corked)
        Cork(stream, false);
    Refresh(stream);
}

void TPulseOutput::Refresh(TAudioStream& stream) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own)
        return;
    pa_threaded_mainloop_lock(FMainloop);
    if (own->Timing && pa_operation_get_state(own->Timing) != PA_OPERATION_RUNNING) {
        pa_operation_unref(own->Timing);
        own->Timing = nullptr;
    }
    // A pending rewrite renders with the newest gains already.
    if (!own->Timing && pa_stream_get_state(own->Stream) == PA_STREAM_READY)
        own->Timing = pa_stream_update_timing_info(own->Stream, TimingCallback, own);
    pa_threaded_mainloop_unlock(FMainloop);
}

void TPulseOutput::Rename(TAudioStream& stream) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own)
        return;
    pa_threaded_mainloop_lock(FMainloop);
    if (pa_stream_get_state(own->Stream) == PA_STREAM_READY) {
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, stream.Name().c_str());
        Forget(pa_stream_proplist_update(own->Stream, PA_UPDATE_REPLACE, properties, nullptr,
                                         nullptr));
        pa_proplist_free(properties);
    }
    pa_threaded_mainloop_unlock(FMainloop);
}

void TPulseOutput::Drain(TAudioStream& stream) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own) {
        stream.Drained = true;
        return;
    }
    pa_threaded_mainloop_lock(FMainloop);
    if (pa_stream_get_state(own->Stream) == PA_STREAM_READY && !own->Draining)
        own->Draining = pa_stream_drain(own->Stream, DrainCallback, own);
    if (!own->Draining)
        stream.Failed = true;
    pa_threaded_mainloop_unlock(FMainloop);
}

void TPulseOutput::Close(TAudioStream& stream) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own)
        return;
    pa_threaded_mainloop_lock(FMainloop);
    pa_stream_set_state_callback(own->Stream, nullptr, nullptr);
    pa_stream_set_write_callback(own->Stream, nullptr, nullptr);
    pa_stream_set_underflow_callback(own->Stream, nullptr, nullptr);
    Drop(own->Draining);
    Drop(own->Timing);
    DropCorkTimer(FMainloop, *own);
    own->Api->time_free(own->Retry);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(own->Stream)))
        pa_stream_disconnect(own->Stream);
    pa_stream_unref(own->Stream);
    stream.Target = nullptr;
    pa_threaded_mainloop_unlock(FMainloop);
    delete own;
}
