#pragma once

#include "TAudioLibrary.h"
#include "TCommandList.h"
#include "TCueList.h"
#include "TCueSequencer.h"
#include "TGoLockout.h"
#include "TLevels.h"
#include "TLiveLevels.h"
#include "TOscCommand.h"
#include "TPanic.h"
#include "TRunningCues.h"
#include "TShowClock.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The running of a show: the standby cue and GO, panic, stop all, the commands that later
// launches and OSC send, and what happens when a cue's stream ends. Knows no window: it tells
// whoever shows the list which cue became the standby cue. Lives on the UI thread; only the end
// of a stream is told on an audio thread, and it is handed on to this object's thread.
class TShowControl : public QObject, private TCueEndReceiver {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultGoLockout{TGoLockout::DefaultMilliseconds};

    // `cues` and `clock` outlive this object. Receives the end of every cue's stream from here
    // on, until destroyed.
    TShowControl(TCueList& cues, const TShowClock& clock, QObject* parent = nullptr);
    ~TShowControl() override;

    // GO: starts the standby cue with its waits and the cues it continues to, and makes the first
    // cue after that chain the standby cue; the last one stays. A GO within the lockout of the
    // last GO that was carried out is dropped.
    void Go();
    // Every cue fades out over the panic time and stops; again during that time, everything
    // stops at once. Panic and StopAll cancel every pending wait and chain.
    void Panic();
    void StopAll();
    // Makes cue `number` the standby cue, and arms it; a number beyond the list changes nothing.
    void SelectCue(TCueNumber number);
    // Arms the standby cue, so that its start reads and decodes nothing on this thread; disarms
    // when there is none. Cheap when nothing changed: call it after any change to the list, to
    // its current cue or to that cue's file, output or settings.
    void ArmStandby();
    // Starts cue `number` as GO does (waits and chain included), pauses it or stops it, with its
    // waits; a number beyond the list changes nothing.
    void Start(TCueNumber number);
    void Pause(TCueNumber number);
    void Stop(TCueNumber number);
    // Pause and Stop of one cue: the cue and the waits that belong to it. Stop cancels them.
    void Pause(TCue& cue);
    void Stop(TCue& cue);

    // The buttons of a line of the running list, by the cue's identity; a cue the list no longer
    // holds changes nothing. Pause or resume the cue or its wait; stop it with its fade-out;
    // fade it out over `tenths`. Stopping and fading cancel the wait that would start the cue,
    // also the post-wait of the cue before it.
    void PauseOrResume(uint64_t identity);
    void StopRunning(uint64_t identity);
    void FadeOutRunning(uint64_t identity, int32_t tenths);

    // The one way in for remote commands: OSC addresses and the verbs of later launches.
    void Run(const TOscCommand& command);
    // Runs the commands of one OSC bundle in order; the cues they start are heard from the same
    // sample.
    void Run(const std::vector<TOscCommand>& commands);
    // Runs a forwarded argument list: "play", "pause" and "stop" with a cue number; other
    // words and numbers beyond the list are skipped. Never moves the standby cue.
    void RunCommandLine(const std::vector<std::string>& CmdLine);
    // Refills FCommands from the lines; the number of commands.
    int32_t ParseCommandLine(const std::vector<std::string>& CmdLine);

    // The cue that Pause and Stop act on when cue `number` is chosen: that cue while it plays or
    // is paused or has a wait pending, otherwise the cue started last (or sent into its
    // pre-wait) while it plays, is paused or waits; none else.
    TCue* PauseStopTarget(TCueNumber number) const;

    // 0 lets every GO through.
    void SetGoLockout(std::chrono::milliseconds lockout) { FGoLockout = lockout; }
    std::chrono::milliseconds GoLockout() const { return FGoLockout; }

    // The panic time in tenths of a second (one second unless set); 0 stops at once.
    void SetPanicTime(int32_t tenths) { FPanic.SetFadeTenths(tenths); }
    int32_t PanicTime() const { return FPanic.FadeTenths(); }

    // Live level: this playback of `cue` plays at `db` (-60 to 0) instead of the cue's own level,
    // gliding there; the cue and the document keep theirs. Forgotten when the cue stops. A cue
    // that neither plays nor is paused is left alone.
    void SetLiveLevel(TCue& cue, int32_t db);
    // The level `cue` plays at: its live level while it has one, else its own.
    int32_t LiveLevel(const TCue& cue) const { return FLiveLevels.LevelOf(cue); }
    // The master level and the volume scale: every playing or paused cue glides to its volume
    // under them, and every later start takes them. A panic leaves them as they are.
    void SetLevels(const TLevels& levels);
    const TLevels& Levels() const { return PlaybackLevels(); }

    const TCueSequencer& Sequencer() const { return FSequencer; }
    // The cues that play, are paused, fade or wait; a cue's state change reaches it through
    // Refresh.
    TRunningCues& Running() { return FRunning; }
    // Fires the waits that are due by the clock; the sequencer's timer does this on its own.
    void FireDueWaits() { FSequencer.FireDue(); }

Q_SIGNALS:
    // Cue `number` has become the standby cue through GO or a selection.
    void StandbyChanged(int32_t number);
    // A start of the cue with that identity failed: `text` says why and what to do. An empty
    // text: the cue has since started.
    void CueProblem(quint64 identity, const QString& text);

private:
    void CueStreamEnded(const std::string& uid, HSTREAM stream, uint32_t how) override;
    void CueEnded(const std::string& uid, HSTREAM stream, uint32_t how);
    bool InGoLockout(TShowClock::TTimePoint now) const;
    bool Play(TCue& cue);
    void ApplyLevel(TCue& cue) const;
    TCue* CueOfIdentity(uint64_t identity) const;
    void CancelStartOf(const TCue& cue);

    TCueList& FCues;
    const TShowClock& FClock;
    TPanic FPanic;
    TCommandList FCommands;
    std::chrono::milliseconds FGoLockout = DefaultGoLockout;
    std::optional<TShowClock::TTimePoint> FLastGo;
    // Compared by address only, never followed unless the list still holds it.
    const TCue* FStartedLast = nullptr;
    TCueSequencer FSequencer;
    TLiveLevels FLiveLevels;
    TRunningCues FRunning{FCues, FSequencer};
};
