#pragma once

#include <cstdint>
#include <string>

using HSTREAM = uint32_t;
using HSYNC = uint32_t;

constexpr uint32_t AUDIO_SAMPLE_LOOP = 4;
constexpr uint32_t AUDIO_SYNC_END = 2;
constexpr uint32_t AUDIO_ATTRIB_FREQ = 1;
constexpr uint32_t AUDIO_ATTRIB_VOL = 2;
constexpr uint32_t AUDIO_ATTRIB_PAN = 3;
// The data of an end sync: the file ended (or a loop pass), the output failed, or a fade-out
// reached silence and stopped the stream.
constexpr uint32_t AUDIO_END_FILE = 0;
constexpr uint32_t AUDIO_END_FAILED = 1;
constexpr uint32_t AUDIO_END_FADED = 2;

// How far a playing or paused stream has got: the output time rendered in the current loop pass,
// in seconds, and the speed at which the file plays (its rate over its native rate).
struct TAudioPosition {
    double Seconds = 0;
    double Speed = 1;
};

// The largest sample of each side of a stream, 0 to 1.
struct TAudioLevels {
    float Left = 0;
    float Right = 0;
};

// Called on an audio thread when a stream reaches its end; must only hand off and return.
using SyncProc = void (*)(HSYNC handle, HSTREAM channel, uint32_t data, void* user);

// The audio operations a cue needs. The engine in src/audio implements it; tests use fakes.
// UI thread only, except where an implementation says otherwise.
class TAudioLibrary {
public:
    virtual ~TAudioLibrary() = default;

    virtual bool AudioStreamFree(HSTREAM stream) = 0;
    virtual bool AudioSetDevice(uint32_t device) = 0;
    virtual HSTREAM AudioStreamCreateFile(bool mem, const std::string& file, uint64_t offset,
                                          uint64_t length, uint32_t flags) = 0;
    virtual HSTREAM AudioFlacStreamCreateFile(bool mem, const std::string& file, uint64_t offset,
                                              uint64_t length, uint32_t flags) = 0;
    virtual HSTREAM AudioWmaStreamCreateFile(bool mem, const std::string& file, uint64_t offset,
                                             uint64_t length, uint32_t flags) = 0;
    virtual HSYNC AudioChannelSetSync(HSTREAM stream, uint32_t type, uint64_t param, SyncProc proc,
                                      void* user) = 0;
    virtual bool AudioChannelSetAttribute(HSTREAM stream, uint32_t attrib, float value) = 0;
    virtual bool AudioChannelGetAttribute(HSTREAM stream, uint32_t attrib, float* value) = 0;
    virtual bool AudioChannelPlay(HSTREAM stream, bool restart) = 0;
    // `stream` starts on the frame right after the last frame of `leader`, a stream playing on
    // the same output, once the leader has played its file to the end; a stop, fade-out or
    // failure of the leader never starts it. False when it cannot be done so (another output,
    // a looping leader): the caller then starts it itself. While it waits, AudioChannelPlay
    // starts it at once and AudioChannelStop lets it go; once it has begun, AudioChannelPlay is
    // true and starts nothing again.
    virtual bool AudioChannelPlayAfter(HSTREAM, HSTREAM) { return false; }
    // The streams played between these start together, on the same sample of each output.
    virtual void AudioBeginStarts() {}
    virtual void AudioCommitStarts() {}
    virtual bool AudioChannelPause(HSTREAM stream) = 0;
    virtual bool AudioChannelStop(HSTREAM stream) = 0;
    // The name the desktop's sound mixer shows for the stream; empty names it after its file.
    virtual bool AudioChannelSetName(HSTREAM stream, const std::string& name) = 0;
    // The stream's next start from its beginning fades in over `milliseconds`; 0: at once.
    virtual bool AudioChannelFadeIn(HSTREAM stream, uint32_t milliseconds) = 0;
    // A playing stream fades to silence over `milliseconds`, then stops and raises its end
    // sync with AUDIO_END_FADED. A fade already under way is only ever made shorter.
    virtual bool AudioChannelFadeOut(HSTREAM stream, uint32_t milliseconds) = 0;
    // Where a playing or paused stream is; false for any other.
    virtual bool AudioChannelGetPosition(HSTREAM, TAudioPosition*) { return false; }
    // The largest sample heard since the last call, 0 to 1; false when the stream does not play.
    virtual bool AudioChannelGetLevel(HSTREAM, float*) { return false; }
    // Arms the stream of the cue that plays next: its file is opened and its beginning decoded
    // off the UI thread, played on output `device` at `speed` times the file's own rate. The next
    // AudioStreamCreateFile of that file, with those flags, on that output takes it: nothing is
    // read then, unless it is played at another rate. One stream is armed at a time; arming
    // another, or disarming, gives back the one before. Arming the same again changes nothing
    // until the armed stream is taken. Returns at once.
    virtual void AudioStreamArm(const std::string&, uint32_t /*flags*/, uint32_t /*device*/,
                                double /*speed*/) {}
    virtual void AudioStreamDisarm() {}
    // Whether `file` is the armed file and was found to be a regular file when it was armed.
    virtual bool AudioArmedFileFound(const std::string&) { return false; }
    // The same for each side, taking the same peak: a caller asks either this or the mono
    // question. Where a library tells only one peak, both sides show it.
    virtual bool AudioChannelGetLevels(HSTREAM stream, TAudioLevels* levels) {
        float peak = 0;
        if (!levels || !AudioChannelGetLevel(stream, &peak))
            return false;
        *levels = {peak, peak};
        return true;
    }
};

// The process-wide library the cues play through; none until start-up sets one.
TAudioLibrary* AudioLibrary();
void SetAudioLibrary(TAudioLibrary* library);

// The cues played while it lives, through the process-wide library, start together; one made
// while another lives joins it. UI thread only.
class TAudioStartBatch {
public:
    TAudioStartBatch() : FLibrary(FDepth++ == 0 ? AudioLibrary() : nullptr) {
        if (FLibrary)
            FLibrary->AudioBeginStarts();
    }
    ~TAudioStartBatch() {
        --FDepth;
        if (FLibrary)
            FLibrary->AudioCommitStarts();
    }
    TAudioStartBatch(const TAudioStartBatch&) = delete;
    TAudioStartBatch& operator=(const TAudioStartBatch&) = delete;

private:
    static inline int FDepth = 0;
    TAudioLibrary* FLibrary;
};

// The end-of-stream handler that cues register; set by the owner of the event loop.
SyncProc CueEndSyncProc();
void SetCueEndSyncProc(SyncProc proc);

// Told on an audio thread that the stream of the cue with that UID ended, `how` being an
// AUDIO_END_* value; must only hand the notice on and return.
class TCueEndReceiver {
public:
    virtual void CueStreamEnded(const std::string& uid, HSTREAM stream, uint32_t how) = 0;

protected:
    ~TCueEndReceiver() = default;
};

// Makes the receiver's CueStreamEnded the end-of-stream handler that cues register; nullptr
// sets none. A notice that arrives after the receiver is unset is dropped.
void SetCueEndReceiver(TCueEndReceiver* receiver);
