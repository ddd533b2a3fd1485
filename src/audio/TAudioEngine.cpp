#include "TAudioEngine.h"

#include "TAudioStream.h"

extern "C" {
#include <libavutil/log.h>
}

#include <chrono>
#include <vector>

namespace {
// How often the worker tops up the rings while something plays; well inside a ring's length.
constexpr auto ServicePeriod = std::chrono::milliseconds(20);
// Decoded before a stream starts, so that its first request is answered at once.
constexpr size_t FirstBlockFrames = 8192;
} // namespace

TAudioEngine::TAudioEngine(std::unique_ptr<TAudioOutput> output, bool worker)
    : FOutput(std::move(output)) {
    av_log_set_level(AV_LOG_QUIET);
    FOutput->SetWake([this] { Wake(); });
    if (worker)
        FWorker = std::thread([this] { Run(); });
}

TAudioEngine::~TAudioEngine() {
    {
        std::lock_guard lock(FWakeLock);
        FQuit = true;
    }
    FWakeSignal.notify_one();
    if (FWorker.joinable())
        FWorker.join();
    std::lock_guard lock(FLock);
    for (auto& [handle, stream] : FStreams)
        FOutput->Close(*stream);
    FStreams.clear();
}

bool TAudioEngine::AudioGetDeviceInfo(uint32_t device, TAudioDeviceInfo* info) {
    if (!FOutput->DeviceExists(device))
        return false;
    if (info)
        *info = {FOutput->DeviceName(device), "PulseAudio", 0};
    return true;
}

bool TAudioEngine::AudioInit(uint32_t device, uint32_t frequency, uint32_t, void*, const void*) {
    return frequency == 44100 && FOutput->InitDevice(device);
}

std::string TAudioEngine::NoDeviceReason() {
    return FOutput->DeviceExists(1) ? std::string() : FOutput->Problem();
}

bool TAudioEngine::AudioSetDevice(uint32_t device) {
    const bool exists = FOutput->DeviceExists(device);
    FDevice = exists ? device : 1;
    return exists;
}

HSTREAM TAudioEngine::AudioStreamCreateFile(bool mem, const std::string& file, uint64_t, uint64_t,
                                            uint32_t flags) {
    if (mem)
        return 0;
    auto stream =
        std::make_shared<TAudioStream>(FNextHandle, FDevice, (flags & AUDIO_SAMPLE_LOOP) != 0);
    if (!stream->Open(file))
        return 0;
    std::lock_guard lock(FLock);
    FStreams.emplace(FNextHandle, std::move(stream));
    return FNextHandle++;
}

HSTREAM TAudioEngine::AudioFlacStreamCreateFile(bool mem, const std::string& file, uint64_t offset,
                                                uint64_t length, uint32_t flags) {
    return AudioStreamCreateFile(mem, file, offset, length, flags);
}

HSTREAM TAudioEngine::AudioWmaStreamCreateFile(bool mem, const std::string& file, uint64_t offset,
                                               uint64_t length, uint32_t flags) {
    return AudioStreamCreateFile(mem, file, offset, length, flags);
}

bool TAudioEngine::AudioStreamFree(HSTREAM handle) {
    std::shared_ptr<TAudioStream> stream;
    {
        std::lock_guard lock(FLock);
        auto found = FStreams.find(handle);
        if (found == FStreams.end())
            return false;
        stream = std::move(found->second);
        FStreams.erase(found);
        stream->Freed = true;
        FFreedUnderruns += stream->Underruns;
    }
    FOutput->Close(*stream);
    return true;
}

std::shared_ptr<TAudioStream> TAudioEngine::Find(HSTREAM handle) {
    std::lock_guard lock(FLock);
    auto found = FStreams.find(handle);
    return found == FStreams.end() ? nullptr : found->second;
}

TAudioStream* TAudioEngine::Stream(HSTREAM handle) {
    return Find(handle).get();
}

uint64_t TAudioEngine::Underruns() {
    std::lock_guard lock(FLock);
    uint64_t total = FFreedUnderruns;
    for (auto& [handle, stream] : FStreams)
        total += stream->Underruns;
    return total;
}

HSYNC TAudioEngine::AudioChannelSetSync(HSTREAM handle, uint32_t type, uint64_t, SyncProc proc,
                                        void* user) {
    std::lock_guard lock(FLock);
    auto found = FStreams.find(handle);
    if (found == FStreams.end() || type != AUDIO_SYNC_END || !proc)
        return 0;
    found->second->Sync = proc;
    found->second->SyncUser = user;
    found->second->SyncHandle = handle;
    return handle;
}

