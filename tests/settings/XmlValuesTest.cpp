#include "XmlValues.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <sstream>

namespace {

constexpr unsigned ParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;

// An element "r" holding one child "V" with the given text.
struct ValueDocument {
    explicit ValueDocument(const std::string& text) {
        Root = Document.append_child("r");
        Root.append_child("V").text().set(text.c_str());
    }
    pugi::xml_document Document;
    pugi::xml_node Root;
};

std::string Saved(const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

struct IntegerCase {
    std::string Text;
    std::optional<int32_t> Value;
};

// Elements and attributes spell integers by the shared rule; what it refuses gives the default.
TEST(XmlValues, IntegerTexts) {
    const IntegerCase cases[] = {
        {" 42", 42}, {"$00000000A", 10}, {"-0x10", -16}, {"42 ", {}}, {"1e3", {}}, {"", {}},
    };
    for (const IntegerCase& c : cases) {
        ValueDocument doc(c.Text);
        EXPECT_EQ(ReadXMLInteger(doc.Root, "V", -999), c.Value.value_or(-999))
            << '"' << c.Text << '"';
        pugi::xml_node main = doc.Root.append_child("Main");
        main.append_attribute("A").set_value(c.Text.c_str());
        EXPECT_EQ(ReadXMLAttrInteger(main, "A", -999), c.Value.value_or(-999))
            << '"' << c.Text << '"';
    }
}

struct BooleanCase {
    std::string Text;
    std::optional<bool> Value;
};

TEST(XmlValues, BooleanTexts) {
    const BooleanCase cases[] = {
        {"-1", true},   {"1", true},     {"2", true},       {"true", true},   {"TRUE", true},
        {"tRuE", true}, {"0", false},    {"-0", false},     {"False", false}, {"FALSE", false},
        {" 1 ", true},  {"0.0", false},  {"0.5", true},     {".5", true},     {"1.", true},
        {"1e3", true},  {"0E+5", false}, {"-2.5e-3", true}, {"yes", {}},      {" True", {}},
        {"True ", {}},  {"", {}},        {"e5", {}},        {"1e", {}},       {"+", {}},
        {".", {}},      {"1,5", {}},     {"$1", {}},        {"0x1", {}},      {"1 1", {}},
    };
    for (const BooleanCase& c : cases) {
        ValueDocument doc(c.Text);
        for (const bool def : {false, true})
            EXPECT_EQ(ReadXMLBoolean(doc.Root, "V", def), c.Value.value_or(def))
                << '"' << c.Text << "\" default " << def;
    }
}

TEST(XmlValues, LineBreakEncoding) {
    const std::pair<std::string, std::string> encoded[] = {
        {"A\r\nB", "A&#xD;B"}, {"\r\r\n\n", "\r&#xD;\n"},  {"\n", "\n"},
        {"\r", "\r"},          {"\r\n\r\n", "&#xD;&#xD;"}, {"", ""},
    };
    for (const auto& [text, stored] : encoded) {
        EXPECT_EQ(EncodeLineBreaks(text), stored);
        EXPECT_EQ(DecodeLineBreaks(stored), text);
    }
    EXPECT_EQ(DecodeLineBreaks("a&#xd;b"), "a&#xd;b");
    EXPECT_EQ(DecodeLineBreaks("&#x&#xD;D;"), "&#x\r\nD;");
    EXPECT_EQ(DecodeLineBreaks("&#xD;&#xD"), "\r\n&#xD");
}

TEST(XmlValues, StringsSurviveTheFile) {
    pugi::xml_document written;
    pugi::xml_node root = written.append_child("r");
    EXPECT_TRUE(WriteXMLString(root, "Two", "A\r\nB"));
    EXPECT_TRUE(WriteXMLString(root, "Stored", "x&#xD;y"));
    EXPECT_TRUE(WriteXMLString(root, "Lone", "a\nb&#xd;c"));
    EXPECT_FALSE(WriteXMLString(root, "Empty", ""));
    const std::string file = Saved(written);
    EXPECT_NE(file.find("<Two>A&amp;#xD;B</Two>"), std::string::npos) << file;
    EXPECT_EQ(file.find("Empty"), std::string::npos);

    pugi::xml_document read;
    ASSERT_TRUE(read.load_string(file.c_str(), ParseOptions));
    const pugi::xml_node r = read.child("r");
    EXPECT_EQ(ReadXMLString(r, "Two", "d"), "A\r\nB");
    EXPECT_EQ(ReadXMLString(r, "Stored", "d"), "x\r\ny");
    EXPECT_EQ(ReadXMLString(r, "Lone", "d"), "a\nb&#xd;c");
    EXPECT_EQ(ReadXMLString(r, "Empty", "Untitled"), "Untitled");
}

TEST(XmlValues, TextOfAnElement) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<r><E/><W>   </W><D><![CDATA[7]]></D><C><x/></C>"
                                "<T>5<!--c--></T><P><?p?></P><M>1<![CDATA[2]]></M><N>-3</N></r>",
                                ParseOptions));
    const pugi::xml_node r = doc.child("r");
    struct Case {
        const char* Name;
        std::optional<std::string> Text;
    };
    const Case cases[] = {{"E", ""}, {"W", ""}, {"D", "7"},  {"C", {}},     {"T", {}},
                          {"P", {}}, {"M", {}}, {"N", "-3"}, {"Absent", {}}};
    for (const Case& c : cases) {
        EXPECT_EQ(ReadXMLString(r, c.Name, "def"), c.Text.value_or("def")) << c.Name;
        const bool numeric = c.Text && !c.Text->empty();
        EXPECT_EQ(ReadXMLInteger(r, c.Name, 99), numeric ? std::stoi(*c.Text) : 99) << c.Name;
        EXPECT_EQ(ReadXMLBoolean(r, c.Name, false), numeric) << c.Name;
    }
}

