#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// How long after each change its effect was heard, for the control benchmarks.
class TLatencySeries {
public:
    using TClock = std::chrono::steady_clock;

    explicit TLatencySeries(std::string name) : FName(std::move(name)) {}

    // Records how long after `since` the effect was heard, asking `find` for it up to two
    // seconds; a miss when it never is.
    void Add(TClock::time_point since,
             const std::function<std::optional<TClock::time_point>()>& find);
    void Report() const;

private:
    std::string FName;
    std::vector<double> FMs;
    int FMissed = 0;
};
