#include "TPulseOutput.h"

#include "TAudioStream.h"
#include "TPulseLock.h"
#include "TPulseStream.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace {

// An output's stream is closed once no cue has played on it for this long.
constexpr auto IdleClose = std::chrono::milliseconds(1000);
// Cues started together on several outputs begin this long after the commit: time for every
// output's timing question and rewrite, also on a busy machine.
constexpr auto SharedStart = std::chrono::milliseconds(6);

TPulseStream* Own(TAudioStream& stream) {
    return static_cast<TPulseStream*>(stream.Target);
}

} // namespace

TPulseOutput::TPulseOutput() : FServer([this] { DevicesChanged(); }) {}

// The streams go before the server stops its thread: their destructor takes them off it.
TPulseOutput::~TPulseOutput() {
    if (!FServer.Mainloop())
        return;
    TPulseLock lock(FServer.Mainloop());
    FStreams.clear();
}

bool TPulseOutput::DeviceExists(uint32_t device) {
    return FServer.DeviceExists(device);
}

std::string TPulseOutput::DeviceName(uint32_t device) {
    return FServer.DeviceName(device);
}

bool TPulseOutput::InitDevice(uint32_t device) {
    return FServer.InitDevice(device) && pa_sample_spec_valid(&TPulseStream::SampleFormat);
}

std::string TPulseOutput::Problem() {
    return FServer.Problem();
}

std::vector<TOutputDevice> TPulseOutput::Devices() {
    return FServer.Devices();
}

TPulseStream* TPulseOutput::OutputLocked(uint32_t device, TPulseServer::TDeadline deadline) {
    const std::string sink = FServer.SinkForLocked(device);
    for (auto& stream : FStreams)
        if (stream->Sink() == sink && stream->ReadyLocked())
            return stream.get();
    std::erase_if(FStreams, [](const auto& stream) {
        return stream->EmptyLocked() && !stream->ReadyLocked();
    });
    auto opened = TPulseStream::OpenLocked(
        FServer, sink, "Trelmo \u2013 " + FServer.OutputNameForLocked(device), [this] { Wake(); },
        deadline);
    TPulseStream* own = opened.get();
    if (own)
        FStreams.push_back(std::move(opened));
    CountLocked();
    return own;
}

void TPulseOutput::Start(TAudioStream& stream) {
    const auto deadline = TPulseServer::TClock::now() + TPulseServer::ServerWait;
    stream.Target = nullptr;
    if (!FServer.Connect(deadline)) {
        stream.Failed = true;
        return;
    }
    TPulseLock lock(FServer.Mainloop());
    if (!FServer.AnyPresentLocked()) {
        stream.Failed = true;
        return;
    }
    TPulseStream* own = OutputLocked(stream.Device(), deadline);
    // A sink that has gone since the sinks were listed: list them again; a device that is
    // missing now plays on device 1.
    if (!own && pa_context_errno(FServer.Context()) == PA_ERR_NOENTITY &&
        FServer.ListSinksLocked(deadline) && FServer.AnyPresentLocked())
        own = OutputLocked(stream.Device(), deadline);
    if (!own || !own->AddLocked(stream, FHolding, deadline)) {
        stream.Failed = true;
        return;
    }
    stream.Target = own;
}

// The leader's output stream takes the follower into its mix; nothing waits on the server.
bool TPulseOutput::StartAfter(TAudioStream& stream, TAudioStream& leader) {
    if (!FServer.Mainloop())
        return false;
    TPulseLock lock(FServer.Mainloop());
    TPulseStream* own = Own(leader);
    if (!own || !own->ReadyLocked() || own->Sink() != FServer.SinkForLocked(stream.Device()) ||
        !own->AddAfterLocked(stream, leader))
        return false;
    stream.Target = own;
    return true;
}

void TPulseOutput::StartNow(TAudioStream& stream) {
    if (TPulseStream* own = Own(stream)) {
        const auto deadline = TPulseServer::TClock::now() + TPulseServer::ServerWait;
        TPulseLock lock(FServer.Mainloop());
        own->StartNowLocked(stream, FHolding, deadline);
    }
}

bool TPulseOutput::CancelPending(TAudioStream& stream) {
    TPulseStream* own = Own(stream);
    if (!own)
        return false;
    TPulseLock lock(FServer.Mainloop());
    if (!own->CancelFollowLocked(stream))
        return false;
    stream.Target = nullptr;
    return true;
}