bool TAudioEngine::AudioChannelSetAttribute(HSTREAM handle, uint32_t attrib, float value) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    switch (attrib) {
    case AUDIO_ATTRIB_FREQ:
        stream->SetRate(value);
        return value > 0;
    case AUDIO_ATTRIB_VOL:
        stream->SetVolume(value);
        return true;
    case AUDIO_ATTRIB_PAN:
        stream->SetPan(value);
        return true;
    default:
        return false;
    }
}

bool TAudioEngine::AudioChannelGetAttribute(HSTREAM handle, uint32_t attrib, float* value) {
    auto stream = Find(handle);
    if (!stream || !value)
        return false;
    switch (attrib) {
    case AUDIO_ATTRIB_FREQ:
        *value = stream->Rate();
        return true;
    case AUDIO_ATTRIB_VOL:
        *value = stream->Volume();
        return true;
    case AUDIO_ATTRIB_PAN:
        *value = stream->Pan();
        return true;
    default:
        return false;
    }
}

bool TAudioEngine::AudioChannelPlay(HSTREAM handle, bool) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    switch (stream->State) {
    case TAudioStream::psIdle:
        stream->Fill(FirstBlockFrames);
        FOutput->Start(*stream);
        stream->State = TAudioStream::psPlaying;
        break;
    case TAudioStream::psPaused:
    case TAudioStream::psStopped:
        stream->State = TAudioStream::psPlaying;
        FOutput->Resume(*stream);
        break;
    default:
        return false;
    }
    Wake();
    return true;
}

bool TAudioEngine::AudioChannelPause(HSTREAM handle) {
    auto stream = Find(handle);
    if (!stream || stream->State != TAudioStream::psPlaying)
        return false;
    stream->State = TAudioStream::psPaused;
    FOutput->Pause(*stream);
    return true;
}

bool TAudioEngine::AudioChannelStop(HSTREAM handle) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    if (stream->State == TAudioStream::psPlaying || stream->State == TAudioStream::psPaused) {
        stream->State = TAudioStream::psStopped;
        FOutput->Stop(*stream);
    }
    return true;
}

void TAudioEngine::Service() {
    std::vector<std::shared_ptr<TAudioStream>> playing;
    {
        std::lock_guard lock(FLock);
        for (auto& [handle, stream] : FStreams)
            if (stream->State == TAudioStream::psPlaying || stream->Failed)
                playing.push_back(stream);
    }
    for (auto& stream : playing)
        stream->Fill();
    std::lock_guard lock(FLock);
    for (auto& stream : playing)
        if (!stream->Freed)
            RaiseEvents(*stream);
}

// With FLock held.
void TAudioEngine::RaiseEvents(TAudioStream& stream) {
    const auto raise = [&stream](uint32_t data) {
        if (stream.Sync)
            stream.Sync(stream.SyncHandle, stream.Handle(), data, stream.SyncUser);
    };
    if (stream.State != TAudioStream::psPlaying && stream.State != TAudioStream::psPaused)
        return;
    if (stream.Failed) {
        stream.State = TAudioStream::psEnded;
        raise(1);
        return;
    }
    if (stream.State != TAudioStream::psPlaying)
        return;
    const TAudioStream::TEvents events = stream.TakeEvents();
    for (int pass = 0; pass < events.Passes; ++pass)
        raise(0);
    if (!events.RenderedOut)
        return;
    if (!stream.DrainRequested.exchange(true))
        FOutput->Drain(stream);
    if (stream.Drained) {
        stream.State = TAudioStream::psEnded;
        raise(0);
    } else if (stream.Failed) {
        stream.State = TAudioStream::psEnded;
        raise(1);
    }
}

void TAudioEngine::Wake() {
    {
        std::lock_guard lock(FWakeLock);
        FWakeFlag = true;
    }
    FWakeSignal.notify_one();
}

void TAudioEngine::Run() {
    std::unique_lock lock(FWakeLock);
    while (!FQuit) {
        lock.unlock();
        Service();
        bool busy = false;
        {
            std::lock_guard streams(FLock);
            for (auto& [handle, stream] : FStreams)
                busy = busy || stream->State == TAudioStream::psPlaying;
        }
        lock.lock();
        if (busy)
            FWakeSignal.wait_for(lock, ServicePeriod, [this] { return FWakeFlag || FQuit; });
        else
            FWakeSignal.wait(lock, [this] { return FWakeFlag || FQuit; });
        FWakeFlag = false;
    }
}
