#include "TOscCommand.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

namespace {

constexpr size_t MaxParts = 3;

// The parts between the slashes of an absolute address; none when there are too many.
std::optional<std::vector<std::string_view>> PartsOf(std::string_view address) {
    if (!address.starts_with('/'))
        return std::nullopt;
    std::vector<std::string_view> parts;
    for (address.remove_prefix(1); parts.size() < MaxParts; address.remove_prefix(1)) {
        const size_t slash = address.find('/');
        parts.push_back(address.substr(0, slash));
        if (slash == std::string_view::npos)
            return parts;
        address.remove_prefix(slash);
    }
    return std::nullopt;
}

std::optional<int32_t> CueNumber(std::string_view text) {
    if (text.empty() || !std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() ? number : std::numeric_limits<int32_t>::max();
}

std::optional<TOscCommand::TKind> CueVerb(std::string_view verb) {
    if (verb == "start")
        return TOscCommand::ocCueStart;
    if (verb == "stop")
        return TOscCommand::ocCueStop;
    if (verb == "pause")
        return TOscCommand::ocCuePause;
    return std::nullopt;
}

std::optional<TOscCommand::TKind> Word(std::string_view word) {
    if (word == "go")
        return TOscCommand::ocGo;
    if (word == "stop")
        return TOscCommand::ocStopAll;
    if (word == "panic")
        return TOscCommand::ocPanic;
    return std::nullopt;
}

} // namespace

std::optional<TOscCommand> TOscCommand::FromAddress(std::string_view address) {
    const std::optional<std::vector<std::string_view>> parts = PartsOf(address);
    if (!parts)
        return std::nullopt;
    const std::vector<std::string_view>& p = *parts;
    if (p.size() == 1) {
        if (const std::optional<TKind> kind = Word(p[0]))
            return TOscCommand{*kind, 0};
    } else if (p.size() == 2 && p[0] == "select") {
        if (const std::optional<int32_t> number = CueNumber(p[1]))
            return TOscCommand{ocSelect, *number};
    } else if (p.size() == 3 && p[0] == "cue") {
        const std::optional<int32_t> number = CueNumber(p[1]);
        const std::optional<TKind> kind = CueVerb(p[2]);
        if (number && kind)
            return TOscCommand{*kind, *number};
    }
    return std::nullopt;
}
