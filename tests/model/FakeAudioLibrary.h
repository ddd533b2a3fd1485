#pragma once

#include "TAudioLibrary.h"

#include <map>
#include <string>
#include <vector>

// Records every call; opens a stream (handles 1, 2, ...) unless told to fail.
class FakeAudioLibrary : public TAudioLibrary {
public:
    FakeAudioLibrary() { SetAudioLibrary(this); }
    ~FakeAudioLibrary() override { SetAudioLibrary(nullptr); }

    std::vector<std::string> Calls;
    bool FailOpen = false;
    bool FailPlay = false;
    bool FailFadeOut = false;
    bool FailPlayAfter = false;
    float NativeRate = 44100;
    HSTREAM NextStream = 1;
    std::vector<HSTREAM> Freed;
    void* SyncUser = nullptr;
    float Volume = -1, PanValue = -2, Rate = -1;
    // The volume set last, per stream.
    std::map<HSTREAM, float> Volumes;
    // What the position and level questions answer, per stream; none for a stream not listed.
    std::map<HSTREAM, TAudioPosition> Positions;
    std::map<HSTREAM, float> Levels;
    // The streams played between each AudioBeginStarts and its AudioCommitStarts.
    std::vector<std::vector<HSTREAM>> Batches;
    bool InBatch = false;
    // Every arming asked for: "<file> flags <f> device <d> speed <s>", or "disarm".
    std::vector<std::string> Arms;

    bool AudioStreamFree(HSTREAM stream) override;
    bool AudioSetDevice(uint32_t device) override;
    HSTREAM AudioStreamCreateFile(bool, const std::string& file, uint64_t, uint64_t,
                                  uint32_t flags) override;
    HSTREAM AudioFlacStreamCreateFile(bool, const std::string& file, uint64_t, uint64_t,
                                      uint32_t flags) override;
    HSTREAM AudioWmaStreamCreateFile(bool, const std::string& file, uint64_t, uint64_t,
                                     uint32_t flags) override;
    HSYNC AudioChannelSetSync(HSTREAM stream, uint32_t type, uint64_t, SyncProc,
                              void* user) override;
    bool AudioChannelSetAttribute(HSTREAM stream, uint32_t attrib, float value) override;
    bool AudioChannelGetAttribute(HSTREAM stream, uint32_t attrib, float* value) override;
    bool AudioChannelPlay(HSTREAM stream, bool restart) override;
    bool AudioChannelPlayAfter(HSTREAM stream, HSTREAM leader) override;
    void AudioBeginStarts() override;
    void AudioCommitStarts() override;
    bool AudioChannelPause(HSTREAM stream) override;
    bool AudioChannelStop(HSTREAM stream) override;
    bool AudioChannelSetName(HSTREAM stream, const std::string& name) override;
    bool AudioChannelFadeIn(HSTREAM stream, uint32_t milliseconds) override;
    bool AudioChannelFadeOut(HSTREAM stream, uint32_t milliseconds) override;
    bool AudioChannelGetPosition(HSTREAM stream, TAudioPosition* position) override;
    bool AudioChannelGetLevel(HSTREAM stream, float* peak) override;
    void AudioStreamArm(const std::string& file, uint32_t flags, uint32_t device,
                        double speed) override;
    void AudioStreamDisarm() override;

private:
    HSTREAM Open(const std::string& opener, uint32_t flags);
};
