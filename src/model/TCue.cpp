#include "TCue.h"

#include "AudioFileType.h"
#include "ClampValue.h"
#include "TLevels.h"

#include <atomic>
#include <filesystem>
#include <utility>

namespace {
std::atomic<uint64_t> g_lastIdentity = 0;

// The file types the library opens as streams.
bool PlaysAsStream(TAudioFileType type) {
    switch (type) {
    case aftAiff:
    case aftMp3:
    case aftOgg:
    case aftWav:
    case aftFlac:
    case aftWma:
        return true;
    default:
        return false;
    }
}
} // namespace

TCue::TCue() : FIdentity(++g_lastIdentity) {}

TCue::~TCue() {
    FreeStream();
}

void TCue::SetAudioChannel(int32_t value) {
    const int32_t before = std::exchange(FAudioChannel, ClampValue(value, 1, 4));
    if (FAudioChannel != before)
        CancelFollow();
}

void TCue::SetPan(int32_t value) {
    FPan = ClampValue(value, -100, 100);
    UpdateFollower(AUDIO_ATTRIB_PAN, static_cast<float>(static_cast<double>(FPan) / 100.0));
}

void TCue::SetPitch(int32_t value) {
    const int32_t before = std::exchange(FPitch, ClampValue(value, 75, 125));
    if (FPitch != before)
        CancelFollow();
}

void TCue::SetVolumeDB(int32_t value) {
    FVolumeDB = ClampValue(value, -60, 0);
    UpdateFollower(AUDIO_ATTRIB_VOL, PlaybackLevels().StreamVolume(FVolumeDB));
}

void TCue::SetFadeIn(int32_t value) {
    const int32_t before = std::exchange(FFadeIn, ClampValue(value, 0, MaxFade));
    if (FFadeIn != before)
        CancelFollow();
}

// A stream handed over takes a new level before its first frame; what it cannot take (output,
// pitch, fade-in, decoded or set up already) lets it go, and the cue starts as any other.
void TCue::UpdateFollower(uint32_t attrib, float value) {
    if (!FFollowing)
        return;
    TAudioLibrary* audio = AudioLibrary();
    if (!audio || !audio->AudioChannelSetAttribute(FStream, attrib, value))
        CancelFollow();
}

void TCue::SetFadeOut(int32_t value) {
    FFadeOut = ClampValue(value, 0, MaxFade);
}

void TCue::SetPreWait(int32_t value) {
    FPreWait = ClampValue(value, 0, MaxWait);
}

void TCue::SetPostWait(int32_t value) {
    FPostWait = ClampValue(value, 0, MaxWait);
}

void TCue::SetContinue(TCueContinue value) {
    const bool known = value == TCueContinue::AutoContinue || value == TCueContinue::AutoFollow;
    FContinue = known ? value : TCueContinue::None;
}

void TCue::SetState(TCueState value) {
    if (value == FState)
        return;
    FState = value;
    FFading = FFading && value == csPlaying;
    if (OnStateChange)
        OnStateChange(UID);
}

bool TCue::FileFound() const {
    if (FileName.empty())
        return false;
    TAudioLibrary* audio = AudioLibrary();
    if (audio && audio->AudioArmedFileFound(FileName))
        return true;
    std::error_code ec;
    return std::filesystem::is_regular_file(FileName, ec);
}

void TCue::Arm() const {
    TAudioLibrary* audio = AudioLibrary();
    if (!audio)
        return;
    if (FileName.empty() || !PlaysAsStream(GetAudioFileType(FileName)))
        audio->AudioStreamDisarm();
    else
        audio->AudioStreamArm(FileName, Loop ? AUDIO_SAMPLE_LOOP : 0,
                              static_cast<uint32_t>(FAudioChannel), PitchSpeed());
}

double TCue::PitchSpeed() const {
    return static_cast<double>(FPitch) / 100.0;
}

void TCue::FreeStream() {
    TAudioLibrary* audio = AudioLibrary();
    if (audio && FStream != 0)
        audio->AudioStreamFree(FStream);
    FStream = 0;
    FFollowing = false;
    FSyncUID.reset();
}

HSTREAM TCue::OpenStream(TAudioLibrary& audio, uint32_t flags) {
    switch (GetAudioFileType(FileName)) {
    case aftAiff:
    case aftMp3:
    case aftOgg:
    case aftWav:
        return audio.AudioStreamCreateFile(false, FileName, 0, 0, flags);
    case aftFlac:
        return audio.AudioFlacStreamCreateFile(false, FileName, 0, 0, flags);
    case aftWma:
        return audio.AudioWmaStreamCreateFile(false, FileName, 0, 0, flags);
    default:
        return 0;
    }
}

