#include "FakeAudioLibrary.h"

bool FakeAudioLibrary::AudioStreamFree(HSTREAM stream) {
    Calls.push_back("free " + std::to_string(stream));
    Freed.push_back(stream);
    return true;
}

bool FakeAudioLibrary::AudioSetDevice(uint32_t device) {
    Calls.push_back("device " + std::to_string(device));
    return true;
}

HSTREAM FakeAudioLibrary::Open(const std::string& opener, uint32_t flags) {
    Calls.push_back(opener + " flags " + std::to_string(flags));
    return FailOpen ? 0 : NextStream++;
}

HSTREAM FakeAudioLibrary::AudioStreamCreateFile(bool, const std::string&, uint64_t, uint64_t,
                                                uint32_t flags) {
    return Open("open", flags);
}

HSTREAM FakeAudioLibrary::AudioFlacStreamCreateFile(bool, const std::string&, uint64_t, uint64_t,
                                                    uint32_t flags) {
    return Open("open-flac", flags);
}

HSTREAM FakeAudioLibrary::AudioWmaStreamCreateFile(bool, const std::string&, uint64_t, uint64_t,
                                                   uint32_t flags) {
    return Open("open-wma", flags);
}

HSYNC FakeAudioLibrary::AudioChannelSetSync(HSTREAM stream, uint32_t type, uint64_t, SyncProc,
                                            void* user) {
    Calls.push_back("sync " + std::to_string(stream) + " " + std::to_string(type));
    SyncUser = user;
    return 1;
}

bool FakeAudioLibrary::AudioChannelSetAttribute(HSTREAM stream, uint32_t attrib, float value) {
    Calls.push_back("set " + std::to_string(stream) + " " + std::to_string(attrib));
    if (attrib == AUDIO_ATTRIB_VOL)
        Volume = Volumes[stream] = value;
    else if (attrib == AUDIO_ATTRIB_PAN)
        PanValue = value;
    else if (attrib == AUDIO_ATTRIB_FREQ)
        Rate = value;
    return true;
}

bool FakeAudioLibrary::AudioChannelGetAttribute(HSTREAM stream, uint32_t attrib, float* value) {
    Calls.push_back("get " + std::to_string(stream) + " " + std::to_string(attrib));
    *value = NativeRate;
    return true;
}

bool FakeAudioLibrary::AudioChannelPlay(HSTREAM stream, bool) {
    Calls.push_back("play " + std::to_string(stream));
    if (InBatch && !FailPlay)
        Batches.back().push_back(stream);
    return !FailPlay;
}

bool FakeAudioLibrary::AudioChannelSetName(HSTREAM stream, const std::string& name) {
    Calls.push_back("name " + std::to_string(stream) + " " + name);
    return true;
}

bool FakeAudioLibrary::AudioChannelPlayAfter(HSTREAM stream, HSTREAM leader) {
    Calls.push_back("play " + std::to_string(stream) + " after " + std::to_string(leader));
    return !FailPlayAfter;
}

bool FakeAudioLibrary::AudioChannelPause(HSTREAM stream) {
    Calls.push_back("pause " + std::to_string(stream));
    return true;
}

bool FakeAudioLibrary::AudioChannelStop(HSTREAM stream) {
    Calls.push_back("stop " + std::to_string(stream));
    return true;
}

bool FakeAudioLibrary::AudioChannelFadeIn(HSTREAM stream, uint32_t milliseconds) {
    Calls.push_back("fadein " + std::to_string(stream) + " " + std::to_string(milliseconds));
    return true;
}

bool FakeAudioLibrary::AudioChannelFadeOut(HSTREAM stream, uint32_t milliseconds) {
    Calls.push_back("fadeout " + std::to_string(stream) + " " + std::to_string(milliseconds));
    return !FailFadeOut;
}

bool FakeAudioLibrary::AudioChannelGetPosition(HSTREAM stream, TAudioPosition* position) {
    auto found = Positions.find(stream);
    if (found == Positions.end())
        return false;
    *position = found->second;
    return true;
}

bool FakeAudioLibrary::AudioChannelGetLevel(HSTREAM stream, float* peak) {
    auto found = Levels.find(stream);
    if (found == Levels.end())
        return false;
    *peak = found->second;
    return true;
}

void FakeAudioLibrary::AudioStreamArm(const std::string& file, uint32_t flags, uint32_t device,
                                      double speed) {
    Arms.push_back(file + " flags " + std::to_string(flags) + " device " + std::to_string(device) +
                   " speed " + std::to_string(speed));
}

void FakeAudioLibrary::AudioStreamDisarm() {
    Arms.push_back("disarm");
}

void FakeAudioLibrary::AudioBeginStarts() {
    InBatch = true;
    Batches.emplace_back();
}

void FakeAudioLibrary::AudioCommitStarts() {
    InBatch = false;
}
