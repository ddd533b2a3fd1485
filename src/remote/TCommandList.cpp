#include "TCommandList.h"

#include "TextRules.h"

int32_t TCommandList::Parse(const std::vector<std::string>& lines) {
    Clear();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i % 2 == 0) {
            auto command = std::make_unique<TCommand>();
            command->Name = lines[i];
            Add(std::move(command));
        } else {
            FItems.back()->Value = ReadIntegerText(lines[i]).value_or(1);
        }
    }
    return Count();
}
