#include "TCueTimeCell.h"

#include "TCueCellText.h"

#include <algorithm>
#include <cmath>

namespace {

// Seconds rounded up to a tenth, so that 0:00.0 shows only at the very end.
double TenthsUp(double seconds) {
    return std::ceil(seconds * 10 - 1e-6) / 10;
}

} // namespace

std::optional<TCueProgress> TCueTimeCell::Progress(const TCue& cue, std::optional<double> length) {
    TAudioLibrary* audio = AudioLibrary();
    TAudioPosition position;
    if (cue.State() == csStopped || !audio ||
        !audio->AudioChannelGetPosition(cue.Stream(), &position))
        return std::nullopt;
    const double duration = length && position.Speed > 0 ? *length / position.Speed : 0;
    if (!(duration > 0))
        return TCueProgress{TCueCellText::Time(position.Seconds), std::nullopt};
    if (cue.Loop) {
        const double pass = std::fmod(position.Seconds, duration);
        return TCueProgress{TCueCellText::Time(pass), pass / duration};
    }
    const double played = std::min(position.Seconds, duration);
    return TCueProgress{QStringLiteral("-") + TCueCellText::Time(TenthsUp(duration - played)),
                        played / duration};
}

TCueProgress TCueTimeCell::Wait(std::chrono::steady_clock::duration left) {
    const double seconds = std::chrono::duration<double>(left).count();
    return {QStringLiteral("wait ") + TCueCellText::Time(TenthsUp(std::max(seconds, 0.0))),
            std::nullopt};
}
