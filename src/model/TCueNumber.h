#pragma once

#include <compare>
#include <cstdint>
#include <iosfwd>

// A cue's number as the operator counts, 1 for the first cue, 0 for none; its Row is the
// position from 0 that TCueList's Items and Qt's models use. The one place where the two meet.
class TCueNumber {
public:
    constexpr TCueNumber() = default;
    constexpr explicit TCueNumber(int32_t number) : FNumber(number) {}
    // The cue at position `row` counted from 0.
    static constexpr TCueNumber OfRow(int32_t row) { return TCueNumber(row + 1); }

    constexpr int32_t Number() const { return FNumber; }
    constexpr int32_t Row() const { return FNumber - 1; }
    // Whether a list of `count` cues holds this number.
    constexpr bool In(int32_t count) const { return FNumber >= 1 && FNumber <= count; }
    constexpr TCueNumber Next() const { return TCueNumber(FNumber + 1); }

    friend constexpr auto operator<=>(const TCueNumber&, const TCueNumber&) = default;
    friend constexpr bool operator==(const TCueNumber&, const TCueNumber&) = default;
    friend constexpr bool operator==(TCueNumber cue, int32_t number) {
        return cue.FNumber == number;
    }

private:
    int32_t FNumber = 0;
};

std::ostream& operator<<(std::ostream& stream, TCueNumber number);
