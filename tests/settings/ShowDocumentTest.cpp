#include "TMediaNames.h"
#include "TProduction.h"
#include "TShowHistory.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

TCue& AddCue(TProduction& production, const std::string& description, const std::string& file) {
    auto cue = std::make_unique<TCue>();
    TCue& added = *cue;
    added.UID = std::to_string(production.Cues.Count() + 1);
    added.Description = description;
    added.FileName = file;
    production.Cues.Add(std::move(cue));
    return added;
}

std::vector<std::string> FileNames(const TProduction& production) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < production.Cues.Count(); ++i)
        names.push_back(production.Cues.Items(i)->FileName);
    return names;
}

// The FileName elements of a document, in order.
std::vector<std::string> StoredNames(const std::string& document) {
    pugi::xml_document parsed;
    EXPECT_TRUE(parsed.load_string(document.c_str()));
    std::vector<std::string> names;
    for (const pugi::xpath_node& node : parsed.select_nodes("/Production/CueList/Cue/FileName"))
        names.push_back(node.node().text().get());
    return names;
}

std::string CueListXml(const std::vector<std::string>& names) {
    std::string cues;
    for (const std::string& name : names)
        cues += "<Cue><FileName>" + name + "</FileName></Cue>";
    return "<Production><CueList>" + cues + "</CueList></Production>";
}

class ShowDocument : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/trelmo-show-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        FRoot = pattern;
    }
    void TearDown() override { fs::remove_all(FRoot); }

    fs::path FRoot;
};

TEST(MediaNames, RelativeInsideTheFolderOnly) {
    struct TCase {
        const char* File;
        const char* Folder;
        const char* Stored;
    };
    const TCase cases[] = {
        {"/show/a.wav", "/show", "a.wav"},
        {"/show/media/a b.wav", "/show", "media/a b.wav"},
        {"/show/media/../a.wav", "/show", "a.wav"},
        {"/showtime/a.wav", "/show", "/showtime/a.wav"},
        {"/other/a.wav", "/show", "/other/a.wav"},
        {"/a.wav", "/show", "/a.wav"},
        {"/show/a.wav", "", "/show/a.wav"},
        {"", "/show", ""},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(TMediaNames::Relative(c.File, c.Folder), c.Stored)
            << c.File << " in " << c.Folder;
        if (*c.Folder) {
            EXPECT_EQ(TMediaNames::Resolved(c.Stored, c.Folder),
                      fs::path(c.File).lexically_normal().string());
        }
    }
}

