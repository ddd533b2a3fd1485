#include "TProduction.h"

#include "EXMLParseError.h"
#include "SettingsFile.h"
#include "TCueListXml.h"
#include "XmlValues.h"
#include "XmlWellFormedness.h"

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>

namespace {

// Keeps comments and processing instructions so that an element holding one has no text;
// whitespace-only text is dropped; entities of a DOCTYPE are never expanded or fetched.
constexpr unsigned ParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;
constexpr size_t LineExcerptChars = 40;

// The first `count` characters of UTF-8 text.
std::string_view FirstChars(std::string_view text, size_t count) {
    size_t end = 0;
    for (size_t chars = 0; end < text.size(); ++end) {
        const bool startsChar = (static_cast<unsigned char>(text[end]) & 0xC0) != 0x80;
        if (startsChar && chars++ == count)
            break;
    }
    return text.substr(0, end);
}

std::string ParseErrorMessage(std::string_view bytes, const std::string& description, size_t at) {
    const size_t offset = std::min(at, bytes.size());
    const std::string_view before = bytes.substr(0, offset);
    const size_t line = 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
    const size_t lastBreak = before.rfind('\n');
    const size_t lineStart = lastBreak == std::string_view::npos ? 0 : lastBreak + 1;
    std::string_view text = bytes.substr(lineStart);
    text = text.substr(0, text.find_first_of("\r\n"));
    return description + "\r\nLine: " + std::to_string(line) + "\r\n" +
           std::string(FirstChars(text, LineExcerptChars));
}

std::string ReadErrorMessage(const std::string& failure) {
    pugi::xml_parse_result result;
    result.status = pugi::status_io_error;
    return std::string(result.description()) + ": " + failure + "\r\nLine: 1\r\n";
}

void Parse(std::string_view bytes, pugi::xml_document& document) {
    const pugi::xml_parse_result result =
        document.load_buffer(bytes.data(), bytes.size(), ParseOptions);
    if (!result)
        throw EXMLParseError(
            ParseErrorMessage(bytes, result.description(),
                              static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0))));
    if (const std::optional<TXmlFault> fault = FindXmlFault(bytes))
        throw EXMLParseError(ParseErrorMessage(bytes, fault->Description, fault->Offset));
}

std::string FolderOf(const std::string& path) {
    return path.empty() ? std::string() : std::filesystem::path(path).parent_path().string();
}

struct TStringWriter : pugi::xml_writer {
    std::string Text;
    void write(const void* data, size_t size) override {
        Text.append(static_cast<const char*>(data), size);
    }
};

} // namespace

bool TProduction::LoadFromFile(const std::string& path, const std::string& keptFolder) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return false;
    std::string bytes;
    std::string failure;
    try {
        if (!ReadWholeFile(path, bytes, failure))
            throw EXMLParseError(ReadErrorMessage(failure));
        LoadFromText(bytes, FolderOf(path));
    } catch (EXMLParseError& error) {
        if (!KeepCopy(path, keptFolder, error.KeptFileName, error.KeepFailure)) {
            FUnkeptFile = path;
            FUnkeptFolder = keptFolder;
        }
        throw;
    }
    return true;
}

void TProduction::LoadFromText(std::string_view bytes, const std::string& folder) {
    pugi::xml_document document;
    Parse(bytes, document);
    const pugi::xml_node root = document.document_element();
    if (FindXMLChild(root, "Windows"))
        FormState.LoadFromXML(root);
    if (const pugi::xml_node cueList = FindXMLChild(root, "CueList"))
        LoadFromXML(Cues, cueList, OnCueStateChange, FMediaNames, folder);
    Osc.LoadFromXML(root);
    GoLockout.LoadFromXML(root);
    Playback.LoadFromXML(root);
    Shows.LoadFromXML(root);
    Cues.AssignMissingUIDs();
}

bool TProduction::LoadShowFromFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return false;
    std::string bytes;
    std::string failure;
    if (!ReadWholeFile(path, bytes, failure))
        throw EXMLParseError(ReadErrorMessage(failure));
    LoadShowFromText(bytes, FolderOf(path));
    return true;
}

void TProduction::LoadShowFromText(std::string_view bytes, const std::string& folder) {
    pugi::xml_document document;
    Parse(bytes, document);
    if (const pugi::xml_node cueList = FindXMLChild(document.document_element(), "CueList"))
        LoadFromXML(Cues, cueList, OnCueStateChange, FMediaNames, folder);
    else
        Cues.Clear();
    Cues.AssignMissingUIDs();
    Playback.Levels.Scale = TPlaybackSettings::ScaleIn(document.document_element());
}

std::string TProduction::SaveToText() const {
    const bool showInFile = !Shows.Open.empty();
    return Document(showInFile ? nullptr : &Cues, FolderOf(FileName), true);
}

std::string TProduction::ShowText(const std::string& path) const {
    return Document(&Cues, FolderOf(path), false);
}

std::string TProduction::Document(const TCueList* cues, const std::string& folder,
                                  bool history) const {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    document.append_child(pugi::node_pcdata).set_value("\r\n");
    pugi::xml_node root = document.append_child("Production");
    FormState.SaveToXML(root);
    const TCueList none;
    SaveToXML(cues ? *cues : none, root, FMediaNames, folder);
    Osc.SaveToXML(root);
    GoLockout.SaveToXML(root);
    Playback.SaveToXML(root);
    if (history)
        Shows.SaveToXML(root);
    TStringWriter writer;
    document.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(writer.Text);
}

bool TProduction::SaveToFile(const std::string& path, std::string* failure) {
    std::string reason;
    try {
        if (KeepUnkeptFile(path, reason) && WriteFileAtomically(path, SaveToText(), reason))
            return true;
    } catch (const std::exception& error) {
        reason = error.what();
    }
    if (failure)
        *failure = reason;
    return false;
}

// An unreadable file that a save to `path` would replace gets its copy first.
bool TProduction::KeepUnkeptFile(const std::string& path, std::string& failure) {
    std::error_code ec;
    if (FUnkeptFile != path || !std::filesystem::exists(path, ec))
        return true;
    std::string kept;
    if (!KeepCopy(path, FUnkeptFolder, kept, failure)) {
        failure = "the unreadable settings file " + path + " could not be kept: " + failure;
        return false;
    }
    FUnkeptFile.clear();
    return true;
}
