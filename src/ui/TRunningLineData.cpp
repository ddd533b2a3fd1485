#include "TRunningLineData.h"

#include "TCueCellText.h"
#include "TCueTimeCell.h"
#include "TOutputNames.h"

namespace {

QString TextOf(TRunningState state) {
    switch (state) {
    case TRunningState::Waiting:
        return QStringLiteral("Waiting");
    case TRunningState::WaitPaused:
        return QStringLiteral("Wait paused");
    case TRunningState::Playing:
        return QStringLiteral("Playing");
    case TRunningState::Fading:
        return QStringLiteral("Fading out");
    case TRunningState::Paused:
        return QStringLiteral("Paused");
    }
    return {};
}

} // namespace

// A wait shows its time left where the time left of the sound goes; the time played shows once
// the sound has started.
TRunningLineData TRunningLineData::Of(const TCue& cue, TCueNumber number, TRunningState state,
                                      const TCueSequencer& waits, std::optional<double> length,
                                      const TOutputNames& outputs) {
    TRunningLineData line;
    line.Title =
        QStringLiteral("%1  %2").arg(number.Number()).arg(QString::fromStdString(cue.Description));
    line.Output = outputs.Text(cue.AudioChannel());
    line.State = state;
    line.StateText = TextOf(state);
    if (cue.State() == csStopped) {
        if (const auto wait = waits.TimeToStart(cue))
            line.Remaining = TCueTimeCell::Wait(*wait).Text;
        return line;
    }
    TAudioPosition position;
    if (TAudioLibrary* audio = AudioLibrary();
        audio && audio->AudioChannelGetPosition(cue.Stream(), &position))
        line.Elapsed = TCueCellText::Time(position.Seconds);
    if (const auto progress = TCueTimeCell::Progress(cue, length)) {
        line.Remaining = cue.Loop ? QStringLiteral("Loop") : progress->Text;
        line.Done = progress->Done;
    }
    return line;
}
