#include "TLatencySeries.h"

#include "LatencyMeasure.h"

#include <cstdio>
#include <thread>

using namespace std::chrono_literals;

void TLatencySeries::Add(TClock::time_point since,
                         const std::function<std::optional<TClock::time_point>()>& find) {
    std::optional<TClock::time_point> heard;
    const auto deadline = TClock::now() + 2s;
    while (!(heard = find()) && TClock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    if (!heard) {
        ++FMissed;
        return;
    }
    FMs.push_back(std::chrono::duration<double, std::milli>(*heard - since).count());
}

void TLatencySeries::Report() const {
    std::printf("%-24s runs %zu  median %.2f ms  p10 %.2f  p90 %.2f  max %.2f  missed %d\n",
                FName.c_str(), FMs.size(), Percentile(FMs, 0.5), Percentile(FMs, 0.1),
                Percentile(FMs, 0.9), Percentile(FMs, 1.0), FMissed);
}
