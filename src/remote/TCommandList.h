#pragma once

#include "TCommand.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The commands parsed from one forwarded argument list; owns them. UI thread only.
class TCommandList {
public:
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    TCommand* Items(int32_t index) const { return FItems.at(static_cast<size_t>(index)).get(); }
    void Add(std::unique_ptr<TCommand> command) { FItems.push_back(std::move(command)); }
    void Clear() { FItems.clear(); }

    // Refills the list from lines taken in pairs, word then number: a word without a readable
    // number names cue 1. Returns Count.
    int32_t Parse(const std::vector<std::string>& lines);

private:
    std::vector<std::unique_ptr<TCommand>> FItems;
};
