#include "TShowControl.h"

#include "ClampValue.h"

#include <algorithm>

namespace {

TCue* CueOfStream(const TCueList& cues, HSTREAM stream) {
    for (int32_t i = 0; i < cues.Count(); ++i)
        if (cues.Items(i)->Stream() == stream)
            return cues.Items(i);
    return nullptr;
}

QString CannotPlayText(TCueNumber number, const TCue& cue) {
    const QString which = QStringLiteral("Cue %1 \"%2\" could not play: ")
                              .arg(number.Number())
                              .arg(QString::fromStdString(cue.Description));
    const QString file = QString::fromStdString(cue.FileName);
    if (file.isEmpty())
        return which + QStringLiteral("it has no audio file. Double-click its Filename cell to "
                                      "choose one.");
    if (!cue.FileFound())
        return which + QStringLiteral("its file %1 is missing. Double-click its Filename cell to "
                                      "choose it again.")
                           .arg(file);
    return which + QStringLiteral("%1 could not be opened as audio, or output %2 did not take it. "
                                  "Check the file and the output.")
                       .arg(file)
                       .arg(cue.AudioChannel());
}

} // namespace

TShowControl::TShowControl(TCueList& cues, const TShowClock& clock, QObject* parent)
    : QObject(parent), FCues(cues), FClock(clock),
      FSequencer(cues, clock, [this](TCue& cue) { return Play(cue); }) {
    SetCueEndReceiver(this);
    connect(&FSequencer, &TCueSequencer::WaitsChanged, &FRunning, &TRunningCues::RefreshSoon);
}

TShowControl::~TShowControl() {
    SetCueEndReceiver(nullptr);
}

bool TShowControl::InGoLockout(TShowClock::TTimePoint now) const {
    return FLastGo && now - *FLastGo < FGoLockout;
}

void TShowControl::Go() {
    TCue* cue = FCues.CurrentCue();
    const TShowClock::TTimePoint now = FClock.Now();
    if (!cue || InGoLockout(now))
        return;
    FLastGo = now;
    const TCueNumber number = FCues.Current();
    Start(number);
    const TCueNumber standby = std::min(FSequencer.AfterChain(number), TCueNumber(FCues.Count()));
    if (standby != number)
        SelectCue(standby);
    else
        ArmStandby();
}

void TShowControl::Panic() {
    FSequencer.CancelAll();
    FPanic.Press(FCues, FClock.Now());
    FRunning.Refresh();
}

void TShowControl::StopAll() {
    FSequencer.CancelAll();
    FCues.StopAll();
    FRunning.Refresh();
}

void TShowControl::SelectCue(TCueNumber number) {
    if (!FCues.CueOf(number))
        return;
    FCues.SetCurrent(number);
    ArmStandby();
    Q_EMIT StandbyChanged(number.Number());
}

void TShowControl::ArmStandby() {
    if (const TCue* cue = FCues.CurrentCue())
        cue->Arm();
    else if (TAudioLibrary* audio = AudioLibrary())
        audio->AudioStreamDisarm();
}

// A cue in its pre-wait counts as started: P and S right after GO reach it. The cues that one
// start sets off together are heard from the same sample.
void TShowControl::Start(TCueNumber number) {
    if (const TCue* cue = FCues.CueOf(number))
        FStartedLast = cue;
    const TAudioStartBatch together;
    FSequencer.Start(number);
    FRunning.Refresh();
}

// A stopped cue that does not start says why, so that the show goes on knowingly.
bool TShowControl::Play(TCue& cue) {
    const bool stopped = cue.State() == csStopped;
    const bool played = cue.Play();
    if (played) {
        FStartedLast = &cue;
        Q_EMIT CueProblem(cue.Identity(), QString());
    } else if (stopped) {
        Q_EMIT CueProblem(cue.Identity(), CannotPlayText(FCues.IndexOf(&cue), cue));
    }
    return played;
}

void TShowControl::Pause(TCueNumber number) {
    if (TCue* cue = FCues.CueOf(number))
        Pause(*cue);
}

void TShowControl::Stop(TCueNumber number) {
    if (TCue* cue = FCues.CueOf(number))
        Stop(*cue);
}

void TShowControl::Pause(TCue& cue) {
    FSequencer.Pause(cue);
    cue.Pause();
    FRunning.Refresh();
}

void TShowControl::Stop(TCue& cue) {
    FSequencer.Cancel(cue);
    cue.Stop();
    FRunning.Refresh();
}

TCue* TShowControl::CueOfIdentity(uint64_t identity) const {
    return FCues.CueOf(FCues.IndexOfIdentity(identity));
}

// A cue with no wait of its own that still waits is started by the post-wait of the cue before.
void TShowControl::CancelStartOf(const TCue& cue) {
    FSequencer.Cancel(cue);
    const TCueNumber number = FCues.IndexOf(&cue);
    if (FSequencer.TimeToStart(cue) && number.Number() > 1)
        if (const TCue* before = FCues.CueOf(TCueNumber(number.Number() - 1)))
            FSequencer.Cancel(*before);
}

