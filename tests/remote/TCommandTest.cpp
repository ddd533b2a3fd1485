#include "TCommandList.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

#include <optional>
#include <string>
#include <vector>

TEST(TCommand, WordsMatchIgnoringTheCaseOfAToZOnly) {
    struct Case {
        std::string name;
        bool isPlay;
    };
    const Case cases[] = {
        {"play", true},   {"PLAY", true},     {"Play", true},         {"pLaY", true},
        {" play", false}, {"play.", false},   {"play ", false},       {"pla", false},
        {"", false},      {"play\0"s, false}, {"pl\xc3\xa4y", false},
    };
    for (const Case& c : cases) {
        TCommand command;
        command.Name = c.name;
        EXPECT_EQ(command.Is("play"), c.isPlay) << '"' << c.name << '"';
    }
}

TEST(TCommandList, ParseTakesLinesInPairsOfWordAndNumber) {
    using Pairs = std::vector<std::pair<std::string, int32_t>>;
    struct Case {
        std::vector<std::string> lines;
        Pairs expected;
    };
    const Case cases[] = {
        {{"PLAY", "3"}, {{"PLAY", 3}}},
        {{"play"}, {{"play", 1}}},
        {{"play", "three"}, {{"play", 1}}},
        {{"play", "$A"}, {{"play", 10}}},
        {{"play", "$00000000A"}, {{"play", 10}}},
        {{"pause", "0x00000000a"}, {{"pause", 10}}},
        {{"stop", "2", "3"}, {{"stop", 2}, {"3", 1}}},
        {{"play", "stop", "2"}, {{"play", 1}, {"2", 1}}},
        {{"play", "0"}, {{"play", 0}}},
        {{"go", "1"}, {{"go", 1}}},
        {{"play", "1", "stop", "2"}, {{"play", 1}, {"stop", 2}}},
        {{" play ", ""}, {{" play ", 1}}},
        {{}, {}},
    };
    TCommandList list;
    list.Parse({"stale", "9"});
    for (const Case& c : cases) {
        EXPECT_EQ(list.Parse(c.lines), static_cast<int32_t>(c.expected.size()));
        Pairs parsed;
        for (int32_t i = 0; i < list.Count(); ++i)
            parsed.emplace_back(list.Items(i)->Name, list.Items(i)->Value);
        EXPECT_EQ(parsed, c.expected) << (c.lines.empty() ? "" : c.lines[0]);
    }
}
