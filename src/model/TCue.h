#pragma once

#include "TAudioLibrary.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum TCueState : uint8_t { csStopped = 0, csPlaying = 1, csPaused = 2 };

// What a cue does to the next one of the list: nothing, start it when this one starts (after
// the post-wait), or start it when this one has played to its end.
enum class TCueContinue : uint8_t { None = 0, AutoContinue = 1, AutoFollow = 2 };

// One cue of the running order. UI thread only. Owned by TCueList.
class TCue {
public:
    TCue();
    ~TCue();
    TCue(const TCue&) = delete;
    TCue& operator=(const TCue&) = delete;

    // Called after each change of State or of Fading, with UID.
    std::function<void(const std::string& uid)> OnStateChange;

    std::string UID;
    std::string Description = "New Sound";
    std::string FileName;
    bool Loop = false;

    // Tells this cue apart from every other cue of the run, also from one made later at the
    // same address.
    uint64_t Identity() const { return FIdentity; }
    int32_t AudioChannel() const { return FAudioChannel; }
    int32_t Pan() const { return FPan; }
    int32_t Pitch() const { return FPitch; }
    int32_t VolumeDB() const { return FVolumeDB; }
    TCueState State() const { return FState; }
    HSTREAM Stream() const { return FStream; }
    float Frequency() const { return FFrequency; }
    // Fade times in tenths of a second, 0 (none) to MaxFade.
    int32_t FadeIn() const { return FFadeIn; }
    int32_t FadeOut() const { return FFadeOut; }
    // Waits in tenths of a second, 0 to MaxWait: before the sound starts, and between the start
    // and an auto-continue to the next cue.
    int32_t PreWait() const { return FPreWait; }
    int32_t PostWait() const { return FPostWait; }
    TCueContinue Continue() const { return FContinue; }
    // Playing, on its way to a stop through a fade-out.
    bool Fading() const { return FFading; }

    static constexpr int32_t MaxFade = 600;
    static constexpr int32_t MaxWait = 36000;

    void SetAudioChannel(int32_t value);
    void SetPan(int32_t value);
    void SetPitch(int32_t value);
    void SetVolumeDB(int32_t value);
    void SetFadeIn(int32_t value);
    void SetFadeOut(int32_t value);
    void SetPreWait(int32_t value);
    void SetPostWait(int32_t value);
    // A value outside the enumeration gives None.
    void SetContinue(TCueContinue value);
    void SetState(TCueState value);

    // Whether the file is there: the armed cue's was looked at when it was armed; the others'
    // are looked at now.
    bool FileFound() const;

    // Has the library arm this cue's stream as Play would open it (file, loop, output, pitch),
    // so that Play reads nothing on this thread; a cue with no file it can play disarms.
    void Arm() const;
    bool Play();
    // Hands the cue to the audio library to start on the frame after `leader`'s last, once the
    // leader, which plays, has played its file to the end. The cue stays stopped until Play, which
    // then starts nothing a second time. False when the library cannot: nothing is handed over.
    bool PlayAfter(const TCue& leader);
    // Whether the cue is handed over to follow another.
    bool Following() const { return FFollowing; }
    // Gives up a start handed over; one already heard stops.
    void CancelFollow();
    bool Pause();
    bool Resume();
    // A playing cue with a fade-out time fades out and then stops; a second Stop during the
    // fade, and a Stop of a paused cue, stop at once.
    bool Stop();
    // Stops at once, with no more than the short ramp that keeps it from clicking.
    bool StopNow();
    // A playing cue fades to silence over `tenths` tenths of a second and then stops, also when
    // it is fading already; a paused cue stops at once.
    bool FadeOutAndStop(int32_t tenths);

private:
    // The speed the pitch plays the file at: 1 is its own rate.
    double PitchSpeed() const;
    HSTREAM OpenStream(TAudioLibrary& audio, uint32_t flags);
    // A new stream with the cue's settings; false when none could be opened.
    bool SetUpStream(TAudioLibrary& audio);
    bool PlayFollowing();
    void UpdateFollower(uint32_t attrib, float value);
    void FreeStream();

    const uint64_t FIdentity;
    TCueState FState = csStopped;
    HSTREAM FStream = 0;
    float FFrequency = 0;
    int32_t FAudioChannel = 1;
    int32_t FPan = 0;
    int32_t FPitch = 100;
    int32_t FVolumeDB = 0;
    int32_t FFadeIn = 0;
    int32_t FFadeOut = 0;
    int32_t FPreWait = 0;
    int32_t FPostWait = 0;
    TCueContinue FContinue = TCueContinue::None;
    bool FFading = false;
    bool FFollowing = false;
    // The UID handed to the end sync; lives as long as the stream it was registered for.
    std::unique_ptr<std::string> FSyncUID;
};
