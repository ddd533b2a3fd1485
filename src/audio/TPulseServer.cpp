#include "TPulseServer.h"

#include "RealTime.h"
#include "TPulseLock.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <utility>

namespace {

using namespace std::chrono_literals;

// A connection already pending that long is not waited for again in full.
constexpr auto PendingWait = 50ms;
// A failed connection is begun again after this long at the soonest.
constexpr auto RetryInterval = 100ms;
constexpr const char* NoAnswer = "the sound server (PulseAudio or PipeWire) does not answer";

void Forget(pa_operation* operation) {
    if (operation)
        pa_operation_unref(operation);
}

struct TSinkList {
    pa_threaded_mainloop* Mainloop;
    std::string Default;
    std::vector<std::pair<std::string, std::string>> Others;
    std::vector<uint32_t> Indexes;
};

} // namespace

TPulseServer::TPulseServer(std::function<void()> devicesChanged)
    : FDevicesChanged(std::move(devicesChanged)) {}

TPulseServer::~TPulseServer() {
    if (FMainloop)
        pa_threaded_mainloop_stop(FMainloop);
    if (FContext) {
        pa_context_disconnect(FContext);
        pa_context_unref(FContext);
    }
    if (FMainloop)
        pa_threaded_mainloop_free(FMainloop);
}

bool TPulseServer::WaitUntilLocked(const std::function<bool()>& done, TDeadline deadline) {
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
bool TPulseServer::Await(pa_operation* operation, TDeadline deadline) {
    if (!operation)
        return false;
    const bool done = WaitUntilLocked(
        [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
        deadline);
    if (!done)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return done;
}

// The mainloop thread is the one that feeds the server: it alone asks for real-time priority.
bool TPulseServer::StartMainloop() {
    FMainloop = pa_threaded_mainloop_new();
    if (!FMainloop || pa_threaded_mainloop_start(FMainloop) < 0) {
        FProblem = "the audio thread could not be started";
        return false;
    }
    TPulseLock lock(FMainloop);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(FMainloop);
    api->defer_new(
        api,
        [](pa_mainloop_api* loop, pa_defer_event* event, void*) {
            RaiseThreadToRealTime();
            loop->defer_free(event);
        },
        nullptr);
    return true;
}

bool TPulseServer::Connect(TDeadline deadline) {
    if (!FMainloop && !StartMainloop())
        return false;
    TPulseLock lock(FMainloop);
    return ConnectLocked(deadline);
}

void TPulseServer::DropContextLocked() {
    pa_context_disconnect(FContext);
    pa_context_unref(FContext);
    FContext = nullptr;
    FListed = false;
    FSubscribed = false;
    FRelisting = false;
}

// A connection that the server has not answered stays pending rather than being begun again.
bool TPulseServer::ConnectLocked(TDeadline deadline) {
    if (FContext && !PA_CONTEXT_IS_GOOD(pa_context_get_state(FContext)))
        DropContextLocked();
    const auto now = TClock::now();
    if (!FContext) {
        if (now - FConnectBegun < RetryInterval)
            return false;
        FConnectBegun = now;
        FContext = pa_context_new(pa_threaded_mainloop_get_api(FMainloop), "Trelmo");
        if (!FContext) {
            FProblem = "the sound server's client could not be set up";
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
    const bool settled = WaitUntilLocked(
        [this] {
            const pa_context_state_t state = pa_context_get_state(FContext);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        deadline);
    const bool ready = pa_context_get_state(FContext) == PA_CONTEXT_READY;
    if (!settled)
        FProblem = NoAnswer;
    else if (!ready)
        FProblem = std::string("the sound server (PulseAudio or PipeWire) could not be reached: ") +
                   pa_strerror(pa_context_errno(FContext));
    const bool listed = ready && (FListed || ListSinksLocked(deadline));
    if (listed && !FSubscribed)
        Subscribe();
    return listed;
}

bool TPulseServer::ListSinksLocked(TDeadline deadline) {
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
        FProblem = NoAnswer;
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
void TPulseServer::Merge(const std::vector<TSink>& listed) {
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
    if (AnyPresentLocked())
        FProblem.clear();
    else
        FProblem = "the sound server reports no output device";
}

// With the mainloop locked: the server tells of sinks that come, go or change.
void TPulseServer::Subscribe() {
    pa_context_set_subscribe_callback(
        FContext,
        [](pa_context* context, pa_subscription_event_type_t event, uint32_t index, void* user) {
            SubscribeCallback(context, static_cast<int>(event), index, user);
        },
        this);
    Forget(pa_context_subscribe(FContext, PA_SUBSCRIPTION_MASK_SINK, nullptr, nullptr));
    FSubscribed = true;
}

void TPulseServer::SubscribeCallback(pa_context*, int event, uint32_t, void* user) {
    if ((event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK)
        static_cast<TPulseServer*>(user)->Relist();
}

// Mainloop thread: lists the sinks without waiting; the answer arrives in RelistCallback.
void TPulseServer::Relist() {
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

void TPulseServer::RelistCallback(pa_context*, const void* data, int eol, void* user) {
    auto& self = *static_cast<TPulseServer*>(user);
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
    if (self.FDevicesChanged)
        self.FDevicesChanged();
}

bool TPulseServer::AnyPresentLocked() const {
    return std::any_of(FSinks.begin(), FSinks.end(),
                       [](const TSink& sink) { return sink.Present; });
}

bool TPulseServer::Present(uint32_t device) const {
    return device >= 1 && device <= FSinks.size() && FSinks[device - 1].Present;
}

std::vector<TOutputDevice> TPulseServer::Devices() {
    Connect(TClock::now() + ServerWait);
    std::vector<TOutputDevice> devices;
    if (!FMainloop)
        return devices;
    TPulseLock lock(FMainloop);
    for (size_t i = 0; i < FSinks.size(); ++i) {
        const TSink& sink = FSinks[i];
        devices.push_back({static_cast<uint32_t>(i + 1),
                           sink.Description.empty() ? sink.Name : sink.Description, sink.Present});
    }
    return devices;
}

bool TPulseServer::DeviceExists(uint32_t device) {
    Connect(TClock::now() + ServerWait);
    if (!FMainloop)
        return false;
    TPulseLock lock(FMainloop);
    return Present(device);
}

std::string TPulseServer::DeviceName(uint32_t device) {
    if (!DeviceExists(device))
        return {};
    TPulseLock lock(FMainloop);
    return FSinks[device - 1].Name;
}

std::string TPulseServer::SinkForLocked(uint32_t device) const {
    if (Present(device))
        return FSinks[device - 1].Name;
    for (const TSink& sink : FSinks)
        if (sink.Present)
            return sink.Name;
    return {};
}

std::string TPulseServer::OutputNameForLocked(uint32_t device) const {
    const std::string sink = SinkForLocked(device);
    for (const TSink& listed : FSinks)
        if (listed.Name == sink)
            return listed.Description.empty() ? listed.Name : listed.Description;
    return sink;
}

bool TPulseServer::InitDevice(uint32_t device) {
    if (!DeviceExists(device))
        return false;
    struct TQuery {
        pa_threaded_mainloop* Mainloop;
        bool Found = false;
    } query{FMainloop};
    TPulseLock lock(FMainloop);
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
    return query.Found;
}

// The server's sink events update it on the mainloop thread.
std::string TPulseServer::Problem() {
    if (!FMainloop)
        return FProblem;
    TPulseLock lock(FMainloop);
    return FProblem;
}
