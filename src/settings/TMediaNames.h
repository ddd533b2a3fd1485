#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

// How cues name their audio files in a document. A file inside the document's folder is named
// relative to that folder, so a show folder copied to another path keeps playing; a file
// elsewhere keeps its absolute name. A name read from a document is written back in the form it
// was read, as long as it still names the cue's file from the folder written to. Cues are told
// apart by TCue::Identity. UI thread only.
class TMediaNames {
public:
    // The file that `stored`, read from a document in `folder`, names: absolute names as they
    // stand, relative ones against `folder` (as they stand when `folder` is empty). Remembers
    // the form for cue `identity`.
    std::string Read(uint64_t identity, const std::string& stored, const std::string& folder);
    // The name written for the file `fileName` of cue `identity` into a document in `folder`.
    std::string Stored(uint64_t identity, const std::string& fileName,
                       const std::string& folder) const;
    // Forgets every form read.
    void Clear() { FRead.clear(); }

    static std::string Resolved(const std::string& stored, const std::string& folder);
    // `fileName` relative to `folder` when the file lies inside it, otherwise unchanged.
    static std::string Relative(const std::string& fileName, const std::string& folder);

private:
    std::unordered_map<uint64_t, std::string> FRead;
};
