#include "TCueCellEdit.h"

#include "TCueCellText.h"
#include "TCueGridModel.h"

#include <array>

namespace {

const QString IntegerError = QStringLiteral("Cell does not contain integer value");
const QString SecondsError = QStringLiteral("Cell does not contain a time in seconds");
const QString ContinueError =
    QStringLiteral("Cell does not contain none, auto-continue or auto-follow");

} // namespace

std::optional<QString> TCueCellEdit::Write(TCue& cue, int col, const QString& text) {
    switch (col) {
    case ccDescription:
        cue.Description = text.toStdString();
        return std::nullopt;
    case ccFadeIn:
    case ccFadeOut:
    case ccPreWait:
    case ccPostWait:
        return WriteSeconds(cue, col, text);
    case ccContinue:
        return WriteContinue(cue, text);
    default:
        return WriteInteger(cue, col, text);
    }
}

std::optional<QString> TCueCellEdit::WriteInteger(TCue& cue, int col, const QString& text) {
    const std::optional<int32_t> value =
        col == ccVolume ? TCueCellText::ReadVolume(text) : TCueCellText::ReadInteger(text);
    if (!value)
        return IntegerError;
    switch (col) {
    case ccVolume:
        cue.SetVolumeDB(*value);
        break;
    case ccPan:
        cue.SetPan(*value);
        break;
    case ccPitch:
        cue.SetPitch(*value);
        break;
    case ccOutput:
        cue.SetAudioChannel(*value);
        break;
    default:
        break;
    }
    return std::nullopt;
}

std::optional<QString> TCueCellEdit::WriteSeconds(TCue& cue, int col, const QString& text) {
    const bool fade = col == ccFadeIn || col == ccFadeOut;
    const std::optional<int32_t> tenths =
        fade ? TCueCellText::ReadFade(text) : TCueCellText::ReadWait(text);
    if (!tenths)
        return SecondsError;
    // In the order of the columns, from Fade In on.
    const std::array setters = {&TCue::SetFadeIn, &TCue::SetFadeOut, &TCue::SetPreWait,
                                &TCue::SetPostWait};
    (cue.*setters[static_cast<size_t>(col - ccFadeIn)])(*tenths);
    return std::nullopt;
}

std::optional<QString> TCueCellEdit::WriteContinue(TCue& cue, const QString& text) {
    const std::optional<TCueContinue> value = TCueCellText::ReadContinue(text);
    if (!value)
        return ContinueError;
    cue.SetContinue(*value);
    return std::nullopt;
}
