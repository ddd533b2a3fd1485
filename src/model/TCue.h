#pragma once

#include "TAudioLibrary.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum TCueState : uint8_t { csStopped = 0, csPlaying = 1, csPaused = 2 };

// One cue of the running order. UI thread only. Owned by TCueList.
class TCue {
public:
    TCue();
    ~TCue();
    TCue(const TCue&) = delete;
    TCue& operator=(const TCue&) = delete;

    // Called after each change of State, with UID.
    std::function<void(const std::string& uid)> OnStateChange;

    std::string UID;
    std::string Description = "New Sound";
    std::string FileName;
    bool Loop = false;

    int32_t AudioChannel() const { return FAudioChannel; }
    int32_t Pan() const { return FPan; }
    int32_t Pitch() const { return FPitch; }
    int32_t VolumeDB() const { return FVolumeDB; }
    TCueState State() const { return FState; }
    HSTREAM Stream() const { return FStream; }
    float Frequency() const { return FFrequency; }

    void SetAudioChannel(int32_t value);
    void SetPan(int32_t value);
    void SetPitch(int32_t value);
    void SetVolumeDB(int32_t value);
    void SetState(TCueState value);

    bool FileFound() const;

    bool Play();
    bool Pause();
    bool Resume();
    bool Stop();

private:
    HSTREAM OpenStream(TAudioLibrary& audio, uint32_t flags);
    void FreeStream();

    TCueState FState = csStopped;
    HSTREAM FStream = 0;
    float FFrequency = 0;
    int32_t FAudioChannel = 1;
    int32_t FPan = 0;
    int32_t FPitch = 100;
    int32_t FVolumeDB = 0;
    // The UID handed to the end sync; lives as long as the stream it was registered for.
    std::unique_ptr<std::string> FSyncUID;
};
