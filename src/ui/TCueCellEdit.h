#pragma once

#include "TCue.h"

#include <QString>

#include <optional>

// Writes the text typed into a cell of the grid to the cue, through its clamping setters.
class TCueCellEdit {
public:
    // Nothing when the cue took the text; otherwise what was wrong with it, for the operator,
    // and the cue is left as it was.
    static std::optional<QString> Write(TCue& cue, int col, const QString& text);

private:
    static std::optional<QString> WriteInteger(TCue& cue, int col, const QString& text);
    static std::optional<QString> WriteSeconds(TCue& cue, int col, const QString& text);
    static std::optional<QString> WriteContinue(TCue& cue, const QString& text);
};
