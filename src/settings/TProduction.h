#pragma once

#include "TCueList.h"
#include "TFormState.h"
#include "TGoLockout.h"
#include "TMediaNames.h"
#include "TOscSettings.h"
#include "TPlaybackSettings.h"
#include "TShowHistory.h"

#include <functional>
#include <string>
#include <string_view>

// The settings document in memory: window state and cue list, read from and written to
// Settings.xml. While a show file is open (Shows.Open), the cue list lives in that file, and
// Settings.xml holds an empty one and the name of the show file. A show file is the same
// document, so either can be read as the other. UI thread only.
class TProduction {
public:
    std::string FileName;
    TFormState FormState;
    TCueList Cues;
    TOscSettings Osc;
    TGoLockout GoLockout;
    TPlaybackSettings Playback;
    TShowHistory Shows;

    // Receives the state changes of every cue that loading creates, with the cue that changed
    // (UIDs may repeat).
    std::function<void(const TCue& cue)> OnCueStateChange;

    // False, with nothing changed, when no file exists at `path`. A file that cannot be read or
    // parsed throws EXMLParseError, with nothing changed, after a copy of it has been kept in
    // `keptFolder`, beside it when empty (the error says where); a copy that could not be kept
    // is tried again by the next SaveToFile to `path`, which does not replace the file before.
    bool LoadFromFile(const std::string& path, const std::string& keptFolder = {});
    // Loads a document held in memory, with audio file names relative to `folder`; throws
    // EXMLParseError when it cannot be parsed.
    void LoadFromText(std::string_view bytes, const std::string& folder = {});
    // Reads only the cue list of the show file at `path`, as LoadFromFile reads a document
    // (false with nothing changed when there is none; EXMLParseError, with nothing changed,
    // when it cannot be read). Neither sets nor keeps anything else.
    bool LoadShowFromFile(const std::string& path);
    void LoadShowFromText(std::string_view bytes, const std::string& folder = {});

    // Replaces the file at `path` atomically. False on any error, with the reason in `failure`.
    bool SaveToFile(const std::string& path, std::string* failure = nullptr);
    // The document exactly as SaveToFile writes it, audio file names relative to FileName's
    // folder.
    std::string SaveToText() const;
    // The show file at `path`: the whole document with the cue list, without the show history.
    std::string ShowText(const std::string& path) const;

    // The unreadable file read last that has no kept copy yet, and the folder its copy belongs
    // in; empty when there is none. Whoever replaces that file keeps the copy first and then
    // calls UnkeptFileKept.
    const std::string& UnkeptFile() const { return FUnkeptFile; }
    const std::string& UnkeptFolder() const { return FUnkeptFolder; }
    void UnkeptFileKept() { FUnkeptFile.clear(); }

private:
    // The document; `cues` with names for `folder`, none when null; the history when asked.
    std::string Document(const TCueList* cues, const std::string& folder, bool history) const;
    bool KeepUnkeptFile(const std::string& path, std::string& failure);

    // An unreadable file read last, still without a kept copy, and where its copy belongs.
    std::string FUnkeptFile;
    std::string FUnkeptFolder;
    TMediaNames FMediaNames;
};
