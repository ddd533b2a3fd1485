#pragma once

#include "TAudioArmer.h"
#include "TAudioLibrary.h"
#include "TAudioOutput.h"
#include "TAudioStream.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

struct TAudioDeviceInfo {
    std::string Name;
    std::string Driver;
    uint32_t Flags = 0;
};

// The program's audio library: file streams decoded with FFmpeg, played on an output target.
// Every public member runs on the UI thread (or a test's thread). A worker thread decodes
// ahead and raises the end syncs; after AudioStreamFree returns, no sync for that stream runs.
// A stream that ends or is stopped gives back its server stream, decoder and file at once; its
// handle stays valid until it is freed, and playing it again starts it from its beginning.
// Each stream's state changes with its Control lock held, by the UI thread or the worker.
// Teardown, in the destructor only: stop the worker, close every stream, destroy the output
// (which stops the sound server's thread), then the members the output called back into.
class TAudioEngine : public TAudioLibrary {
public:
    // With `worker` false nothing decodes ahead by itself: the caller runs Service (tests).
    explicit TAudioEngine(std::unique_ptr<TAudioOutput> output, bool worker = true);
    ~TAudioEngine() override;
    TAudioEngine(const TAudioEngine&) = delete;
    TAudioEngine& operator=(const TAudioEngine&) = delete;

    bool AudioGetDeviceInfo(uint32_t device, TAudioDeviceInfo* info);
    bool AudioInit(uint32_t device, uint32_t frequency, uint32_t flags, void* window,
                   const void* deviceId);
    // Why no device was found, in words for the operator; empty when devices exist.
    std::string NoDeviceReason();

    bool AudioStreamFree(HSTREAM stream) override;
    // A device that does not exist selects device 1 and returns false.
    bool AudioSetDevice(uint32_t device) override;
    // Takes the armed stream when it is ready and was armed for that file, flags and output:
    // no file is opened then.
    HSTREAM AudioStreamCreateFile(bool mem, const std::string& file, uint64_t offset,
                                  uint64_t length, uint32_t flags) override;
    HSTREAM AudioFlacStreamCreateFile(bool mem, const std::string& file, uint64_t offset,
                                      uint64_t length, uint32_t flags) override;
    HSTREAM AudioWmaStreamCreateFile(bool mem, const std::string& file, uint64_t offset,
                                     uint64_t length, uint32_t flags) override;
    HSYNC AudioChannelSetSync(HSTREAM stream, uint32_t type, uint64_t param, SyncProc proc,
                              void* user) override;
    bool AudioChannelSetAttribute(HSTREAM stream, uint32_t attrib, float value) override;
    bool AudioChannelGetAttribute(HSTREAM stream, uint32_t attrib, float* value) override;
    bool AudioChannelPlay(HSTREAM stream, bool restart) override;
    // On the frame right after the leader's last, in the leader's output's mix.
    bool AudioChannelPlayAfter(HSTREAM stream, HSTREAM leader) override;
    // The streams played between these start together: on the same frame of each output,
    // within one server period across outputs.
    void AudioBeginStarts() override;
    void AudioCommitStarts() override;
    bool AudioChannelPause(HSTREAM stream) override;
    bool AudioChannelStop(HSTREAM stream) override;
    bool AudioChannelSetName(HSTREAM stream, const std::string& name) override;
    bool AudioChannelFadeIn(HSTREAM stream, uint32_t milliseconds) override;
    bool AudioChannelFadeOut(HSTREAM stream, uint32_t milliseconds) override;
    bool AudioChannelGetPosition(HSTREAM stream, TAudioPosition* position) override;
    bool AudioChannelGetLevel(HSTREAM stream, float* peak) override;
    // The armer's thread opens the file and decodes its first block; these return at once.
    void AudioStreamArm(const std::string& file, uint32_t flags, uint32_t device,
                        double speed) override;
    void AudioStreamDisarm() override;
    bool AudioArmedFileFound(const std::string& file) override;
    // Whether the stream armed for `file` is ready to be taken (tests).
    bool AudioArmedReady(const std::string& file);
    bool AudioChannelGetLevels(HSTREAM stream, TAudioLevels* levels) override;

    // Every output numbered so far, present or not, in number order. A device keeps its number
    // for the engine's life: one plugged in later takes the next number, one unplugged keeps its
    // number and gets it back when it returns.
    std::vector<TOutputDevice> AudioDevices();
    // Called on an audio thread when outputs appear, disappear or change their names; must only
    // hand off and return. Any thread may set it.
    void SetOnDevicesChanged(std::function<void()> changed);

    // Decodes ahead for every playing stream and raises the syncs that are due: an end sync
    // per loop pass, once at the end of a played-out file or fade-out, and once, with
    // AUDIO_END_FAILED, for a stream whose output failed; a stream that ended, or whose stop
    // ramp has been played, is released. The worker runs it; without
    // one, tests do.
    void Service();

    // The stream behind a handle, for output targets and tests; nullptr when freed.
    TAudioStream* Stream(HSTREAM stream);
    // Underruns of all streams so far.
    uint64_t Underruns();

private:
    std::shared_ptr<TAudioStream> Find(HSTREAM stream);
    // With the stream's Control lock held.
    bool Start(TAudioStream& stream);
    bool StartAfter(TAudioStream& stream, TAudioStream& leader);
    // A stream handed over to follow another: started at once while it still waits; true when
    // it has been started so, and is not to be started again.
    bool StartFollowing(TAudioStream& stream);
    void Finish(TAudioStream& stream, TAudioStream::TPlayState state);
    void RaiseEvents(TAudioStream& stream);
    void FinishStopping(TAudioStream& stream);
    // Asks the output to play out what it holds, once; true when it has or the wait is over.
    bool PlayedOut(TAudioStream& stream);
    // Any thread, the output's own included: takes no lock.
    void Wake();
    void Run();

    // Calls back into Wake and FOnDevicesChanged from its own thread until it is destroyed:
    // the destructor destroys it first.
    std::unique_ptr<TAudioOutput> FOutput;
    uint32_t FDevice = 1;
    HSTREAM FNextHandle = 1;

    // Guards FStreams and FFreedUnderruns; never held while a stream's Control lock is taken.
    std::mutex FLock;
    std::map<HSTREAM, std::shared_ptr<TAudioStream>> FStreams;
    uint64_t FFreedUnderruns = 0;

    // Holds the one armed stream; its thread touches nothing else of the engine.
    TAudioArmer FArmer;

    // Wakes the worker: the flag, set by whoever wakes it first, keeps the semaphore at 1 at
    // most; the worker clears it after taking the semaphore.
    std::atomic<bool> FWakeFlag{false};
    std::binary_semaphore FWakeSignal{0};
    std::atomic<bool> FQuit{false};

    std::mutex FDevicesLock;
    std::function<void()> FOnDevicesChanged;
    std::thread FWorker;
};
