#include "TCueList.h"
#include "FakeAudioLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

std::unique_ptr<TCue> MakeCue(const std::string& uid, const std::string& description = "") {
    auto cue = std::make_unique<TCue>();
    cue->UID = uid;
    cue->Description = description;
    return cue;
}

std::string Order(const TCueList& list) {
    std::string order;
    for (int32_t i = 0; i < list.Count(); ++i)
        order += list.Items(i)->Description;
    return order;
}

std::vector<std::string> UIDs(const TCueList& list) {
    std::vector<std::string> uids;
    for (int32_t i = 0; i < list.Count(); ++i)
        uids.push_back(list.Items(i)->UID);
    return uids;
}

} // namespace

TEST(TCueList, EmptyList) {
    TCueList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Current(), 0);
    list.SetCurrent(TCueNumber(1));
    EXPECT_EQ(list.CurrentCue(), nullptr);
    EXPECT_TRUE(list.AllStopped());
    list.StopAll();
    EXPECT_EQ(list.IndexOfUID(""), 0);
    EXPECT_EQ(list.IndexOfUID("1"), 0);
    EXPECT_EQ(list.AssignMissingUIDs(), 0);
}

TEST(TCueList, CurrentCueOnlyForANumberWithinTheList) {
    TCueList list;
    list.Add(MakeCue("1", "A"));
    list.Add(MakeCue("2", "B"));
    const std::pair<int32_t, std::string> cases[] = {
        {0, "none"}, {-1, "none"}, {1, "A"}, {2, "B"}, {3, "none"}};
    for (const auto& [current, expected] : cases) {
        list.SetCurrent(TCueNumber(current));
        TCue* cue = list.CurrentCue();
        EXPECT_EQ(cue ? cue->Description : "none", expected) << current;
    }
}

TEST(TCueList, SetCurrentNotifiesOldAndNewOnlyOnAChange) {
    TCueList list;
    std::vector<std::tuple<int32_t, int32_t, int32_t>> notices;
    list.OnCurrentChange = [&](int32_t oldNumber, int32_t newNumber) {
        notices.emplace_back(oldNumber, newNumber, list.Current().Number());
    };
    list.SetCurrent(TCueNumber(2));
    list.SetCurrent(TCueNumber(2));
    list.SetCurrent(TCueNumber(0));
    list.SetCurrent(TCueNumber(57));
    const std::vector<std::tuple<int32_t, int32_t, int32_t>> expected = {
        {0, 2, 2}, {2, 0, 0}, {0, 57, 57}};
    EXPECT_EQ(notices, expected);
}

TEST(TCueList, StructuralOperations) {
    struct Case {
        const char* name;
        std::function<void(TCueList&)> op;
        const char* order;
    };
    const Case cases[] = {
        {"move 0 to 2", [](TCueList& l) { l.Move(0, 2); }, "BCA"},
        {"move 2 to 0", [](TCueList& l) { l.Move(2, 0); }, "CAB"},
        {"move 1 to 1", [](TCueList& l) { l.Move(1, 1); }, "ABC"},
        {"insert at count", [](TCueList& l) { l.Insert(3, MakeCue("", "D")); }, "ABCD"},
        {"insert at 0", [](TCueList& l) { l.Insert(0, MakeCue("", "D")); }, "DABC"},
        {"insert at 1", [](TCueList& l) { l.Insert(1, MakeCue("", "D")); }, "ADBC"},
        {"delete middle", [](TCueList& l) { l.Delete(1); }, "AC"},
        {"delete last", [](TCueList& l) { l.Delete(2); }, "AB"},
        {"clear", [](TCueList& l) { l.Clear(); }, ""},
    };
    for (const Case& c : cases) {
        TCueList list;
        for (const char* d : {"A", "B", "C"})
            list.Add(MakeCue("", d));
        list.SetCurrent(TCueNumber(2));
        int notices = 0;
        list.OnCurrentChange = [&](int32_t, int32_t) { ++notices; };
        c.op(list);
        EXPECT_EQ(Order(list), c.order) << c.name;
        EXPECT_EQ(list.Current(), 2) << c.name;
        EXPECT_EQ(notices, 0) << c.name;
    }
}

