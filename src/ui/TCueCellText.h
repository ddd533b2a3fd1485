#pragma once

#include "TCue.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// How the grid writes a cue's numbers into its cells and reads typed cells back.
class TCueCellText {
public:
    // A cell read as an integer: blanks around are ignored, empty text and a lone "-" read as 0.
    static std::optional<int32_t> ReadInteger(const QString& text);
    // The volume cell without its "dB"; anything but a number is refused, so a typo never turns a
    // cue up to 0 dB.
    static std::optional<int32_t> ReadVolume(QString text);
    // A fade or wait time in tenths of a second as the grid shows it, "1.5 s"; none for 0.
    static QString Fade(int32_t tenths);
    // A fade cell in tenths of a second: seconds with or without " s", empty reads as 0; a
    // longer time is the longest fade.
    static std::optional<int32_t> ReadFade(QString text);
    // A wait cell, as a fade cell up to the longest wait.
    static std::optional<int32_t> ReadWait(QString text);
    // The Continue cell: empty for none, an arrow into the next cue otherwise; a looping cue
    // that would follow says that it never ends.
    static QString Continue(TCueContinue value, bool loop);
    // The Continue drop-down's entries, in the order of TCueContinue.
    static QStringList ContinueChoices();
    // A Continue cell: an entry of the drop-down or its number.
    static std::optional<TCueContinue> ReadContinue(const QString& text);
    // m:ss.d, tenths cut off.
    static QString Time(double seconds);
};
