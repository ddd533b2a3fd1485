#include "TAudioEngine.h"

#include "TAudioStream.h"

extern "C" {
#include <libavutil/log.h>
}

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace {
// How often the worker tops up the rings while something plays; well inside a ring's length.
constexpr auto ServicePeriod = std::chrono::milliseconds(20);
// Decoded before a stream starts, so that its first request, the server's whole buffer, is
// answered at once.
constexpr size_t FirstBlockFrames = 10240;
// How long the server may take to play out what it has queued once asked to drain.
constexpr auto DrainDeadline = std::chrono::milliseconds(1500);

uint32_t FramesOf(uint32_t milliseconds) {
    return static_cast<uint32_t>(uint64_t{milliseconds} * TAudioDecoder::OutputRate / 1000);
}

bool Sounding(TAudioStream::TPlayState state) {
    return state == TAudioStream::psPlaying || state == TAudioStream::psPaused ||
           state == TAudioStream::psStopping;
}
} // namespace

TAudioEngine::TAudioEngine(std::unique_ptr<TAudioOutput> output, bool worker)
    : FOutput(std::move(output)), FArmer(FirstBlockFrames) {
    av_log_set_level(AV_LOG_QUIET);
    FOutput->SetWake([this] { Wake(); });
    FOutput->SetDevicesChanged([this] {
        std::lock_guard lock(FDevicesLock);
        if (FOnDevicesChanged)
            FOnDevicesChanged();
    });
    if (worker)
        FWorker = std::thread([this] { Run(); });
}

// The one teardown order: the worker stops, every stream is closed, then the output goes (its
// thread stopped) while the wake signal and the device callback it calls still exist; the other
// members go after it.
TAudioEngine::~TAudioEngine() {
    FQuit = true;
    Wake();
    if (FWorker.joinable())
        FWorker.join();
    std::map<HSTREAM, std::shared_ptr<TAudioStream>> streams;
    {
        std::lock_guard lock(FLock);
        streams.swap(FStreams);
    }
    for (auto& [handle, stream] : streams) {
        std::lock_guard control(stream->Control);
        FOutput->Close(*stream);
        stream->Release();
    }
    FOutput.reset();
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

// The reason found by the last question about devices: asking again could wait on the server.
std::string TAudioEngine::NoDeviceReason() {
    return FOutput->Problem();
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
    const bool loop = (flags & AUDIO_SAMPLE_LOOP) != 0;
    std::shared_ptr<TAudioStream> stream = FArmer.Take(file, loop, FDevice);
    if (stream) {
        stream->SetHandle(FNextHandle);
    } else {
        stream = std::make_shared<TAudioStream>(FNextHandle, FDevice, loop, file);
        if (!stream->Open())
            return 0;
    }
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
    }
    {
        std::lock_guard control(stream->Control);
        stream->Freed = true;
        FOutput->Close(*stream);
        stream->Release();
    }
    std::lock_guard lock(FLock);
    FFreedUnderruns += stream->Underruns;
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
    auto stream = Find(handle);
    if (!stream || type != AUDIO_SYNC_END || !proc)
        return 0;
    std::lock_guard control(stream->Control);
    stream->Sync = proc;
    stream->SyncUser = user;
    stream->SyncHandle = handle;
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
    case AUDIO_ATTRIB_PAN: {
        std::lock_guard control(stream->Control);
        if (attrib == AUDIO_ATTRIB_VOL)
            stream->SetVolume(value);
        else
            stream->SetPan(value);
        if (stream->State == TAudioStream::psPlaying || stream->State == TAudioStream::psPaused)
            FOutput->Refresh(*stream);
        return true;
    }
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

// A stream that stopped or ended opens its file again and starts from the beginning, as does an
// armed one whose beginning was decoded at another rate than the one set now.
bool TAudioEngine::Start(TAudioStream& stream) {
    if (stream.State == TAudioStream::psStopping)
        Finish(stream, TAudioStream::psStopped);
    if ((stream.State != TAudioStream::psIdle || stream.PrimedAtOtherRate()) && !stream.Open())
        return false;
    stream.Failed = false;
    stream.Drained = false;
    stream.DrainRequested = false;
    stream.Prepare(FirstBlockFrames);
    FOutput->Start(stream);
    if (stream.Failed) {
        stream.Release();
        stream.State = TAudioStream::psStopped;
        return false;
    }
    stream.State = TAudioStream::psPlaying;
    return true;
}

bool TAudioEngine::AudioChannelPlay(HSTREAM handle, bool) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    {
        std::lock_guard control(stream->Control);
        if (std::exchange(stream->Following, false) && StartFollowing(*stream))
            return true;
        switch (stream->State) {
        case TAudioStream::psPaused:
            stream->State = TAudioStream::psPlaying;
            stream->Move(TAudioStream::mvUp, TAudioStream::RampFrames, TGainEnvelope::ecRamp);
            FOutput->Resume(*stream);
            break;
        case TAudioStream::psPlaying:
            return false;
        default:
            if (!Start(*stream))
                return false;
        }
    }
    Wake();
    return true;
}