TEST(XmlValues, ChildLookup) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<r><pitch>80</pitch><?Pitch 1?><Pitch>90</Pitch><Pitch>95</Pitch>"
                                "<a:Pan xmlns:a='urn:a'>7</a:Pan></r>"
                                "<n xmlns='urn:x'><Pitch xmlns='urn:y'>1</Pitch>"
                                "<Pitch xmlns='URN:X'>2</Pitch></n>",
                                ParseOptions | pugi::parse_fragment));
    const pugi::xml_node r = doc.child("r");
    EXPECT_EQ(ReadXMLInteger(r, "Pitch", 100), 90);
    EXPECT_EQ(ReadXMLInteger(r, "PITCH", 100), 100);
    EXPECT_EQ(ReadXMLInteger(r, "Pan", 0), 7);
    EXPECT_EQ(ReadXMLInteger(r, "a:Pan", 0), 7);
    EXPECT_EQ(ReadXMLInteger(doc.child("n"), "Pitch", 100), 2);
}

TEST(XmlValues, WritersAppend) {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("r");
    EXPECT_TRUE(WriteXMLInteger(root, "N", -12));
    EXPECT_TRUE(WriteXMLInteger(root, "N", 0));
    EXPECT_TRUE(WriteXMLBoolean(root, "B", true));
    EXPECT_TRUE(WriteXMLBoolean(root, "B", false));
    pugi::xml_node main = AppendXMLChild(root, "Main");
    WriteXMLAttrInteger(main, "Top", INT32_MIN);
    WriteXMLAttrInteger(main, "Left", 100);
    EXPECT_EQ(Saved(doc), "<r>\r\n  <N>-12</N>\r\n  <N>0</N>\r\n  <B>-1</B>\r\n  <B>0</B>\r\n"
                          "  <Main Top=\"-2147483648\" Left=\"100\"/>\r\n</r>");
    EXPECT_EQ(ReadXMLInteger(root, "N", 5), -12);
    EXPECT_TRUE(ReadXMLBoolean(root, "B", false));
}

TEST(XmlValues, EmptyAttributeGivesDefault) {
    pugi::xml_document doc;
    pugi::xml_node main = doc.append_child("Main");
    main.append_attribute("Top").set_value("");
    EXPECT_EQ(ReadXMLAttrInteger(main, "Top", 100), 100);
    EXPECT_EQ(ReadXMLAttrInteger(main, "top", 100), 100);
    EXPECT_EQ(ReadXMLAttrInteger(main, "Left", 100), 100);
}

} // namespace