void TPulseOutput::BeginStarts() {
    FHolding = true;
}

// Every output's held cues start at its next rewrite, asked for here for all of them at once;
// on several outputs, at one time far enough ahead for every output's timing answer. Waits, for
// the server's wait at most, until each has its start frame.
void TPulseOutput::CommitStarts() {
    FHolding = false;
    if (!FServer.Mainloop())
        return;
    const auto deadline = TPulseServer::TClock::now() + TPulseServer::ServerWait;
    TPulseLock lock(FServer.Mainloop());
    const auto starting = std::count_if(FStreams.begin(), FStreams.end(),
                                        [](const auto& stream) { return stream->HeldLocked(); });
    const auto startAt =
        starting > 1 ? std::optional(TPulseServer::TClock::now() + SharedStart) : std::nullopt;
    for (auto& stream : FStreams)
        stream->CommitLocked(startAt);
    FServer.WaitUntilLocked(
        [this] {
            return std::none_of(FStreams.begin(), FStreams.end(),
                                [](const auto& stream) { return stream->WaitingLocked(); });
        },
        deadline);
}

void TPulseOutput::Pause(TAudioStream& stream) {
    if (TPulseStream* own = Own(stream)) {
        TPulseLock lock(FServer.Mainloop());
        own->DrainLocked(stream, false);
        own->RefreshLocked();
    }
}

void TPulseOutput::Resume(TAudioStream& stream) {
    Refresh(stream);
}

void TPulseOutput::Refresh(TAudioStream& stream) {
    if (TPulseStream* own = Own(stream)) {
        TPulseLock lock(FServer.Mainloop());
        own->RefreshLocked();
    }
}

void TPulseOutput::Drain(TAudioStream& stream) {
    TPulseStream* own = Own(stream);
    if (!own) {
        stream.Drained = true;
        return;
    }
    TPulseLock lock(FServer.Mainloop());
    if (own->ReadyLocked())
        own->DrainLocked(stream, true);
    else
        stream.Failed = true;
}

void TPulseOutput::Close(TAudioStream& stream) {
    TPulseStream* own = Own(stream);
    if (!own)
        return;
    TPulseLock lock(FServer.Mainloop());
    own->RemoveLocked(stream);
    stream.Target = nullptr;
    if (own->EmptyLocked() && !own->ReadyLocked())
        DropLocked(own);
}

void TPulseOutput::DropLocked(TPulseStream* stream) {
    std::erase_if(FStreams, [stream](const auto& own) { return own.get() == stream; });
    CountLocked();
}

void TPulseOutput::CountLocked() {
    FOpen.store(FStreams.size(), std::memory_order_release);
}

void TPulseOutput::Keep(uint32_t device) {
    if (!FServer.Mainloop())
        return;
    {
        TPulseLock lock(FServer.Mainloop());
        FKept = device;
    }
    FOpenKept.store(true, std::memory_order_release);
    Wake();
}

// Worker: waits on the server for its answer, as a start would.
void TPulseOutput::OpenKept() {
    const auto deadline = TPulseServer::TClock::now() + TPulseServer::ServerWait;
    if (!FServer.Connect(deadline))
        return;
    TPulseLock lock(FServer.Mainloop());
    if (FKept != 0 && FServer.AnyPresentLocked())
        OutputLocked(FKept, deadline);
}

bool TPulseOutput::KeptLocked(const TPulseStream& stream) const {
    return FKept != 0 && stream.ReadyLocked() && stream.Sink() == FServer.SinkForLocked(FKept);
}

// Opens the kept output and closes the streams of outputs no cue has played on for a while;
// true while one of those is open.
bool TPulseOutput::Tidy() {
    if (FOpenKept.exchange(false, std::memory_order_acquire))
        OpenKept();
    if (FOpen.load(std::memory_order_acquire) == 0)
        return false;
    TPulseLock lock(FServer.Mainloop());
    const auto now = TPulseServer::TClock::now();
    std::erase_if(FStreams, [this, now](const auto& stream) {
        return stream->EmptyLocked() && !KeptLocked(*stream) &&
               (!stream->ReadyLocked() || now - stream->EmptySince() >= IdleClose);
    });
    CountLocked();
    return std::any_of(FStreams.begin(), FStreams.end(),
                       [this](const auto& stream) { return !KeptLocked(*stream); });
}
