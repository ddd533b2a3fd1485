// Loads arbitrary bytes as a settings document. Whatever loads must save, and what is saved must
// load again and settle on one document after a few rounds (blank-only texts and lone CRs are
// normalised on the way).
#include "EXMLParseError.h"
#include "TProduction.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr int Rounds = 4;

std::string SaveAndReload(const std::string& text) {
    TProduction production;
    production.LoadFromText(text);
    return production.SaveToText();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TProduction production;
    try {
        production.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const EXMLParseError&) {
        return 0;
    }
    std::string previous;
    std::string saved = production.SaveToText();
    for (int round = 0; round < Rounds; ++round) {
        previous = saved;
        saved = SaveAndReload(previous);
    }
    if (saved != previous)
        std::abort();
    return 0;
}
