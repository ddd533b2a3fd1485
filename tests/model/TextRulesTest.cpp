#include "TextRules.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

using namespace std::string_literals;

// The one rule for integer texts, read by the settings document and by remote commands.
TEST(TextRules, IntegerTexts) {
    struct Case {
        std::string Text;
        std::optional<int32_t> Value;
    };
    const Case cases[] = {
        {"3", 3},
        {"42", 42},
        {"  12", 12},
        {"   -12", -12},
        {"+4", 4},
        {"-7", -7},
        {"007", 7},
        {"-0", 0},
        {"$A", 10},
        {"$2A", 42},
        {"x2A", 42},
        {"X2a", 42},
        {"0x2A", 42},
        {"0X2a", 42},
        {"0x0a", 10},
        {"xff", 255},
        {"$00000000A", 10},
        {"0x00000000a", 10},
        {"-$000000000A", -10},
        {"$000000001", 1},
        {"0x0000000000", 0},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"$FFFFFFFF", -1},
        {"$7fffffff", INT32_MAX},
        {"$80000000", INT32_MIN},
        {"-$80000000", INT32_MIN},
        {"-$10", -16},
        {"2147483648", {}},
        {"-2147483649", {}},
        {"99999999999999999999", {}},
        {"$100000000", {}},
        {"$123456789", {}},
        {"42 ", {}},
        {"\t42", {}},
        {"1.0", {}},
        {"1e3", {}},
        {"", {}},
        {"   ", {}},
        {"+", {}},
        {"-", {}},
        {"+-1", {}},
        {"- 5", {}},
        {"$", {}},
        {"0x", {}},
        {"-$", {}},
        {"$-5", {}},
        {"0x1G", {}},
        {"$G", {}},
        {"3rd", {}},
        {"seven", {}},
        {"1\0"s, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadIntegerText(c.Text), c.Value) << '"' << c.Text << '"';
}

TEST(TextRules, SameTextIgnoresTheCaseOfAToZOnly) {
    struct Case {
        std::string A, B;
        bool Same;
    };
    const Case cases[] = {
        {"play", "PLAY", true},
        {"Cue", "cUE", true},
        {".wav", ".WAV", true},
        {"", "", true},
        {"play", "play ", false},
        {"play", "pla", false},
        {"\xc3\xa4", "\xc3\x84", false},
        {"play\0"s, "play", false},
        {"[", "{", false},
        {"@", "`", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SameTextAscii(c.A, c.B), c.Same) << '"' << c.A << "\" \"" << c.B << '"';
}

TEST(TextRules, ClosingPeriod) {
    const std::pair<std::string, std::string> cases[] = {
        {"tag>", "tag>."},
        {"a/", "a/."},
        {"ends.", "ends."},
        {"line\n", "line\n"},
        {"(x)", "(x)"},
        {"a-", "a-"},
        {"", ""},
        {"\xC3\xA9", "\xC3\xA9."},
        {"Failed", "Failed."},
        {"Failed!", "Failed!"},
        {"Count 3", "Count 3."},
    };
    for (const auto& [message, shown] : cases)
        EXPECT_EQ(WithClosingPeriod(message), shown) << message;
}
