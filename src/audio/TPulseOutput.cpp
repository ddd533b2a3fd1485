#include "TPulseOutput.h"

#include "TAudioDecoder.h"
#include "TAudioStream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace {

constexpr pa_sample_spec OutputSpec{PA_SAMPLE_FLOAT32LE, TAudioDecoder::OutputRate, 2};
// Server-side buffer per stream; a new stream starts as soon as this much is written.
constexpr pa_usec_t TargetLatencyUsec = 40 * 1000;
constexpr size_t FrameBytes = 2 * sizeof(float);

struct TSinkList {
    pa_threaded_mainloop* Mainloop;
    std::string Default;
    std::vector<std::string> Others;
    bool Done = false;
};

// Waits, with the mainloop locked, until the operation has completed.
void Await(pa_threaded_mainloop* mainloop, pa_operation* operation) {
    if (!operation)
        return;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(mainloop);
    pa_operation_unref(operation);
}

void Forget(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

// Per-stream state kept by this target, reached through TAudioStream::Target.
struct TServerStream {
    pa_stream* Stream = nullptr;
    TPulseOutput* Output = nullptr;
    pa_operation* Draining = nullptr;
    bool Corked = false;
    bool Flush = false;
};

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

void TPulseOutput::ContextStateCallback(pa_context*, void* user) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(user), 0);
}

// Connects, or after the server has gone, connects again and lists the sinks anew.
bool TPulseOutput::Connect() {
    if (!FMainloop) {
        FMainloop = pa_threaded_mainloop_new();
        if (!FMainloop || pa_threaded_mainloop_start(FMainloop) < 0) {
            FProblem = "the audio thread could not be started";
            return false;
        }
    }
    pa_threaded_mainloop_lock(FMainloop);
    bool ready = FContext && pa_context_get_state(FContext) == PA_CONTEXT_READY;
    if (!ready) {
        if (FContext) {
            pa_context_disconnect(FContext);
            pa_context_unref(FContext);
        }
        FSinks.clear();
        ready = OpenContext();
    }
    pa_threaded_mainloop_unlock(FMainloop);
    return ready;
}

// With the mainloop locked.
bool TPulseOutput::OpenContext() {
    FContext = pa_context_new(pa_threaded_mainloop_get_api(FMainloop), "Trelmo");
    if (!FContext) {
        FProblem = "the sound server's client could not be set up";
        return false;
    }
    pa_context_set_state_callback(FContext, ContextStateCallback, FMainloop);
    if (pa_context_connect(FContext, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        pa_context_state_t state;
        while ((state = pa_context_get_state(FContext)) != PA_CONTEXT_READY &&
               PA_CONTEXT_IS_GOOD(state))
            pa_threaded_mainloop_wait(FMainloop);
    }
    if (pa_context_get_state(FContext) != PA_CONTEXT_READY) {
        FProblem = std::string("the sound server (PulseAudio or PipeWire) could not be reached: ") +
                   pa_strerror(pa_context_errno(FContext));
        return false;
    }
    FProblem.clear();
    ListSinks();
    return true;
}

void TPulseOutput::ListSinks() {
    TSinkList list{FMainloop, {}, {}};
    Await(FMainloop, pa_context_get_server_info(
                         FContext,
                         [](pa_context*, const pa_server_info* info, void* user) {
                             auto* sinks = static_cast<TSinkList*>(user);
                             if (info && info->default_sink_name)
                                 sinks->Default = info->default_sink_name;
                             pa_threaded_mainloop_signal(sinks->Mainloop, 0);
                         },
                         &list));
    Await(FMainloop, pa_context_get_sink_info_list(
                         FContext,
                         [](pa_context*, const pa_sink_info* info, int, void* user) {
                             auto* sinks = static_cast<TSinkList*>(user);
                             if (info)
                                 sinks->Others.emplace_back(info->name);
                             pa_threaded_mainloop_signal(sinks->Mainloop, 0);
                         },
                         &list));
    auto defaultSink = std::find(list.Others.begin(), list.Others.end(), list.Default);
    if (defaultSink != list.Others.end())
        std::rotate(list.Others.begin(), defaultSink, defaultSink + 1);
    FSinks = std::move(list.Others);
    if (FSinks.empty())
        FProblem = "the sound server reports no output device";
}

bool TPulseOutput::DeviceExists(uint32_t device) {
    Connect();
    return device >= 1 && device <= FSinks.size();
}

std::string TPulseOutput::DeviceName(uint32_t device) {
    return DeviceExists(device) ? FSinks[device - 1] : std::string();
}

std::string TPulseOutput::SinkFor(uint32_t device) {
    return DeviceExists(device) ? FSinks[device - 1] : FSinks.empty() ? std::string() : FSinks[0];
}

bool TPulseOutput::InitDevice(uint32_t device) {
    if (!DeviceExists(device) || !pa_sample_spec_valid(&OutputSpec))
        return false;
    struct TQuery {
        pa_threaded_mainloop* Mainloop;
        bool Found = false;
    } query{FMainloop};
    pa_threaded_mainloop_lock(FMainloop);
    Await(FMainloop, pa_context_get_sink_info_by_name(
                         FContext, FSinks[device - 1].c_str(),
                         [](pa_context*, const pa_sink_info* info, int, void* user) {
                             auto* q = static_cast<TQuery*>(user);
                             if (info && info->state != PA_SINK_INVALID_STATE)
                                 q->Found = true;
                             pa_threaded_mainloop_signal(q->Mainloop, 0);
                         },
                         &query));
    pa_threaded_mainloop_unlock(FMainloop);
    return query.Found;
}

std::string TPulseOutput::Problem() {
    return FProblem;
}

void TPulseOutput::StreamStateCallback(pa_stream* server, void* user) {
    auto& stream = *static_cast<TAudioStream*>(user);
    auto* own = static_cast<TServerStream*>(stream.Target);
    const pa_stream_state_t state = pa_stream_get_state(server);
    if (state == PA_STREAM_READY && own->Corked) {
        Forget(pa_stream_cork(server, 1, nullptr, nullptr));
        if (own->Flush)
            Forget(pa_stream_flush(server, nullptr, nullptr));
    } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        stream.Failed = true;
        own->Output->Wake();
    }
}

