#include "TCueXml.h"

#include "XmlValues.h"

#include <utility>

namespace {

// Continue is stored as a word, so that a show file read by hand says what the cue does.
const std::pair<TCueContinue, const char*> ContinueWords[] = {
    {TCueContinue::AutoContinue, "AutoContinue"},
    {TCueContinue::AutoFollow, "AutoFollow"},
};

TCueContinue ReadContinue(pugi::xml_node element) {
    const std::string word = ReadXMLString(element, "Continue", "");
    for (const auto& [value, text] : ContinueWords)
        if (word == text)
            return value;
    return TCueContinue::None;
}

void WriteContinue(pugi::xml_node element, TCueContinue value) {
    for (const auto& [known, text] : ContinueWords)
        if (known == value)
            WriteXMLString(element, "Continue", text);
}

} // namespace

void LoadFromXML(TCue& cue, pugi::xml_node element) {
    cue.UID = ReadXMLString(element, "UID", "");
    cue.Description = ReadXMLString(element, "Description", "Untitled");
    cue.FileName = ReadXMLString(element, "FileName", "");
    cue.SetAudioChannel(ReadXMLInteger(element, "AudioChannel", 1));
    cue.SetVolumeDB(ReadXMLInteger(element, "Volume-dB", 0));
    cue.SetPan(ReadXMLInteger(element, "Pan", 0));
    cue.SetPitch(ReadXMLInteger(element, "Pitch", 100));
    cue.Loop = ReadXMLBoolean(element, "Loop", false);
    cue.SetFadeIn(ReadXMLInteger(element, "FadeIn", 0));
    cue.SetFadeOut(ReadXMLInteger(element, "FadeOut", 0));
    cue.SetPreWait(ReadXMLInteger(element, "PreWait", 0));
    cue.SetPostWait(ReadXMLInteger(element, "PostWait", 0));
    cue.SetContinue(ReadContinue(element));
}

void SaveToXML(const TCue& cue, pugi::xml_node element) {
    WriteXMLString(element, "UID", cue.UID);
    WriteXMLString(element, "Description", cue.Description);
    WriteXMLString(element, "FileName", cue.FileName);
    WriteXMLInteger(element, "AudioChannel", cue.AudioChannel());
    WriteXMLInteger(element, "Volume-dB", cue.VolumeDB());
    WriteXMLInteger(element, "Pan", cue.Pan());
    WriteXMLInteger(element, "Pitch", cue.Pitch());
    WriteXMLBoolean(element, "Loop", cue.Loop);
    // In tenths of a second; a cue without fades is written as before there were any.
    if (cue.FadeIn() != 0)
        WriteXMLInteger(element, "FadeIn", cue.FadeIn());
    if (cue.FadeOut() != 0)
        WriteXMLInteger(element, "FadeOut", cue.FadeOut());
    if (cue.PreWait() != 0)
        WriteXMLInteger(element, "PreWait", cue.PreWait());
    if (cue.PostWait() != 0)
        WriteXMLInteger(element, "PostWait", cue.PostWait());
    WriteContinue(element, cue.Continue());
}
