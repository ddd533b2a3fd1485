#include "TProduction.h"
#include "EXMLParseError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

const std::string DefaultDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<Production>\r\n"
    "  <Windows>\r\n"
    "    <Main Top=\"100\" Left=\"100\" Height=\"400\" Width=\"600\"/>\r\n"
    "  </Windows>\r\n"
    "  <CueList/>\r\n"
    "</Production>";

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ExampleDocument() {
    return ReadBytes(fs::path(TRELMO_SETTINGS_TEST_DATA) / "Example.xml");
}

TCue& AddCue(TProduction& production, const std::string& uid, const std::string& description,
             const std::string& file, int32_t channel, int32_t volume, int32_t pan, bool loop) {
    auto cue = std::make_unique<TCue>();
    TCue& added = *cue;
    added.UID = uid;
    added.Description = description;
    added.FileName = file;
    added.SetAudioChannel(channel);
    added.SetVolumeDB(volume);
    added.SetPan(pan);
    added.Loop = loop;
    production.Cues.Add(std::move(cue));
    return added;
}

// Loads a document whose root holds the given XML.
std::unique_ptr<TProduction> Loaded(const std::string& inside) {
    auto production = std::make_unique<TProduction>();
    production->LoadFromText("<Production>" + inside + "</Production>");
    return production;
}

TEST(TProduction, WritesTheDefaultDocument) {
    TProduction production;
    EXPECT_EQ(production.SaveToText(), DefaultDocument);
}

TEST(TProduction, WritesTheExampleFromTheModel) {
    TProduction production;
    production.FormState = {120, 200, 450, 800};
    AddCue(production, "1", "Door bell", "C:\\Show\\door bell.wav", 1, -6, 0, false);
    AddCue(production, "2", "Rain\r\nfade in slowly", "D:\\Audio\\rain.mp3", 2, -20, -50, true);
    EXPECT_EQ(production.SaveToText(), ExampleDocument());
}

TEST(TProduction, ExampleRoundTripsByteForByte) {
    TProduction production;
    std::vector<const TCue*> changed;
    production.OnCueStateChange = [&](const TCue& cue) { changed.push_back(&cue); };
    ASSERT_TRUE(production.LoadFromFile(fs::path(TRELMO_SETTINGS_TEST_DATA) / "Example.xml"));
    EXPECT_EQ(production.FormState.Top, 120);
    EXPECT_EQ(production.FormState.Left, 200);
    EXPECT_EQ(production.FormState.Height, 450);
    EXPECT_EQ(production.FormState.Width, 800);
    ASSERT_EQ(production.Cues.Count(), 2);
    const TCue& rain = *production.Cues.Items(1);
    EXPECT_EQ(rain.UID, "2");
    EXPECT_EQ(rain.Description, "Rain\r\nfade in slowly");
    EXPECT_EQ(rain.FileName, "D:\\Audio\\rain.mp3");
    EXPECT_EQ(rain.AudioChannel(), 2);
    EXPECT_EQ(rain.VolumeDB(), -20);
    EXPECT_EQ(rain.Pan(), -50);
    EXPECT_EQ(rain.Pitch(), 100);
    EXPECT_TRUE(rain.Loop);
    EXPECT_FALSE(production.Cues.Items(0)->Loop);
    EXPECT_EQ(production.SaveToText(), ExampleDocument());

    production.Cues.Items(1)->SetState(csPlaying);
    EXPECT_EQ(changed, std::vector<const TCue*>{production.Cues.Items(1)});
}

TEST(TProduction, ValuesAreClampedOrDefaulted) {
    const auto p = Loaded("<CueList><Cue><AudioChannel>9</AudioChannel><Volume-dB>10</Volume-dB>"
                          "<Pitch>50</Pitch><Pan>-300</Pan></Cue>"
                          "<Cue><AudioChannel>word</AudioChannel><Volume-dB>-61</Volume-dB>"
                          "<Pitch>200</Pitch><Pan>300</Pan></Cue><Cue/></CueList>");
    ASSERT_EQ(p->Cues.Count(), 3);
    const TCue& a = *p->Cues.Items(0);
    EXPECT_EQ(a.AudioChannel(), 4);
    EXPECT_EQ(a.VolumeDB(), 0);
    EXPECT_EQ(a.Pitch(), 75);
    EXPECT_EQ(a.Pan(), -100);
    const TCue& b = *p->Cues.Items(1);
    EXPECT_EQ(b.AudioChannel(), 1);
    EXPECT_EQ(b.VolumeDB(), -60);
    EXPECT_EQ(b.Pitch(), 125);
    EXPECT_EQ(b.Pan(), 100);
    const TCue& empty = *p->Cues.Items(2);
    EXPECT_EQ(empty.Description, "Untitled");
    EXPECT_EQ(empty.FileName, "");
    EXPECT_EQ(empty.AudioChannel(), 1);
    EXPECT_EQ(empty.VolumeDB(), 0);
    EXPECT_EQ(empty.Pan(), 0);
    EXPECT_EQ(empty.Pitch(), 100);
    EXPECT_FALSE(empty.Loop);
}

