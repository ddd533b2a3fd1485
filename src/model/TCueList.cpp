#include "TCueList.h"

#include <string>
#include <unordered_set>

namespace {
constexpr int32_t MaxUID = 1000;

std::string ListIndexMessage(int32_t index) {
    return "List index out of bounds (" + std::to_string(index) + ")";
}
} // namespace

EListError::EListError(int32_t index) : std::out_of_range(ListIndexMessage(index)) {}

void TCueList::CheckIndex(int32_t index, int32_t last) const {
    if (index < 0 || index > last)
        throw EListError(index);
}

TCue* TCueList::Items(int32_t index) const {
    CheckIndex(index, Count() - 1);
    return FItems[static_cast<size_t>(index)].get();
}

int32_t TCueList::Add(std::unique_ptr<TCue> cue) {
    FItems.push_back(std::move(cue));
    return Count() - 1;
}

void TCueList::Insert(int32_t index, std::unique_ptr<TCue> cue) {
    CheckIndex(index, Count());
    FItems.insert(FItems.begin() + index, std::move(cue));
}

void TCueList::Move(int32_t from, int32_t to) {
    CheckIndex(from, Count() - 1);
    CheckIndex(to, Count() - 1);
    if (from == to)
        return;
    std::unique_ptr<TCue> cue = std::move(FItems[static_cast<size_t>(from)]);
    FItems.erase(FItems.begin() + from);
    FItems.insert(FItems.begin() + to, std::move(cue));
}

void TCueList::Delete(int32_t index) {
    Extract(index);
}

std::unique_ptr<TCue> TCueList::Extract(int32_t index) {
    CheckIndex(index, Count() - 1);
    std::unique_ptr<TCue> cue = std::move(FItems[static_cast<size_t>(index)]);
    FItems.erase(FItems.begin() + index);
    return cue;
}

void TCueList::Clear() {
    std::vector<std::unique_ptr<TCue>> released;
    released.swap(FItems);
}

void TCueList::SetCurrent(TCueNumber number) {
    if (number == FCurrent)
        return;
    const TCueNumber old = FCurrent;
    FCurrent = number;
    if (OnCurrentChange)
        OnCurrentChange(old.Number(), number.Number());
}

TCue* TCueList::CurrentCue() const {
    return CueOf(FCurrent);
}

TCue* TCueList::CueOf(TCueNumber number) const {
    return number.In(Count()) ? FItems[static_cast<size_t>(number.Row())].get() : nullptr;
}

TCueNumber TCueList::IndexOfUID(const std::string& uid) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->UID == uid)
            return TCueNumber::OfRow(static_cast<int32_t>(i));
    return {};
}

TCueNumber TCueList::IndexOf(const TCue* cue) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == cue)
            return TCueNumber::OfRow(static_cast<int32_t>(i));
    return {};
}

TCueNumber TCueList::IndexOfIdentity(uint64_t identity) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->Identity() == identity)
            return TCueNumber::OfRow(static_cast<int32_t>(i));
    return {};
}

std::unordered_set<std::string> TCueList::UsedUIDs() const {
    std::unordered_set<std::string> used;
    for (const auto& cue : FItems)
        used.insert(cue->UID);
    return used;
}

std::string TCueList::AssignUID(int32_t index, std::unordered_set<std::string>& used,
                                int32_t& lowestFree) {
    TCue* cue = Items(index);
    for (; lowestFree <= MaxUID; ++lowestFree) {
        std::string text = std::to_string(lowestFree);
        if (!used.contains(text)) {
            cue->UID = text;
            used.insert(text);
            return text;
        }
    }
    return {};
}

std::string TCueList::AssignUID(int32_t index) {
    std::unordered_set<std::string> used = UsedUIDs();
    int32_t lowestFree = 1;
    return AssignUID(index, used, lowestFree);
}

int32_t TCueList::AssignMissingUIDs() {
    std::unordered_set<std::string> used = UsedUIDs();
    int32_t missing = 0;
    // Identifiers only get used here, so the search goes on where it stopped: a long list
    // without identifiers costs one pass, not one pass per cue.
    int32_t lowestFree = 1;
    for (int32_t i = 0; i < Count(); ++i) {
        if (FItems[static_cast<size_t>(i)]->UID.empty()) {
            AssignUID(i, used, lowestFree);
            ++missing;
        }
    }
    return missing;
}

bool TCueList::AllStopped() const {
    for (const auto& cue : FItems)
        if (cue->State() != csStopped)
            return false;
    return true;
}

void TCueList::StopAll() {
    for (const auto& cue : FItems)
        cue->Stop();
}