bool TAudioEngine::StartFollowing(TAudioStream& stream) {
    if (stream.State == TAudioStream::psPlaying) {
        FOutput->StartNow(stream);
        return true;
    }
    return stream.State == TAudioStream::psEnded && !stream.Failed;
}

bool TAudioEngine::AudioChannelPlayAfter(HSTREAM handle, HSTREAM leaderHandle) {
    auto stream = Find(handle);
    auto leader = Find(leaderHandle);
    if (!stream || !leader || stream == leader || leader->Loop() ||
        leader->State != TAudioStream::psPlaying)
        return false;
    {
        std::lock_guard control(stream->Control);
        if (Sounding(stream->State) || !StartAfter(*stream, *leader))
            return false;
    }
    Wake();
    return true;
}

// With the stream's Control lock held; the leader's is not needed: the output reads only what
// its own lock guards.
bool TAudioEngine::StartAfter(TAudioStream& stream, TAudioStream& leader) {
    if (stream.State != TAudioStream::psIdle && !stream.Open())
        return false;
    stream.Failed = false;
    stream.Drained = false;
    stream.DrainRequested = false;
    stream.Prepare(FirstBlockFrames, true);
    if (!FOutput->StartAfter(stream, leader)) {
        stream.Release();
        stream.State = TAudioStream::psStopped;
        return false;
    }
    stream.State = TAudioStream::psPlaying;
    stream.Following = true;
    return true;
}

void TAudioEngine::AudioBeginStarts() {
    FOutput->BeginStarts();
}

void TAudioEngine::AudioCommitStarts() {
    FOutput->CommitStarts();
    Wake();
}

bool TAudioEngine::AudioChannelPause(HSTREAM handle) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    std::lock_guard control(stream->Control);
    if (stream->State != TAudioStream::psPlaying)
        return false;
    stream->State = TAudioStream::psPaused;
    stream->Move(TAudioStream::mvHold, TAudioStream::RampFrames, TGainEnvelope::ecRamp);
    // However long the pause, the resume plays every frame left: a drain asked for before it,
    // and its deadline, are given up, and asked for again once the rest has been rendered.
    FOutput->Pause(*stream);
    stream->DrainRequested = false;
    stream->Drained = false;
    return true;
}

bool TAudioEngine::AudioChannelStop(HSTREAM handle) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    {
        std::lock_guard control(stream->Control);
        // A stream still waiting for its leader has nothing queued to ramp down.
        if (std::exchange(stream->Following, false) && stream->State == TAudioStream::psPlaying &&
            FOutput->CancelPending(*stream))
            Finish(*stream, TAudioStream::psStopped);
        if (stream->State == TAudioStream::psPaused)
            Finish(*stream, TAudioStream::psStopped);
        if (stream->State != TAudioStream::psPlaying)
            return true;
        // Ramps down from the frame now playing; the worker closes it once that is heard.
        stream->State = TAudioStream::psStopping;
        stream->StopDeadline = FOutput->Now() + DrainDeadline;
        stream->DrainRequested = false;
        stream->Move(TAudioStream::mvEnd, TAudioStream::RampFrames, TGainEnvelope::ecRamp);
        FOutput->Refresh(*stream);
    }
    Wake();
    return true;
}

bool TAudioEngine::AudioChannelFadeIn(HSTREAM handle, uint32_t milliseconds) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    std::lock_guard control(stream->Control);
    stream->SetFadeIn(FramesOf(milliseconds));
    return true;
}

bool TAudioEngine::AudioChannelFadeOut(HSTREAM handle, uint32_t milliseconds) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    std::lock_guard control(stream->Control);
    if (stream->State != TAudioStream::psPlaying)
        return false;
    if (milliseconds == 0)
        stream->Move(TAudioStream::mvEnd, TAudioStream::RampFrames, TGainEnvelope::ecRamp);
    else
        stream->Move(TAudioStream::mvEnd, FramesOf(milliseconds), TGainEnvelope::ecFade);
    FOutput->Refresh(*stream);
    return true;
}

bool TAudioEngine::AudioChannelSetName(HSTREAM handle, const std::string& name) {
    auto stream = Find(handle);
    if (!stream)
        return false;
    std::lock_guard control(stream->Control);
    stream->SetName(name);
    if (stream->State == TAudioStream::psPlaying || stream->State == TAudioStream::psPaused)
        FOutput->Rename(*stream);
    return true;
}

bool TAudioEngine::AudioChannelGetPosition(HSTREAM handle, TAudioPosition* position) {
    auto stream = Find(handle);
    if (!stream || !position ||
        (stream->State != TAudioStream::psPlaying && stream->State != TAudioStream::psPaused))
        return false;
    position->Seconds = static_cast<double>(stream->PassFrames(stream->LagNow())) /
                        static_cast<double>(TAudioDecoder::OutputRate);
    const float native = stream->NativeRate();
    position->Speed = native > 0 ? static_cast<double>(stream->Rate()) / native : 1.0;
    return true;
}

bool TAudioEngine::AudioChannelGetLevel(HSTREAM handle, float* peak) {
    auto stream = Find(handle);
    if (!stream || !peak || stream->State != TAudioStream::psPlaying)
        return false;
    *peak = std::min(stream->TakePeak(stream->LagNow()), 1.0f);
    return true;
}

