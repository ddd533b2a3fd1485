#include "TPulseOutput.h"

#include "TAudioStream.h"
#include "TPulseLock.h"
#include "TPulseStream.h"

#include <pulse/pulseaudio.h>

namespace {

TPulseStream* Own(TAudioStream& stream) {
    return static_cast<TPulseStream*>(stream.Target);
}

} // namespace

TPulseOutput::TPulseOutput() : FServer([this] { DevicesChanged(); }) {}

bool TPulseOutput::DeviceExists(uint32_t device) {
    return FServer.DeviceExists(device);
}

std::string TPulseOutput::DeviceName(uint32_t device) {
    return FServer.DeviceName(device);
}

bool TPulseOutput::InitDevice(uint32_t device) {
    return FServer.InitDevice(device) && pa_sample_spec_valid(&TPulseStream::Spec);
}

std::string TPulseOutput::Problem() {
    return FServer.Problem();
}

std::vector<TOutputDevice> TPulseOutput::Devices() {
    return FServer.Devices();
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
    const auto open = [&] {
        return TPulseStream::OpenLocked(
            FServer, stream, FServer.SinkForLocked(stream.Device()), [this] { Wake(); }, deadline);
    };
    auto own = open();
    // A sink that has gone since the sinks were listed: list them again; a device that is
    // missing now plays on device 1.
    if (!own && pa_context_errno(FServer.Context()) == PA_ERR_NOENTITY &&
        FServer.ListSinksLocked(deadline) && FServer.AnyPresentLocked())
        own = open();
    // Set by the state callback of a failed attempt too.
    stream.Failed = !own;
    stream.Target = own.release();
}

void TPulseOutput::Pause(TAudioStream& stream) {
    if (TPulseStream* own = Own(stream))
        own->Pause();
}

void TPulseOutput::Resume(TAudioStream& stream) {
    if (TPulseStream* own = Own(stream))
        own->Resume();
}

void TPulseOutput::Refresh(TAudioStream& stream) {
    if (TPulseStream* own = Own(stream))
        own->Refresh();
}

void TPulseOutput::Rename(TAudioStream& stream) {
    if (TPulseStream* own = Own(stream))
        own->Rename();
}

void TPulseOutput::Drain(TAudioStream& stream) {
    if (TPulseStream* own = Own(stream))
        own->Drain();
    else
        stream.Drained = true;
}

void TPulseOutput::Close(TAudioStream& stream) {
    TPulseStream* own = Own(stream);
    if (!own)
        return;
    own->Close();
    stream.Target = nullptr;
    delete own;
}