void TShowControl::PauseOrResume(uint64_t identity) {
    TCue* cue = CueOfIdentity(identity);
    if (!cue)
        return;
    if (cue->State() == csPaused || FSequencer.HasPausedWait(*cue))
        Start(FCues.IndexOf(cue));
    else
        Pause(*cue);
}

void TShowControl::StopRunning(uint64_t identity) {
    if (TCue* cue = CueOfIdentity(identity)) {
        CancelStartOf(*cue);
        Stop(*cue);
    }
}

void TShowControl::FadeOutRunning(uint64_t identity, int32_t tenths) {
    if (TCue* cue = CueOfIdentity(identity)) {
        CancelStartOf(*cue);
        cue->FadeOutAndStop(tenths);
        FRunning.Refresh();
    }
}

TCue* TShowControl::PauseStopTarget(TCueNumber number) const {
    TCue* chosen = FCues.CueOf(number);
    if (chosen && (chosen->State() != csStopped || FSequencer.HasWait(*chosen)))
        return chosen;
    TCue* last = FStartedLast ? FCues.CueOf(FCues.IndexOf(FStartedLast)) : nullptr;
    return last && (last->State() != csStopped || FSequencer.HasWait(*last)) ? last : nullptr;
}

void TShowControl::Run(const TOscCommand& command) {
    switch (command.Kind) {
    case TOscCommand::ocCueStart:
        Start(TCueNumber(command.Cue));
        break;
    case TOscCommand::ocCueStop:
        Stop(TCueNumber(command.Cue));
        break;
    case TOscCommand::ocCuePause:
        Pause(TCueNumber(command.Cue));
        break;
    case TOscCommand::ocGo:
        Go();
        break;
    case TOscCommand::ocStopAll:
        StopAll();
        break;
    case TOscCommand::ocPanic:
        Panic();
        break;
    case TOscCommand::ocSelect:
        SelectCue(TCueNumber(command.Cue));
        break;
    }
}

void TShowControl::Run(const std::vector<TOscCommand>& commands) {
    const TAudioStartBatch together;
    for (const TOscCommand& command : commands)
        Run(command);
}

int32_t TShowControl::ParseCommandLine(const std::vector<std::string>& CmdLine) {
    return FCommands.Parse(CmdLine);
}

// The cues that one list starts are heard from the same sample.
void TShowControl::RunCommandLine(const std::vector<std::string>& CmdLine) {
    ParseCommandLine(CmdLine);
    const TAudioStartBatch together;
    for (int32_t i = 0; i < FCommands.Count(); ++i) {
        const TCommand& command = *FCommands.Items(i);
        if (command.Is("play"))
            Run({TOscCommand::ocCueStart, command.Value});
        else if (command.Is("pause"))
            Run({TOscCommand::ocCuePause, command.Value});
        else if (command.Is("stop"))
            Run({TOscCommand::ocCueStop, command.Value});
    }
}

// Audio thread: only hands the notice to this object's thread.
void TShowControl::CueStreamEnded(const std::string& uid, HSTREAM stream, uint32_t how) {
    QMetaObject::invokeMethod(
        this, [this, uid, stream, how] { CueEnded(uid, stream, how); }, Qt::QueuedConnection);
}

// Stops the cue only while it still plays the stream that ended: a notice from an earlier
// stream of the cue, or for another cue with the same UID, changes nothing.
// A looping cue plays on at the end of its file; a fade-out that reached silence, a failed
// output or the end of a file stops the cue at once. Only the end of the file sets off the cue
// that follows.
void TShowControl::CueEnded(const std::string& uid, HSTREAM stream, uint32_t how) {
    TCue* cue = FCues.CueOf(FCues.IndexOfUID(uid));
    if (!cue || cue->Stream() != stream)
        cue = CueOfStream(FCues, stream);
    if (!cue || (cue->Loop && how == AUDIO_END_FILE))
        return;
    cue->StopNow();
    if (how == AUDIO_END_FILE)
        FSequencer.CueEnded(*cue);
    else
        FSequencer.Cancel(*cue);
    FRunning.Refresh();
}

void TShowControl::SetLiveLevel(TCue& cue, int32_t db) {
    FLiveLevels.Prune(FCues);
    if (FLiveLevels.Set(cue, db))
        ApplyLevel(cue);
}

void TShowControl::SetLevels(const TLevels& levels) {
    TLevels set = levels;
    set.MasterDB = ClampValue(set.MasterDB, TLevels::Silent, TLevels::Full);
    SetPlaybackLevels(set);
    for (int32_t i = 0; i < FCues.Count(); ++i)
        ApplyLevel(*FCues.Items(i));
}

// The engine glides to a new volume; fades and stops act on top of it.
void TShowControl::ApplyLevel(TCue& cue) const {
    TAudioLibrary* audio = AudioLibrary();
    if (!audio || (cue.State() == csStopped && !cue.Following()) || cue.Stream() == 0)
        return;
    audio->AudioChannelSetAttribute(cue.Stream(), AUDIO_ATTRIB_VOL,
                                    PlaybackLevels().StreamVolume(LiveLevel(cue)));
}
