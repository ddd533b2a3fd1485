#include "TFloorClient.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>

namespace {
constexpr pa_sample_spec SampleFormat{PA_SAMPLE_FLOAT32LE, 44100, 1};

void Signal(void* mainloop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}
} // namespace

TFloorClient::TFloorClient(const std::string& sink) : FSink(sink) {
    FMainloop = pa_threaded_mainloop_new();
    FContext = pa_context_new(pa_threaded_mainloop_get_api(FMainloop), "floor client");
    pa_context_set_state_callback(
        FContext, [](pa_context*, void* user) { Signal(user); }, FMainloop);
    pa_threaded_mainloop_lock(FMainloop);
    pa_threaded_mainloop_start(FMainloop);
    pa_context_connect(FContext, nullptr, PA_CONTEXT_NOFLAGS, nullptr);
    WaitFor([](TFloorClient& self) {
        const pa_context_state_t state = pa_context_get_state(self.FContext);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    pa_threaded_mainloop_unlock(FMainloop);
}

TFloorClient::~TFloorClient() {
    Disarm();
    pa_threaded_mainloop_stop(FMainloop);
    pa_context_disconnect(FContext);
    pa_context_unref(FContext);
    pa_threaded_mainloop_free(FMainloop);
}

// With the mainloop locked: waits for `done`, five seconds at most.
bool TFloorClient::WaitFor(bool (*done)(TFloorClient&)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done(*this)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        pa_threaded_mainloop_wait(FMainloop);
    }
    return true;
}

bool TFloorClient::Arm(const std::vector<float>& samples) {
    pa_threaded_mainloop_lock(FMainloop);
    FStream = pa_stream_new(FContext, "floor", &SampleFormat, nullptr);
    pa_stream_set_state_callback(
        FStream, [](pa_stream*, void* user) { Signal(user); }, FMainloop);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(200000, &SampleFormat));
    attributes.prebuf = 0;
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(-1);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    bool ready = pa_stream_connect_playback(FStream, FSink.c_str(), &attributes, flags, nullptr,
                                            nullptr) == 0 &&
                 WaitFor([](TFloorClient& self) {
                     const pa_stream_state_t state = pa_stream_get_state(self.FStream);
                     return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
                 }) &&
                 pa_stream_get_state(FStream) == PA_STREAM_READY;
    if (ready) {
        const size_t bytes = std::min(pa_stream_writable_size(FStream), samples.size() * 4);
        pa_stream_write(FStream, samples.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE);
        pa_operation* synced = pa_stream_update_timing_info(
            FStream, [](pa_stream*, int, void* user) { Signal(user); }, FMainloop);
        ready = WaitFor([](TFloorClient& self) {
            const pa_timing_info* timing = pa_stream_get_timing_info(self.FStream);
            return timing && timing->write_index > 0;
        });
        if (synced)
            pa_operation_unref(synced);
    }
    pa_threaded_mainloop_unlock(FMainloop);
    return ready;
}

void TFloorClient::Trigger() {
    pa_threaded_mainloop_lock(FMainloop);
    if (pa_operation* uncorked = pa_stream_cork(FStream, 0, nullptr, nullptr))
        pa_operation_unref(uncorked);
    pa_threaded_mainloop_unlock(FMainloop);
}

void TFloorClient::Disarm() {
    if (!FStream)
        return;
    pa_threaded_mainloop_lock(FMainloop);
    pa_stream_set_state_callback(FStream, nullptr, nullptr);
    pa_stream_disconnect(FStream);
    pa_stream_unref(FStream);
    FStream = nullptr;
    pa_threaded_mainloop_unlock(FMainloop);
}