void TPulseOutput::StreamWriteCallback(pa_stream* server, size_t bytes, void* user) {
    auto& stream = *static_cast<TAudioStream*>(user);
    void* data = nullptr;
    if (pa_stream_begin_write(server, &data, &bytes) < 0 || !data)
        return;
    const size_t frames = bytes / FrameBytes;
    bool end = false;
    const size_t got = stream.Render(frames, static_cast<float*>(data), end);
    const size_t count = end ? got : frames;
    if (count == 0) {
        pa_stream_cancel_write(server);
        return;
    }
    pa_stream_write(server, data, count * FrameBytes, nullptr, 0, PA_SEEK_RELATIVE);
}

void TPulseOutput::DrainCallback(pa_stream*, int, void* user) {
    auto& stream = *static_cast<TAudioStream*>(user);
    stream.Drained = true;
    static_cast<TServerStream*>(stream.Target)->Output->Wake();
}

void TPulseOutput::Start(TAudioStream& stream) {
    auto* own = new TServerStream{nullptr, this};
    stream.Target = own;
    if (!Connect() || FSinks.empty()) {
        stream.Failed = true;
        return;
    }
    const std::string sink = SinkFor(stream.Device());
    pa_threaded_mainloop_lock(FMainloop);
    pa_proplist* properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, stream.Name().c_str());
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    own->Stream =
        pa_stream_new_with_proplist(FContext, "Trelmo cue", &OutputSpec, nullptr, properties);
    pa_proplist_free(properties);
    if (own->Stream) {
        pa_stream_set_state_callback(own->Stream, StreamStateCallback, &stream);
        pa_stream_set_write_callback(own->Stream, StreamWriteCallback, &stream);
        pa_buffer_attr attributes;
        attributes.maxlength = static_cast<uint32_t>(-1);
        attributes.tlength =
            static_cast<uint32_t>(pa_usec_to_bytes(TargetLatencyUsec, &OutputSpec));
        attributes.prebuf = static_cast<uint32_t>(-1);
        attributes.minreq = static_cast<uint32_t>(-1);
        attributes.fragsize = static_cast<uint32_t>(-1);
        pa_cvolume volume;
        pa_cvolume_set(&volume, OutputSpec.channels, PA_VOLUME_NORM);
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_playback(own->Stream, sink.c_str(), &attributes, flags, &volume,
                                       nullptr) < 0)
            stream.Failed = true;
    } else {
        stream.Failed = true;
    }
    pa_threaded_mainloop_unlock(FMainloop);
}

void TPulseOutput::Cork(TAudioStream& stream, bool cork, bool flush) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own || !own->Stream)
        return;
    pa_threaded_mainloop_lock(FMainloop);
    own->Corked = cork;
    own->Flush = flush;
    if (pa_stream_get_state(own->Stream) == PA_STREAM_READY) {
        Forget(pa_stream_cork(own->Stream, cork ? 1 : 0, nullptr, nullptr));
        if (flush)
            Forget(pa_stream_flush(own->Stream, nullptr, nullptr));
    }
    pa_threaded_mainloop_unlock(FMainloop);
}

void TPulseOutput::Pause(TAudioStream& stream) {
    Cork(stream, true, false);
}

void TPulseOutput::Resume(TAudioStream& stream) {
    Cork(stream, false, false);
}

void TPulseOutput::Stop(TAudioStream& stream) {
    Cork(stream, true, true);
}

void TPulseOutput::Drain(TAudioStream& stream) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own || !own->Stream) {
        stream.Drained = true;
        return;
    }
    pa_threaded_mainloop_lock(FMainloop);
    if (pa_stream_get_state(own->Stream) == PA_STREAM_READY && !own->Draining)
        own->Draining = pa_stream_drain(own->Stream, DrainCallback, &stream);
    if (!own->Draining)
        stream.Failed = true;
    pa_threaded_mainloop_unlock(FMainloop);
}

void TPulseOutput::Close(TAudioStream& stream) {
    auto* own = static_cast<TServerStream*>(stream.Target);
    if (!own)
        return;
    if (own->Stream) {
        pa_threaded_mainloop_lock(FMainloop);
        pa_stream_set_state_callback(own->Stream, nullptr, nullptr);
        pa_stream_set_write_callback(own->Stream, nullptr, nullptr);
        if (own->Draining) {
            pa_operation_cancel(own->Draining);
            pa_operation_unref(own->Draining);
        }
        if (pa_stream_get_state(own->Stream) == PA_STREAM_READY ||
            pa_stream_get_state(own->Stream) == PA_STREAM_CREATING)
            pa_stream_disconnect(own->Stream);
        pa_stream_unref(own->Stream);
        stream.Target = nullptr;
        pa_threaded_mainloop_unlock(FMainloop);
    } else {
        stream.Target = nullptr;
    }
    delete own;
}