bool TCue::Play() {
    if (!FileFound())
        return false;
    if (FState == csPaused)
        return Resume();
    if (FState != csStopped)
        return false;
    if (FFollowing)
        return PlayFollowing();
    FreeStream();
    TAudioLibrary* audio = AudioLibrary();
    if (!audio || !SetUpStream(*audio))
        return false;
    if (!audio->AudioChannelPlay(FStream, false)) {
        FreeStream();
        return false;
    }
    SetState(csPlaying);
    return true;
}

bool TCue::SetUpStream(TAudioLibrary& audio) {
    audio.AudioSetDevice(static_cast<uint32_t>(FAudioChannel));
    FStream = OpenStream(audio, Loop ? AUDIO_SAMPLE_LOOP : 0);
    if (FStream == 0)
        return false;
    FSyncUID = std::make_unique<std::string>(UID);
    audio.AudioChannelSetSync(FStream, AUDIO_SYNC_END, 0, CueEndSyncProc(), FSyncUID.get());
    audio.AudioChannelSetName(FStream, Description);
    audio.AudioChannelSetAttribute(FStream, AUDIO_ATTRIB_VOL,
                                   PlaybackLevels().StreamVolume(FVolumeDB));
    audio.AudioChannelSetAttribute(FStream, AUDIO_ATTRIB_PAN,
                                   static_cast<float>(static_cast<double>(FPan) / 100.0));
    if (FFadeIn > 0)
        audio.AudioChannelFadeIn(FStream, static_cast<uint32_t>(FFadeIn) * 100);
    audio.AudioChannelGetAttribute(FStream, AUDIO_ATTRIB_FREQ, &FFrequency);
    audio.AudioChannelSetAttribute(
        FStream, AUDIO_ATTRIB_FREQ,
        static_cast<float>(PitchSpeed() * static_cast<double>(FFrequency)));
    return true;
}

bool TCue::PlayAfter(const TCue& leader) {
    if (FState != csStopped || FFollowing || leader.State() != csPlaying || !FileFound())
        return false;
    FreeStream();
    TAudioLibrary* audio = AudioLibrary();
    if (!audio || !SetUpStream(*audio))
        return false;
    if (!audio->AudioChannelPlayAfter(FStream, leader.Stream())) {
        FreeStream();
        return false;
    }
    FFollowing = true;
    return true;
}

// The library starts the stream now if it still waits, and not again if it has begun.
bool TCue::PlayFollowing() {
    FFollowing = false;
    TAudioLibrary* audio = AudioLibrary();
    if (!audio || !audio->AudioChannelPlay(FStream, false)) {
        FreeStream();
        return false;
    }
    SetState(csPlaying);
    return true;
}

void TCue::CancelFollow() {
    if (!std::exchange(FFollowing, false))
        return;
    if (TAudioLibrary* audio = AudioLibrary())
        audio->AudioChannelStop(FStream);
}

bool TCue::Pause() {
    if (FState != csPlaying || FFading)
        return false;
    if (TAudioLibrary* audio = AudioLibrary())
        audio->AudioChannelPause(FStream);
    SetState(csPaused);
    return true;
}

bool TCue::Resume() {
    if (FState != csPaused)
        return false;
    if (TAudioLibrary* audio = AudioLibrary())
        if (!audio->AudioChannelPlay(FStream, false)) {
            FreeStream();
            return false;
        }
    SetState(csPlaying);
    return true;
}

bool TCue::Stop() {
    if (FState == csPlaying && !FFading && FFadeOut > 0)
        return FadeOutAndStop(FFadeOut);
    return StopNow();
}

bool TCue::StopNow() {
    CancelFollow();
    if (FState == csStopped)
        return false;
    if (TAudioLibrary* audio = AudioLibrary())
        audio->AudioChannelStop(FStream);
    SetState(csStopped);
    return true;
}

bool TCue::FadeOutAndStop(int32_t tenths) {
    if (FState == csPaused || (FState == csPlaying && tenths <= 0))
        return StopNow();
    if (FState != csPlaying)
        return false;
    TAudioLibrary* audio = AudioLibrary();
    if (!audio || !audio->AudioChannelFadeOut(FStream, static_cast<uint32_t>(tenths) * 100))
        return StopNow();
    if (!FFading) {
        FFading = true;
        if (OnStateChange)
            OnStateChange(UID);
    }
    return true;
}