TEST(TProduction, FadeTimesAreReadTolerantlyAndClamped) {
    struct Case {
        const char* Xml;
        int32_t FadeIn, FadeOut;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"<FadeIn>15</FadeIn><FadeOut>600</FadeOut>", 15, 600},
        {"<FadeIn>601</FadeIn><FadeOut>-5</FadeOut>", 600, 0},
        {"<FadeIn>1.5</FadeIn><FadeOut>slow</FadeOut>", 0, 0},
        {"<FadeIn></FadeIn><fadeout>20</fadeout>", 0, 0},
    };
    for (const Case& c : cases) {
        const auto p = Loaded(std::string("<CueList><Cue>") + c.Xml + "</Cue></CueList>");
        EXPECT_EQ(p->Cues.Items(0)->FadeIn(), c.FadeIn) << c.Xml;
        EXPECT_EQ(p->Cues.Items(0)->FadeOut(), c.FadeOut) << c.Xml;
    }
}

// Only a fade time that is not 0 is written, after the other values of its cue.
TEST(TProduction, FadeTimesRoundTrip) {
    TProduction production;
    production.FormState = {120, 200, 450, 800};
    AddCue(production, "1", "Door bell", "C:\\Show\\door bell.wav", 1, -6, 0, false).SetFadeOut(15);
    TCue& rain = AddCue(production, "2", "Rain", "rain.mp3", 2, -20, -50, true);
    rain.SetFadeIn(600);
    rain.SetFadeOut(5);
    AddCue(production, "3", "Quiet", "quiet.wav", 1, 0, 0, false);
    const std::string text = production.SaveToText();
    EXPECT_NE(text.find("<Loop>0</Loop>\r\n      <FadeOut>15</FadeOut>\r\n    </Cue>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<Loop>-1</Loop>\r\n      <FadeIn>600</FadeIn>\r\n      "
                        "<FadeOut>5</FadeOut>\r\n    </Cue>"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("<FadeIn>0"), std::string::npos);
    EXPECT_EQ(text.find("<FadeOut>0"), std::string::npos);
    TProduction loaded;
    loaded.LoadFromText(text);
    ASSERT_EQ(loaded.Cues.Count(), 3);
    const int32_t expected[3][2] = {{0, 15}, {600, 5}, {0, 0}};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(loaded.Cues.Items(i)->FadeIn(), expected[i][0]) << i;
        EXPECT_EQ(loaded.Cues.Items(i)->FadeOut(), expected[i][1]) << i;
    }
    EXPECT_EQ(loaded.SaveToText(), text);
    for (int32_t i = 0; i < 3; ++i) {
        production.Cues.Items(i)->SetFadeIn(0);
        production.Cues.Items(i)->SetFadeOut(0);
    }
    EXPECT_EQ(production.SaveToText().find("Fade"), std::string::npos);
}

TEST(TProduction, WaitsAndContinueAreReadTolerantlyAndClamped) {
    struct Case {
        const char* Xml;
        int32_t PreWait, PostWait;
        TCueContinue Continue;
    };
    const Case cases[] = {
        {"", 0, 0, TCueContinue::None},
        {"<PreWait>20</PreWait><PostWait>36000</PostWait><Continue>AutoContinue</Continue>", 20,
         36000, TCueContinue::AutoContinue},
        {"<PreWait>36001</PreWait><PostWait>-5</PostWait><Continue>AutoFollow</Continue>", 36000, 0,
         TCueContinue::AutoFollow},
        {"<PreWait>2.0</PreWait><PostWait>later</PostWait><Continue>autofollow</Continue>", 0, 0,
         TCueContinue::None},
        {"<PreWait></PreWait><postwait>20</postwait><Continue>1</Continue>", 0, 0,
         TCueContinue::None},
        {"<Continue><b>AutoFollow</b></Continue>", 0, 0, TCueContinue::None},
    };
    for (const Case& c : cases) {
        const auto p = Loaded(std::string("<CueList><Cue>") + c.Xml + "</Cue></CueList>");
        EXPECT_EQ(p->Cues.Items(0)->PreWait(), c.PreWait) << c.Xml;
        EXPECT_EQ(p->Cues.Items(0)->PostWait(), c.PostWait) << c.Xml;
        EXPECT_EQ(p->Cues.Items(0)->Continue(), c.Continue) << c.Xml;
    }
}