void TAudioEngine::AudioStreamArm(const std::string& file, uint32_t flags, uint32_t device,
                                  double speed) {
    FArmer.Arm({file, (flags & AUDIO_SAMPLE_LOOP) != 0, device, speed});
    FOutput->Keep(device);
}

void TAudioEngine::AudioStreamDisarm() {
    FArmer.Disarm();
    FOutput->Keep(0);
}

bool TAudioEngine::AudioArmedFileFound(const std::string& file) {
    return FArmer.Found(file);
}

bool TAudioEngine::AudioArmedReady(const std::string& file) {
    return FArmer.Ready(file);
}

bool TAudioEngine::AudioChannelGetLevels(HSTREAM handle, TAudioLevels* levels) {
    auto stream = Find(handle);
    if (!stream || !levels || stream->State != TAudioStream::psPlaying)
        return false;
    const TAudioLevels heard = stream->TakePeaks(stream->LagNow());
    *levels = {std::min(heard.Left, 1.0f), std::min(heard.Right, 1.0f)};
    return true;
}

std::vector<TOutputDevice> TAudioEngine::AudioDevices() {
    return FOutput->Devices();
}

void TAudioEngine::SetOnDevicesChanged(std::function<void()> changed) {
    std::lock_guard lock(FDevicesLock);
    FOnDevicesChanged = std::move(changed);
}

// With the stream's Control lock held: silences it and gives back what it holds.
void TAudioEngine::Finish(TAudioStream& stream, TAudioStream::TPlayState state) {
    FOutput->Close(stream);
    stream.Release();
    stream.State = state;
}

void TAudioEngine::Service() {
    std::vector<std::shared_ptr<TAudioStream>> playing;
    {
        std::lock_guard lock(FLock);
        for (auto& [handle, stream] : FStreams)
            if (Sounding(stream->State))
                playing.push_back(stream);
    }
    for (auto& stream : playing)
        if (stream->State == TAudioStream::psPlaying)
            stream->Fill();
    for (auto& stream : playing) {
        // A stream the UI thread is changing is looked at in the next round.
        std::unique_lock control(stream->Control, std::try_to_lock);
        if (control && !stream->Freed)
            RaiseEvents(*stream);
    }
}

// With the stream's Control lock held.
void TAudioEngine::RaiseEvents(TAudioStream& stream) {
    const auto end = [this, &stream](uint32_t data) {
        Finish(stream, TAudioStream::psEnded);
        if (stream.Sync)
            stream.Sync(stream.SyncHandle, stream.Handle(), data, stream.SyncUser);
    };
    if (stream.State == TAudioStream::psStopping) {
        FinishStopping(stream);
        return;
    }
    if (stream.State != TAudioStream::psPlaying && stream.State != TAudioStream::psPaused)
        return;
    if (stream.Failed) {
        end(AUDIO_END_FAILED);
        return;
    }
    if (stream.State != TAudioStream::psPlaying)
        return;
    const TAudioStream::TEvents events = stream.TakeEvents();
    for (int pass = 0; pass < events.Passes && stream.Sync; ++pass)
        stream.Sync(stream.SyncHandle, stream.Handle(), AUDIO_END_FILE, stream.SyncUser);
    const bool faded = stream.FadedOut();
    if (!events.RenderedOut && !faded)
        return;
    if (PlayedOut(stream))
        end(faded ? AUDIO_END_FADED : AUDIO_END_FILE);
    else if (stream.Failed)
        end(AUDIO_END_FAILED);
}

// With the stream's Control lock held: closes a stopped stream once its ramp has been heard.
void TAudioEngine::FinishStopping(TAudioStream& stream) {
    if (stream.Failed || FOutput->Now() >= stream.StopDeadline ||
        (stream.FadedOut() && PlayedOut(stream)))
        Finish(stream, TAudioStream::psStopped);
}

bool TAudioEngine::PlayedOut(TAudioStream& stream) {
    const auto now = FOutput->Now();
    if (!stream.DrainRequested) {
        stream.DrainRequested = true;
        stream.DrainDeadline = now + DrainDeadline;
        FOutput->Drain(stream);
    }
    return stream.Drained || now >= stream.DrainDeadline;
}

void TAudioEngine::Wake() {
    if (!FWakeFlag.exchange(true))
        FWakeSignal.release();
}

// Normal priority: it reads files and runs the decoder. Only the thread that feeds the sound
// server asks for real-time priority.
void TAudioEngine::Run() {
    while (!FQuit) {
        Service();
        bool busy = false;
        {
            std::lock_guard lock(FLock);
            for (auto& [handle, stream] : FStreams)
                busy = busy || stream->State == TAudioStream::psPlaying ||
                       stream->State == TAudioStream::psStopping;
        }
        busy = FOutput->Tidy() || busy;
        const bool woken =
            busy ? FWakeSignal.try_acquire_for(ServicePeriod) : (FWakeSignal.acquire(), true);
        if (woken)
            FWakeFlag = false;
    }
}