TEST(MediaNames, ResolvingKeepsAbsoluteAndWindowsNames) {
    struct TCase {
        const char* Stored;
        const char* Folder;
        const char* File;
    };
    const TCase cases[] = {
        {"a.wav", "/show", "/show/a.wav"},
        {"../music/a.wav", "/show/cues", "/show/music/a.wav"},
        {"/other/a.wav", "/show", "/other/a.wav"},
        {"C:\\Show\\a.wav", "/show", "C:\\Show\\a.wav"},
        {"d:/Audio/a.wav", "/show", "d:/Audio/a.wav"},
        {"a.wav", "", "a.wav"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TMediaNames::Resolved(c.Stored, c.Folder), c.File) << c.Stored;
}

// Names are written back as they were read while they still name the same file; a changed file
// or a document in another folder gets the form of the folder written to.
TEST(MediaNames, WrittenBackAsRead) {
    TMediaNames names;
    EXPECT_EQ(names.Read(1, "/show/a.wav", "/show"), "/show/a.wav");
    EXPECT_EQ(names.Read(2, "b.wav", "/show"), "/show/b.wav");
    EXPECT_EQ(names.Stored(1, "/show/a.wav", "/show"), "/show/a.wav");
    EXPECT_EQ(names.Stored(2, "/show/b.wav", "/show"), "b.wav");
    EXPECT_EQ(names.Stored(1, "/show/c.wav", "/show"), "c.wav");
    EXPECT_EQ(names.Stored(2, "/show/b.wav", "/elsewhere"), "/show/b.wav");
    EXPECT_EQ(names.Stored(3, "/show/sub/d.wav", "/show"), "sub/d.wav");
}

TEST_F(ShowDocument, OldSettingsWithAbsoluteNamesInsideTheirFolderAreWrittenByteForByte) {
    const std::string folder = FRoot.string();
    TProduction written;
    written.FileName = folder + "/Settings.xml";
    AddCue(written, "inside", folder + "/media/a.wav");
    AddCue(written, "outside", "/elsewhere/b.wav");
    // A document of before: absolute names also inside its folder.
    std::string old = written.SaveToText();
    const std::string relative = "<FileName>media/a.wav</FileName>";
    ASSERT_NE(old.find(relative), std::string::npos);
    old.replace(old.find(relative), relative.size(),
                "<FileName>" + folder + "/media/a.wav</FileName>");
    WriteBytes(written.FileName, old);

    TProduction read;
    ASSERT_TRUE(read.LoadFromFile(written.FileName));
    read.FileName = written.FileName;
    EXPECT_EQ(read.SaveToText(), old);
    EXPECT_EQ(FileNames(read), FileNames(written));
}

TEST_F(ShowDocument, RelativeAndAbsoluteNamesAreWrittenBackAsRead) {
    const fs::path file = FRoot / "show.trelmo";
    const std::vector<std::string> stored = {"a.wav", (FRoot / "b.wav").string(), "media/c.wav",
                                             "/elsewhere/d.wav"};
    WriteBytes(file, CueListXml(stored));
    TProduction production;
    ASSERT_TRUE(production.LoadShowFromFile(file));
    EXPECT_EQ(FileNames(production),
              (std::vector<std::string>{(FRoot / "a.wav").string(), (FRoot / "b.wav").string(),
                                        (FRoot / "media/c.wav").string(), "/elsewhere/d.wav"}));
    EXPECT_EQ(StoredNames(production.ShowText(file)), stored);
}

TEST_F(ShowDocument, ShowFileRoundTrips) {
    const fs::path file = FRoot / "show.trelmo";
    TProduction written;
    written.FormState = {10, 20, 300, 700};
    written.GoLockout.Milliseconds = 0;
    AddCue(written, "Door bell", (FRoot / "media/door bell.wav").string()).Loop = true;
    AddCue(written, "Rain", "/elsewhere/rain.mp3").SetVolumeDB(-12);
    written.Playback.Levels = {TVolumeScale::Decibels, -6};
    written.Playback.PanicFade = 30;
    const std::string text = written.ShowText(file);
    WriteBytes(file, text);
    EXPECT_EQ(StoredNames(text),
              (std::vector<std::string>{"media/door bell.wav", "/elsewhere/rain.mp3"}));

    TProduction read;
    read.FormState = {1, 2, 3, 4};
    ASSERT_TRUE(read.LoadShowFromFile(file));
    EXPECT_EQ(FileNames(read), FileNames(written));
    EXPECT_EQ(read.Cues.Items(0)->Description, "Door bell");
    EXPECT_TRUE(read.Cues.Items(0)->Loop);
    EXPECT_EQ(read.Cues.Items(1)->VolumeDB(), -12);
    // Opening a show changes only the cues and the scale their levels were set in.
    EXPECT_EQ(read.FormState.Top, 1);
    EXPECT_EQ(read.GoLockout.Milliseconds, TGoLockout::DefaultMilliseconds);
    EXPECT_EQ(read.Playback.Levels.Scale, TVolumeScale::Decibels);
    EXPECT_EQ(read.Playback.Levels.MasterDB, TLevels::Full);
    EXPECT_EQ(read.Playback.PanicFade, TPlaybackSettings::DefaultPanicFade);
    read.FormState = written.FormState;
    read.GoLockout = written.GoLockout;
    read.Playback = written.Playback;
    EXPECT_EQ(read.ShowText(file), text);

    // A show of before the choice was made plays its levels on the linear scale.
    WriteBytes(file, CueListXml({"a.wav"}));
    ASSERT_TRUE(read.LoadShowFromFile(file));
    EXPECT_EQ(read.Playback.Levels.Scale, TVolumeScale::Linear);
}

// Any show file is a Settings.xml and the other way round.
TEST_F(ShowDocument, ShowFilesAndSettingsReadEachOther) {
    TProduction show;
    show.FormState = {5, 6, 500, 900};
    AddCue(show, "one", (FRoot / "one.wav").string());
    AddCue(show, "two", "/elsewhere/two.wav");
    const fs::path showFile = FRoot / "show.trelmo";
    WriteBytes(showFile, show.ShowText(showFile));

    TProduction asSettings;
    asSettings.FileName = showFile;
    ASSERT_TRUE(asSettings.LoadFromFile(showFile));
    EXPECT_EQ(FileNames(asSettings), FileNames(show));
    EXPECT_EQ(asSettings.FormState.Width, 900);
    EXPECT_EQ(asSettings.SaveToText(), show.ShowText(showFile));

    const fs::path settingsFile = FRoot / "Settings.xml";
    asSettings.FileName = settingsFile;
    WriteBytes(settingsFile, asSettings.SaveToText());
    TProduction asShow;
    ASSERT_TRUE(asShow.LoadShowFromFile(settingsFile));
    EXPECT_EQ(FileNames(asShow), FileNames(show));
    EXPECT_EQ(asShow.Cues.Items(1)->Description, "two");
}

TEST_F(ShowDocument, ShowFolderMovedElsewhereFindsEveryFile) {
    const fs::path before = FRoot / "before";
    const fs::path outside = FRoot / "outside/bell.wav";
    for (const fs::path& audio : {before / "a.wav", before / "media/b.wav", outside})
        WriteBytes(audio, "RIFF");
    TProduction show;
    for (const char* name : {"a.wav", "media/b.wav"})
        AddCue(show, name, (before / name).string());
    AddCue(show, "bell", outside.string());
    WriteBytes(before / "show.trelmo", show.ShowText(before / "show.trelmo"));

    const fs::path after = FRoot / "after/deeper";
    fs::create_directories(after.parent_path());
    fs::rename(before, after);
    TProduction moved;
    ASSERT_TRUE(moved.LoadShowFromFile(after / "show.trelmo"));
    EXPECT_EQ(FileNames(moved),
              (std::vector<std::string>{(after / "a.wav").string(),
                                        (after / "media/b.wav").string(), outside.string()}));
    for (int32_t i = 0; i < moved.Cues.Count(); ++i)
        EXPECT_TRUE(moved.Cues.Items(i)->FileFound()) << moved.Cues.Items(i)->FileName;
}

// With a show file open, Settings.xml names it and holds no cues; the show file holds them.
TEST_F(ShowDocument, SettingsNameTheOpenShow) {
    TProduction production;
    production.FileName = (FRoot / "Settings.xml").string();
    AddCue(production, "one", "/elsewhere/one.wav");
    const std::string withoutShow = production.SaveToText();
    EXPECT_EQ(withoutShow.find("ShowFile"), std::string::npos);
    EXPECT_EQ(withoutShow.find("RecentShows"), std::string::npos);

    production.Shows.Open = (FRoot / "show & more.trelmo").string();
    production.Shows.Remember(production.Shows.Open);
    const std::string settings = production.SaveToText();
    EXPECT_TRUE(StoredNames(settings).empty());
    EXPECT_NE(settings.find("  <CueList/>\r\n"), std::string::npos);
    EXPECT_NE(settings.find("<ShowFile>" + (FRoot / "show &amp; more.trelmo").string() +
                            "</ShowFile>\r\n  <RecentShows>\r\n    <Show>"),
              std::string::npos);
    EXPECT_EQ(production.ShowText(production.Shows.Open).find("Show>"), std::string::npos);

    TProduction read;
    read.LoadFromText(settings);
    EXPECT_EQ(read.Shows.Open, production.Shows.Open);
    EXPECT_EQ(read.Shows.Recent, production.Shows.Recent);
    EXPECT_EQ(read.Cues.Count(), 0);
}

TEST(ShowHistory, RecentShowsNewestFirstOnceAndBounded) {
    TShowHistory history;
    for (size_t i = 0; i < TShowHistory::MaxRecent + 2; ++i)
        history.Remember("/shows/" + std::to_string(i));
    history.Remember("/shows/5");
    ASSERT_EQ(history.Recent.size(), TShowHistory::MaxRecent);
    EXPECT_EQ(history.Recent.front(), "/shows/5");
    EXPECT_EQ(history.Recent[1], "/shows/9");
    EXPECT_EQ(std::count(history.Recent.begin(), history.Recent.end(), "/shows/5"), 1);
    history.Forget("/shows/9");
    EXPECT_EQ(history.Recent[1], "/shows/8");
}

TEST(ShowHistory, ReadingSkipsDuplicatesEmptyAndForeignEntries) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string("<P><RecentShows><Show>/a</Show><Other>/x</Other><Show/>"
                                     "<Show>/b</Show><Show>/a</Show></RecentShows></P>"));
    TShowHistory history;
    history.Open = "/before";
    history.LoadFromXML(document.first_child());
    EXPECT_EQ(history.Open, "");
    EXPECT_EQ(history.Recent, (std::vector<std::string>{"/a", "/b"}));
}

} // namespace