// Waits and Continue follow the fades, each only when not the default.
TEST(TProduction, WaitsAndContinueRoundTrip) {
    TProduction production;
    TCue& bell = AddCue(production, "1", "Door bell", "bell.wav", 1, -6, 0, false);
    bell.SetFadeOut(15);
    bell.SetPreWait(20);
    bell.SetContinue(TCueContinue::AutoContinue);
    TCue& door = AddCue(production, "2", "Door", "door.wav", 2, 0, 0, false);
    door.SetPostWait(36000);
    door.SetContinue(TCueContinue::AutoFollow);
    AddCue(production, "3", "Rain", "rain.wav", 1, 0, 0, true);
    const std::string text = production.SaveToText();
    EXPECT_NE(text.find("<FadeOut>15</FadeOut>\r\n      <PreWait>20</PreWait>\r\n      "
                        "<Continue>AutoContinue</Continue>\r\n    </Cue>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<Loop>0</Loop>\r\n      <PostWait>36000</PostWait>\r\n      "
                        "<Continue>AutoFollow</Continue>\r\n    </Cue>"),
              std::string::npos)
        << text;
    TProduction loaded;
    loaded.LoadFromText(text);
    ASSERT_EQ(loaded.Cues.Count(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        const TCue& saved = *production.Cues.Items(i);
        const TCue& read = *loaded.Cues.Items(i);
        EXPECT_EQ(read.PreWait(), saved.PreWait()) << i;
        EXPECT_EQ(read.PostWait(), saved.PostWait()) << i;
        EXPECT_EQ(read.Continue(), saved.Continue()) << i;
    }
    EXPECT_EQ(loaded.SaveToText(), text);
    for (int32_t i = 0; i < 3; ++i) {
        production.Cues.Items(i)->SetPreWait(0);
        production.Cues.Items(i)->SetPostWait(0);
        production.Cues.Items(i)->SetContinue(TCueContinue::None);
    }
    const std::string plain = production.SaveToText();
    for (const char* name : {"PreWait", "PostWait", "Continue"})
        EXPECT_EQ(plain.find(name), std::string::npos) << name;
}

TEST(TProduction, LoopTexts) {
    const std::pair<std::string, bool> cases[] = {
        {"<Loop>1</Loop>", true},    {"<Loop>true</Loop>", true}, {"<Loop>-1</Loop>", true},
        {"<Loop>yes</Loop>", false}, {"<Loop></Loop>", false},    {"", false},
        {"<loop>1</loop>", false},
    };
    for (const auto& [xml, loop] : cases)
        EXPECT_EQ(Loaded("<CueList><Cue>" + xml + "</Cue></CueList>")->Cues.Items(0)->Loop, loop)
            << xml;
}

TEST(TProduction, CueNamesAndListElements) {
    const auto p = Loaded("<CueList><!-- x --><cue><UID>a</UID></cue><Cues><UID>x</UID></Cues>"
                          "<CUE><UID>b</UID><pitch>80</pitch><Description>d</Description></CUE>"
                          "text<?pi?><Cue><UID>c</UID></Cue></CueList>"
                          "<CueList><Cue><UID>second</UID></Cue></CueList>");
    ASSERT_EQ(p->Cues.Count(), 3);
    EXPECT_EQ(p->Cues.Items(0)->UID, "a");
    EXPECT_EQ(p->Cues.Items(1)->UID, "b");
    EXPECT_EQ(p->Cues.Items(1)->Pitch(), 100);
    EXPECT_EQ(p->Cues.Items(1)->Description, "d");
    EXPECT_EQ(p->Cues.Items(2)->UID, "c");
    const std::string saved = p->SaveToText();
    EXPECT_EQ(saved.find("<CueList>"), saved.rfind("<CueList>"));
    EXPECT_EQ(saved.find("second"), std::string::npos);
}

TEST(TProduction, UIDsFromTheFileAndMissingOnes) {
    const auto p = Loaded("<CueList><Cue><UID>1</UID></Cue><Cue/><Cue><UID>3</UID></Cue>"
                          "<Cue><UID>3</UID></Cue><Cue><UID>   </UID></Cue></CueList>");
    ASSERT_EQ(p->Cues.Count(), 5);
    const char* uids[] = {"1", "2", "3", "3", "4"};
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(p->Cues.Items(i)->UID, uids[i]) << i;
}

TEST(TProduction, WindowState) {
    struct Case {
        std::string Xml;
        TFormState Expected;
    };
    const Case cases[] = {
        {"<Windows><Main Top='1' Left='-2' Height='3' Width='4'/></Windows>", {1, -2, 3, 4}},
        {"<Windows/>", {7, 7, 7, 7}},
        {"<Windows><main Top='1'/></Windows>", {7, 7, 7, 7}},
        {"", {7, 7, 7, 7}},
        {"<Windows><Main Top='5' Left='6'/></Windows>", {5, 6, 400, 600}},
        {"<Windows><Main Top='x' Left='' Height=' 9' Width='9 '/></Windows>", {100, 100, 9, 600}},
        {"<windows><Main Top='1'/></windows>", {7, 7, 7, 7}},
        {"<Windows><Main Top='1' Left='2' Height='3' Width='4' Maximized='-1'/></Windows>",
         {1, 2, 3, 4, true}},
        {"<Windows><Main Maximized='true'/></Windows>", {100, 100, 400, 600, true}},
        {"<Windows><Main Maximized='0'/></Windows>", {100, 100, 400, 600, false}},
        {"<Windows><Main Maximized='yes'/></Windows>", {100, 100, 400, 600, false}},
    };
    for (const Case& c : cases) {
        TProduction p;
        p.FormState = {7, 7, 7, 7};
        p.LoadFromText("<Production>" + c.Xml + "</Production>");
        EXPECT_EQ(p.FormState.Top, c.Expected.Top) << c.Xml;
        EXPECT_EQ(p.FormState.Left, c.Expected.Left) << c.Xml;
        EXPECT_EQ(p.FormState.Height, c.Expected.Height) << c.Xml;
        EXPECT_EQ(p.FormState.Width, c.Expected.Width) << c.Xml;
        EXPECT_EQ(p.FormState.Maximized, c.Expected.Maximized) << c.Xml;
    }
}

// Only a maximised window adds to the document; it keeps the geometry it returns to.
TEST(TProduction, MaximisedWindowIsWrittenAfterItsGeometry) {
    TProduction maximised;
    maximised.FormState = {120, 200, 450, 800, true};
    std::string expected = DefaultDocument;
    const std::string normal = "Top=\"100\" Left=\"100\" Height=\"400\" Width=\"600\"";
    expected.replace(expected.find(normal), normal.size(),
                     "Top=\"120\" Left=\"200\" Height=\"450\" Width=\"800\" Maximized=\"-1\"");
    EXPECT_EQ(maximised.SaveToText(), expected);
    TProduction read;
    read.LoadFromText(expected);
    EXPECT_EQ(read.SaveToText(), expected);
    maximised.FormState = {100, 100, 400, 600, false};
    EXPECT_EQ(maximised.SaveToText(), DefaultDocument);
}

// Shown running cues add one attribute after the geometry; hidden, the document is as before.
TEST(TProduction, ShownRunningCuesAreWrittenOnlyWhenShown) {
    struct Case {
        std::string Main;
        bool Shown;
    };
    const Case cases[] = {{"<Main RunningCues='-1'/>", true},
                          {"<Main RunningCues='true'/>", true},
                          {"<Main RunningCues='0'/>", false},
                          {"<Main RunningCues='yes'/>", false},
                          {"<Main/>", false}};
    for (const Case& c : cases) {
        TProduction p;
        p.FormState.RunningCues = !c.Shown;
        p.LoadFromText("<Production><Windows>" + c.Main + "</Windows></Production>");
        EXPECT_EQ(p.FormState.RunningCues, c.Shown) << c.Main;
    }
    TProduction shown;
    shown.FormState.RunningCues = true;
    std::string expected = DefaultDocument;
    const std::string geometry = "Width=\"600\"";
    expected.insert(expected.find(geometry) + geometry.size(), " RunningCues=\"-1\"");
    EXPECT_EQ(shown.SaveToText(), expected);
    TProduction read;
    read.LoadFromText(expected);
    EXPECT_TRUE(read.FormState.RunningCues);
    EXPECT_EQ(read.SaveToText(), expected);
    shown.FormState.RunningCues = false;
    EXPECT_EQ(shown.SaveToText(), DefaultDocument);
}

TEST(TProduction, OscSettings) {
    struct Case {
        std::string Xml;
        std::string Address;
        int32_t Port;
    };
    const Case cases[] = {
        {"<Osc Address='0.0.0.0' Port='9000'/>", "0.0.0.0", 9000},
        {"<Osc Port='9000'/>", "127.0.0.1", 9000},
        {"<Osc Address='::1'/>", "::1", 53000},
        {"<Osc/>", "127.0.0.1", 53000},
        {"<Osc Address='' Port='x'/>", "", 53000},
        {"<Osc Port='70000'/>", "127.0.0.1", 70000},
        {"<osc Port='1'/>", "10.0.0.1", 1234},
        {"", "10.0.0.1", 1234},
    };
    for (const Case& c : cases) {
        TProduction p;
        p.Osc.Address = "10.0.0.1";
        p.Osc.Port = 1234;
        p.LoadFromText("<Production>" + c.Xml + "</Production>");
        EXPECT_EQ(p.Osc.Address, c.Address) << c.Xml;
        EXPECT_EQ(p.Osc.Port, c.Port) << c.Xml;
    }
}

TEST(TProduction, OscIsWrittenAfterTheCueListOnlyWhenItDiffersFromTheDefault) {
    std::string withOsc = DefaultDocument;
    withOsc.insert(withOsc.rfind("</Production>"),
                   "  <Osc Address=\"0.0.0.0\" Port=\"9000\"/>\r\n");
    TProduction production;
    production.Osc.Address = "0.0.0.0";
    production.Osc.Port = 9000;
    EXPECT_EQ(production.SaveToText(), withOsc);

    TProduction reread;
    reread.LoadFromText(withOsc);
    EXPECT_EQ(reread.Osc.Address, "0.0.0.0");
    EXPECT_EQ(reread.Osc.Port, 9000);
    EXPECT_EQ(reread.SaveToText(), withOsc);

    for (const char* settings : {"<Osc Address='127.0.0.1' Port='53000'/>", "<Osc/>"}) {
        TProduction defaults;
        defaults.LoadFromText("<Production>" + std::string(settings) + "</Production>");
        EXPECT_EQ(defaults.SaveToText(), DefaultDocument) << settings;
    }
}

TEST(TProduction, GoLockoutIsReadTolerantly) {
    struct Case {
        std::string Xml;
        int32_t Milliseconds;
    };
    const Case cases[] = {
        {"<GoLockout Milliseconds='500'/>", 500}, {"<GoLockout Milliseconds='0'/>", 0},
        {"<GoLockout Milliseconds='-5'/>", 0},    {"<GoLockout Milliseconds='99999'/>", 10000},
        {"<GoLockout Milliseconds='x'/>", 300},   {"<GoLockout/>", 300},
        {"<golockout Milliseconds='1'/>", 42},    {"", 42},
    };
    for (const Case& c : cases) {
        TProduction p;
        p.GoLockout.Milliseconds = 42;
        p.LoadFromText("<Production>" + c.Xml + "</Production>");
        EXPECT_EQ(p.GoLockout.Milliseconds, c.Milliseconds) << c.Xml;
    }
}

TEST(TProduction, GoLockoutIsWrittenAfterOscOnlyWhenItDiffersFromTheDefault) {
    std::string written = DefaultDocument;
    written.insert(written.rfind("</Production>"), "  <Osc Address=\"0.0.0.0\" Port=\"53000\"/>\r\n"
                                                   "  <GoLockout Milliseconds=\"0\"/>\r\n");
    TProduction production;
    production.Osc.Address = "0.0.0.0";
    production.GoLockout.Milliseconds = 0;
    EXPECT_EQ(production.SaveToText(), written);

    TProduction reread;
    reread.LoadFromText(written);
    EXPECT_EQ(reread.GoLockout.Milliseconds, 0);
    EXPECT_EQ(reread.SaveToText(), written);

    TProduction defaults;
    defaults.LoadFromText("<Production><GoLockout Milliseconds='300'/></Production>");
    EXPECT_EQ(defaults.SaveToText(), DefaultDocument);
}

TEST(TProduction, AnyRootNameAndNoCueListKeepsCues) {
    TProduction p;
    AddCue(p, "", "kept", "", 1, 0, 0, false);
    p.LoadFromText("<?xml version='1.0'?><!-- hand made --><Settings><Windows><Main Top='3'/>"
                   "</Windows></Settings><!-- end -->");
    EXPECT_EQ(p.FormState.Top, 3);
    ASSERT_EQ(p.Cues.Count(), 1);
    EXPECT_EQ(p.Cues.Items(0)->Description, "kept");
    EXPECT_EQ(p.Cues.Items(0)->UID, "1");
    EXPECT_EQ(p.SaveToText().find("<Production>"), 40u);
}

TEST(TProduction, WriteThenReadGivesTheSameCues) {
    TProduction written;
    AddCue(written, "5", "", "/a/b&c<d>.wav", 3, -33, 44, true).SetPitch(111);
    AddCue(written, "", "   ", "", 1, 0, 0, false);
    AddCue(written, "7", "x\r\ny\nz", "f", 2, 0, 0, false);
    TProduction read;
    read.LoadFromText(written.SaveToText());
    ASSERT_EQ(read.Cues.Count(), 3);
    const TCue& a = *read.Cues.Items(0);
    EXPECT_EQ(a.UID, "5");
    EXPECT_EQ(a.Description, "Untitled");
    EXPECT_EQ(a.FileName, "/a/b&c<d>.wav");
    EXPECT_EQ(a.AudioChannel(), 3);
    EXPECT_EQ(a.VolumeDB(), -33);
    EXPECT_EQ(a.Pan(), 44);
    EXPECT_EQ(a.Pitch(), 111);
    EXPECT_TRUE(a.Loop);
    EXPECT_EQ(read.Cues.Items(1)->UID, "1");
    EXPECT_EQ(read.Cues.Items(1)->Description, "");
    EXPECT_EQ(read.Cues.Items(2)->Description, "x\r\ny\nz");
}

TEST(TProduction, HostileDocumentsLoadHarmlessly) {
    TProduction entities;
    EXPECT_THROW(entities.LoadFromText(
                     "<!DOCTYPE p [<!ENTITY xxe SYSTEM 'file:///etc/passwd'>"
                     "<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;'>]>"
                     "<p><CueList><Cue><UID>&xxe;</UID><Description>&b;</Description></Cue>"
                     "</CueList></p>"),
                 EXMLParseError);
    EXPECT_EQ(entities.Cues.Count(), 0);
    TProduction declaredOnly;
    declaredOnly.LoadFromText("<!DOCTYPE p [<!ENTITY xxe SYSTEM 'file:///etc/passwd'>]>"
                              "<p><CueList><Cue><UID>&amp;xxe;</UID></Cue></CueList></p>");
    ASSERT_EQ(declaredOnly.Cues.Count(), 1);
    EXPECT_EQ(declaredOnly.Cues.Items(0)->UID, "&xxe;");

    std::string many = "<p><CueList>";
    for (int i = 0; i < 100000; ++i)
        many += "<Cue/>";
    TProduction crowded;
    crowded.LoadFromText(many + "</CueList></p>");
    ASSERT_EQ(crowded.Cues.Count(), 100000);
    EXPECT_EQ(crowded.Cues.Items(999)->UID, "1000");
    EXPECT_EQ(crowded.Cues.Items(1000)->UID, "");
    EXPECT_EQ(crowded.Cues.Items(99999)->UID, "");
}

std::string Repeat(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

struct ParseErrorCase {
    std::string Bytes;
    std::string Message;
};

TEST(TProduction, ParseErrorsLeaveEverythingAsItWas) {
    const ParseErrorCase cases[] = {
        {"<Production><Windows></Production>",
         "Start-end tags mismatch\r\nLine: 1\r\n<Production><Windows></Production>"},
        {"", "No document element found\r\nLine: 1\r\n"},
        {"<a>\r\n  <b>\r\n  <c x='1' y='2' z='3' w='4' v='5' u='6' t='7'/></a>",
         "Start-end tags mismatch\r\nLine: 3\r\n  <c x='1' y='2' z='3' w='4' v='5' u='6'"},
        {"<a>\n<" + Repeat("\xC3\xA9", 42) + " x",
         "Error parsing element attribute\r\nLine: 2\r\n<" + Repeat("\xC3\xA9", 39)},
        {std::string("\0\x01\xff", 3), ""},
    };
    for (const ParseErrorCase& c : cases) {
        TProduction p;
        p.FormState = {1, 2, 3, 4};
        AddCue(p, "", "kept", "", 1, 0, 0, false);
        try {
            p.LoadFromText(c.Bytes);
            ADD_FAILURE() << "no error for " << c.Bytes;
        } catch (const EXMLParseError& error) {
            if (!c.Message.empty()) {
                EXPECT_EQ(error.what(), c.Message);
            }
        }
        EXPECT_EQ(p.FormState.Top, 1);
        EXPECT_EQ(p.FormState.Width, 4);
        ASSERT_EQ(p.Cues.Count(), 1);
        EXPECT_EQ(p.Cues.Items(0)->UID, "");
    }
}

// Documents that pugixml would read in part: each is refused whole, as a syntax error is.
TEST(TProduction, DocumentsThatAreNotWellFormedAreUnreadable) {
    const std::string nested = Repeat("<a>", 1000000) + Repeat("</a>", 1000000);
    const ParseErrorCase cases[] = {
        {"<Production/><Production/>", "Extra content at end of document.\r\nLine: 1\r\n"
                                       "<Production/><Production/>"},
        {"<Production>\r\n  <Windows><Main Top='1' Top='2'/></Windows>\r\n</Production>",
         "Attribute 'Top' redefined.\r\nLine: 2\r\n  <Windows><Main Top='1' Top='2'/></Wind"},
        {"<Production/>\r\ntext", "Extra content at end of document.\r\nLine: 2\r\ntext"},
        {"text<Production/>", "Start tag expected.\r\nLine: 1\r\ntext<Production/>"},
        {"<p><Cue><UID>&foo;</UID></Cue></p>", "Entity 'foo' not declared.\r\nLine: 1\r\n"
                                               "<p><Cue><UID>&foo;</UID></Cue></p>"},
        {"<p a='&foo;'/>", "Entity 'foo' not declared.\r\nLine: 1\r\n<p a='&foo;'/>"},
        {"<!DOCTYPE p [<!ENTITY e 'x'>]><p>&e;</p>",
         "Entity 'e' not supported; write its text instead\r\nLine: 1\r\n"
         "<!DOCTYPE p [<!ENTITY e 'x'>]><p>&e;</p>"},
        {"<p>& x</p>", "Expected '#' or '[a-zA-Z]', but got ' '.\r\nLine: 1\r\n<p>& x</p>"},
        {"<p>&#1;</p>", "Invalid character reference.\r\nLine: 1\r\n<p>&#1;</p>"},
        {"<p>&#x0;</p>", "Invalid character reference.\r\nLine: 1\r\n<p>&#x0;</p>"},
        {"<p>&#xFFFE;</p>", "Invalid character reference.\r\nLine: 1\r\n<p>&#xFFFE;</p>"},
        {"<p>&#99999999999;</p>", "Invalid character reference.\r\nLine: 1\r\n"
                                  "<p>&#99999999999;</p>"},
        {"<p>\r\n<d>a\x01b</d></p>",
         "Character not allowed in XML\r\nLine: 2\r\n<d>a\x01b</d></p>"},
        {"<p x='\x1f'/>", "Character not allowed in XML\r\nLine: 1\r\n<p x='\x1f'/>"},
        {"<p><!--\x0b--></p>", "Character not allowed in XML\r\nLine: 1\r\n<p><!--\x0b--></p>"},
        {"<p>\xEF\xBF\xBF</p>", "Character not allowed in XML\r\nLine: 1\r\n<p>\xEF\xBF\xBF</p>"},
        {"<p><!-- a -- b --></p>",
         "Expected '>', but got ' '.\r\nLine: 1\r\n<p><!-- a -- b --></p>"},
        {"<p>a]]>b</p>", "Sequence ']]>' not allowed in content.\r\nLine: 1\r\n<p>a]]>b</p>"},
        {"<p a='<'/>", "Unexpected '<'.\r\nLine: 1\r\n<p a='<'/>"},
        {"<!-- first -->\r\n<?xml version='1.0'?><p/>",
         "XML declaration not at start of document.\r\nLine: 2\r\n<?xml version='1.0'?><p/>"},
        {"<?xml version='1.0'?><?xml version='1.0'?><p/>",
         "XML declaration not at start of document.\r\nLine: 1\r\n"
         "<?xml version='1.0'?><?xml version='1.0'"},
        {"<!DOCTYPE p [<!ENTITY e 'x'>]><p a='&e;'/>",
         "Entity 'e' not supported; write its text instead\r\nLine: 1\r\n"
         "<!DOCTYPE p [<!ENTITY e 'x'>]><p a='&e;'"},
        {std::string("<p>a\0b</p>", 10), ""},
        {std::string("<p/>\0", 5), ""},
        {"<p><Description>" + nested + "</Description></p>",
         "Elements nested too deeply\r\nLine: 1\r\n<p><Description>" + Repeat("<a>", 8)},
        {Repeat("<CueList>", 200000), ""},
    };
    for (const ParseErrorCase& c : cases) {
        TProduction p;
        p.FormState = {1, 2, 3, 4};
        AddCue(p, "", "kept", "", 1, 0, 0, false);
        try {
            p.LoadFromText(c.Bytes);
            ADD_FAILURE() << "no error for " << c.Bytes.substr(0, 80);
        } catch (const EXMLParseError& error) {
            if (!c.Message.empty()) {
                EXPECT_EQ(error.what(), c.Message);
            }
        }
        EXPECT_EQ(p.FormState.Top, 1);
        ASSERT_EQ(p.Cues.Count(), 1);
        EXPECT_EQ(p.Cues.Items(0)->Description, "kept");
    }
}

// Characters that XML 1.0 forbids never reach the file, so the program can read its own file.
TEST(TProduction, CharactersThatXmlForbidsAreNotWritten) {
    TProduction written;
    AddCue(written, "1\x02", "Bell\x01\x1f\r\nring\tloud\xEF\xBF\xBE", "/show/a\x0b.wav", 1, 0, 0,
           false);
    const std::string text = written.SaveToText();
    EXPECT_EQ(text.find("&#"), std::string::npos) << text;
    TProduction read;
    read.LoadFromText(text);
    ASSERT_EQ(read.Cues.Count(), 1);
    EXPECT_EQ(read.Cues.Items(0)->UID, "1");
    EXPECT_EQ(read.Cues.Items(0)->Description, "Bell\r\nring\tloud");
    EXPECT_EQ(read.Cues.Items(0)->FileName, "/show/a.wav");
}

TEST(TProduction, MissingFileChangesNothing) {
    TProduction p;
    p.FormState.Top = 5;
    AddCue(p, "", "kept", "", 1, 0, 0, false);
    EXPECT_FALSE(p.LoadFromFile("/nonexistent-trelmo-folder/Settings.xml"));
    EXPECT_EQ(p.FormState.Top, 5);
    EXPECT_EQ(p.Cues.Items(0)->UID, "");
}

} // namespace

TEST(TProduction, TheTextScaleIsReadTolerantlyAndWrittenOnlyWhenNotAHundred) {
    const std::pair<std::string, int32_t> reads[] = {
        {"<Windows><Main Scale='150'/></Windows>", 150},
        {"<Windows><Main Scale='10'/></Windows>", TFormState::MinScale},
        {"<Windows><Main Scale='1000'/></Windows>", TFormState::MaxScale},
        {"<Windows><Main Scale='big'/></Windows>", 100},
        {"<Windows><Main/></Windows>", 100},
        {"", 77},
    };
    for (const auto& [xml, scale] : reads) {
        TProduction p;
        p.FormState.Scale = 77;
        p.LoadFromText("<Production>" + xml + "</Production>");
        EXPECT_EQ(p.FormState.Scale, scale) << xml;
    }

    TProduction scaled;
    scaled.FormState.Scale = 125;
    std::string expected = DefaultDocument;
    const std::string main = "Width=\"600\"";
    expected.insert(expected.find(main) + main.size(), " Scale=\"125\"");
    EXPECT_EQ(scaled.SaveToText(), expected);
    TProduction reread;
    reread.LoadFromText(expected);
    EXPECT_EQ(reread.FormState.Scale, 125);
    EXPECT_EQ(reread.SaveToText(), expected);
    scaled.FormState.Scale = 100;
    EXPECT_EQ(scaled.SaveToText(), DefaultDocument);
}

TEST(TProduction, PlaybackIsReadTolerantly) {
    struct Case {
        std::string Xml;
        int32_t MasterDB;
        TVolumeScale Scale;
        int32_t PanicFade;
    };
    const auto lin = TVolumeScale::Linear, dB = TVolumeScale::Decibels;
    const Case cases[] = {
        {"<Playback Master-dB='-12' Scale='Decibels' PanicFade='25'/>", -12, dB, 25},
        {"<Playback Master-dB='-99' PanicFade='-1'/>", -60, lin, 0},
        {"<Playback Master-dB='6' PanicFade='9999'/>", 0, lin, 600},
        {"<Playback Master-dB='x' Scale='decibels' PanicFade=''/>", 0, lin, 10},
        {"<Playback Scale='Linear'/>", 0, lin, 10},
        {"<Playback/>", 0, lin, 10},
        {"<playback Master-dB='-1'/>", -7, dB, 3},
        {"", -7, dB, 3},
    };
    for (const Case& c : cases) {
        TProduction p;
        p.Playback.Levels = {TVolumeScale::Decibels, -7};
        p.Playback.PanicFade = 3;
        p.LoadFromText("<Production>" + c.Xml + "</Production>");
        EXPECT_EQ(p.Playback.Levels.MasterDB, c.MasterDB) << c.Xml;
        EXPECT_EQ(p.Playback.Levels.Scale, c.Scale) << c.Xml;
        EXPECT_EQ(p.Playback.PanicFade, c.PanicFade) << c.Xml;
    }
}

// Each setting alone adds only its own attribute; all at their defaults add nothing.
TEST(TProduction, PlaybackIsWrittenAfterGoLockoutWithOnlyWhatDiffersFromTheDefault) {
    struct Case {
        TPlaybackSettings Playback;
        std::string Element;
    };
    const Case cases[] = {
        {{{TVolumeScale::Linear, -6}, 10}, "<Playback Master-dB=\"-6\"/>"},
        {{{TVolumeScale::Decibels, 0}, 10}, "<Playback Scale=\"Decibels\"/>"},
        {{{TVolumeScale::Linear, 0}, 0}, "<Playback PanicFade=\"0\"/>"},
        {{{TVolumeScale::Decibels, -60}, 600},
         "<Playback Master-dB=\"-60\" Scale=\"Decibels\" PanicFade=\"600\"/>"},
    };
    for (const Case& c : cases) {
        std::string written = DefaultDocument;
        written.insert(written.rfind("</Production>"),
                       "  <GoLockout Milliseconds=\"0\"/>\r\n  " + c.Element + "\r\n");
        TProduction production;
        production.GoLockout.Milliseconds = 0;
        production.Playback = c.Playback;
        EXPECT_EQ(production.SaveToText(), written);

        TProduction reread;
        reread.LoadFromText(written);
        EXPECT_EQ(reread.Playback.Levels, c.Playback.Levels) << c.Element;
        EXPECT_EQ(reread.Playback.PanicFade, c.Playback.PanicFade) << c.Element;
        EXPECT_EQ(reread.SaveToText(), written);
    }
    TProduction defaults;
    defaults.LoadFromText(
        "<Production><Playback Master-dB='0' Scale='Linear' PanicFade='10'/></Production>");
    EXPECT_EQ(defaults.SaveToText(), DefaultDocument);
}
