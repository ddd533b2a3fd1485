#pragma once

#include "TCue.h"
#include "TCueNumber.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

// Raised for a position outside the list: "List index out of bounds (%d)".
class EListError : public std::out_of_range {
public:
    explicit EListError(int32_t index);
};

// The running order; owns its cues. UI thread only.
class TCueList {
public:
    TCueList() = default;
    TCueList(const TCueList&) = delete;
    TCueList& operator=(const TCueList&) = delete;

    // Called after each change of Current, with the old and the new number.
    std::function<void(int32_t oldNumber, int32_t newNumber)> OnCurrentChange;

    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    TCue* Items(int32_t index) const;
    int32_t Add(std::unique_ptr<TCue> cue);
    void Insert(int32_t index, std::unique_ptr<TCue> cue);
    void Move(int32_t from, int32_t to);
    void Delete(int32_t index);
    // Takes the cue out of the list without releasing it; the caller owns it from then on.
    std::unique_ptr<TCue> Extract(int32_t index);
    void Clear();

    TCueNumber Current() const { return FCurrent; }
    void SetCurrent(TCueNumber number);
    TCue* CurrentCue() const;
    // The cue with that number; none for a number outside the list.
    TCue* CueOf(TCueNumber number) const;

    TCueNumber IndexOfUID(const std::string& uid) const;
    // The number of that very cue, 0 when the list does not hold it.
    TCueNumber IndexOf(const TCue* cue) const;
    // The number of the cue with that Identity, 0 when the list does not hold it.
    TCueNumber IndexOfIdentity(uint64_t identity) const;
    std::string AssignUID(int32_t index);
    int32_t AssignMissingUIDs();
    bool AllStopped() const;
    void StopAll();

private:
    void CheckIndex(int32_t index, int32_t last) const;
    std::unordered_set<std::string> UsedUIDs() const;
    // `lowestFree`: no identifier below it is free; advanced past the one assigned.
    std::string AssignUID(int32_t index, std::unordered_set<std::string>& used,
                          int32_t& lowestFree);

    std::vector<std::unique_ptr<TCue>> FItems;
    TCueNumber FCurrent;
};
