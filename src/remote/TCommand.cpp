#include "TCommand.h"

#include "TextRules.h"

bool TCommand::Is(std::string_view word) const {
    return SameTextAscii(Name, word);
}