TEST(TCueList, OutOfRangePositionsRaiseAndChangeNothing) {
    struct Case {
        std::function<void(TCueList&)> op;
        const char* message;
    };
    const Case cases[] = {
        {[](TCueList& l) { l.Items(2); }, "List index out of bounds (2)"},
        {[](TCueList& l) { l.Items(-1); }, "List index out of bounds (-1)"},
        {[](TCueList& l) { l.Insert(3, MakeCue("", "X")); }, "List index out of bounds (3)"},
        {[](TCueList& l) { l.Delete(2); }, "List index out of bounds (2)"},
        {[](TCueList& l) { l.Move(0, 2); }, "List index out of bounds (2)"},
        {[](TCueList& l) { l.Move(5, 0); }, "List index out of bounds (5)"},
    };
    for (const Case& c : cases) {
        TCueList list;
        list.Add(MakeCue("", "A"));
        list.Add(MakeCue("", "B"));
        try {
            c.op(list);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const EListError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(Order(list), "AB") << c.message;
    }
}

TEST(TCueList, IndexOfUIDMatchesExactlyAndFindsTheFirst) {
    TCueList list;
    for (const char* uid : {"A", "5", "01", "5", ""})
        list.Add(MakeCue(uid));
    EXPECT_EQ(list.IndexOfUID("a"), 0);
    EXPECT_EQ(list.IndexOfUID("A"), 1);
    EXPECT_EQ(list.IndexOfUID("5"), 2);
    EXPECT_EQ(list.IndexOfUID("1"), 0);
    EXPECT_EQ(list.IndexOfUID(" 5"), 0);
    EXPECT_EQ(list.IndexOfUID(""), 5);
}

TEST(TCueList, AssignMissingUIDsGivesTheLowestFreeNumbersTopDown) {
    struct Case {
        std::vector<std::string> before;
        std::vector<std::string> after;
        int32_t missing;
    };
    const Case cases[] = {
        {{"1", "2", "4", ""}, {"1", "2", "4", "3"}, 1}, {{"", "", ""}, {"1", "2", "3"}, 3},
        {{"", "1", "", "3"}, {"2", "1", "4", "3"}, 2},  {{"5", "5", ""}, {"5", "5", "1"}, 1},
        {{"x", "01", ""}, {"x", "01", "1"}, 1},
    };
    for (const Case& c : cases) {
        TCueList list;
        for (const std::string& uid : c.before)
            list.Add(MakeCue(uid));
        EXPECT_EQ(list.AssignMissingUIDs(), c.missing);
        EXPECT_EQ(UIDs(list), c.after);
    }
}

TEST(TCueList, IdentifierSpaceEndsAt1000) {
    TCueList list;
    for (int n = 1; n <= 1000; ++n)
        list.Add(MakeCue(std::to_string(n)));
    list.Add(MakeCue(""));
    EXPECT_EQ(list.AssignUID(1000), "");
    EXPECT_EQ(list.AssignMissingUIDs(), 1);
    EXPECT_EQ(list.AssignMissingUIDs(), 1);
    EXPECT_EQ(list.Items(1000)->UID, "");
    list.Items(499)->UID = "";
    list.Items(1000)->UID = "";
    EXPECT_EQ(list.AssignMissingUIDs(), 2);
    EXPECT_EQ(list.Items(499)->UID, "500");
    EXPECT_EQ(list.Items(1000)->UID, "");
}

TEST(TCueList, PlayStatesAndStopAll) {
    FakeAudioLibrary audio;
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("trelmo-list-" + std::to_string(::getpid()) + ".wav");
    std::ofstream(file) << "x";
    TCueList list;
    std::vector<std::string> notices;
    for (const char* uid : {"1", "2", "3"}) {
        list.Add(MakeCue(uid));
        list.Items(list.Count() - 1)->FileName = file.string();
        list.Items(list.Count() - 1)->OnStateChange = [&](const std::string& u) {
            notices.push_back(u);
        };
    }
    EXPECT_TRUE(list.AllStopped());
    list.Items(1)->Play();
    list.Items(1)->Pause();
    EXPECT_FALSE(list.AllStopped());
    list.Items(2)->Play();
    notices.clear();
    list.StopAll();
    EXPECT_EQ(notices, (std::vector<std::string>{"2", "3"}));
    EXPECT_TRUE(list.AllStopped());
    std::filesystem::remove(file);
}

TEST(TCueList, DeleteAndClearReleaseCuesAndTheirStreamsExtractHandsThemOver) {
    FakeAudioLibrary audio;
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("trelmo-rel-" + std::to_string(::getpid()) + ".wav");
    std::ofstream(file) << "x";
    TCueList list;
    for (int i = 0; i < 3; ++i) {
        list.Add(MakeCue(""));
        list.Items(i)->FileName = file.string();
        list.Items(i)->Play();
    }
    list.Move(0, 2);
    EXPECT_TRUE(audio.Freed.empty());
    list.Delete(0); // stream 2
    EXPECT_EQ(audio.Freed, std::vector<HSTREAM>{2});
    // A cue taken out keeps its stream until its new owner releases it.
    std::unique_ptr<TCue> taken = list.Extract(1); // stream 1
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.IndexOf(taken.get()), 0);
    EXPECT_EQ(audio.Freed, std::vector<HSTREAM>{2});
    taken.reset();
    EXPECT_EQ(audio.Freed, (std::vector<HSTREAM>{2, 1}));
    list.Clear();
    EXPECT_EQ(audio.Freed, (std::vector<HSTREAM>{2, 1, 3}));
    std::filesystem::remove(file);
}
