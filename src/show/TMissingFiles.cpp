#include "TMissingFiles.h"

#include <filesystem>

namespace {

std::string NameOf(const std::string& fileName) {
    return std::filesystem::path(fileName).filename().string();
}

bool Missing(const TCue& cue) {
    return !cue.FileName.empty() && !cue.FileFound();
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

} // namespace

std::set<std::string> TMissingFiles::NamesOf(const TCueList& cues) {
    std::set<std::string> names;
    for (int32_t i = 0; i < cues.Count(); ++i)
        if (Missing(*cues.Items(i)))
            names.insert(NameOf(cues.Items(i)->FileName));
    return names;
}

TMissingFiles TMissingFiles::Plan(const TCueList& cues, const TFileSearch::TResult& found) {
    TMissingFiles plan;
    for (int32_t i = 0; i < cues.Count(); ++i) {
        const TCue& cue = *cues.Items(i);
        if (!Missing(cue))
            continue;
        const std::string name = NameOf(cue.FileName);
        const auto places = found.find(name);
        if (places == found.end() || places->second.empty()) {
            plan.NotFound.insert(name);
            continue;
        }
        if (places->second.size() > 1)
            plan.FoundTwice.insert(name);
        plan.Relinks.push_back({cue.Identity(), places->second.front().Path});
    }
    return plan;
}

std::string TMissingFiles::Message(const TFileSearch::TResult& found) const {
    const size_t count = Relinks.size();
    std::string text = count == 0 ? "No missing file was found."
                       : count == 1
                           ? "1 missing file was found and relinked."
                           : std::to_string(count) + " missing files were found and relinked.";
    if (!NotFound.empty())
        text +=
            " Not found: " + Joined(std::vector<std::string>(NotFound.begin(), NotFound.end())) +
            ".";
    std::vector<std::string> twice;
    for (const std::string& name : FoundTwice)
        twice.push_back(found.at(name).front().Path);
    if (!twice.empty())
        text += " Found in more than one place, the nearest taken: " + Joined(twice) + ".";
    return text;
}
