#include "LatencyMeasure.h"

#include "TestAudioFiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace std::chrono_literals;

namespace {
constexpr float Level = 0.01f;
constexpr size_t RisingFrames = 32;
constexpr float Tolerance = 2e-3f;

// Whether the first frames heard (interleaved stereo) are the file's rising staircase, at full
// level or under a start ramp. A start that lost its beginning opens higher than the file or,
// later than the staircase, in the tone, which neither stays positive nor rises for as long.
bool StartKept(const std::vector<float>& sound, const std::vector<float>& file) {
    if (sound.size() != RisingFrames * 2 || sound[0] > file[0] + Tolerance)
        return false;
    for (size_t i = 0; i < RisingFrames; ++i)
        if (sound[i * 2] <= 0 || (i > 0 && sound[i * 2] < sound[(i - 1) * 2] - Tolerance))
            return false;
    return true;
}
} // namespace

std::vector<float> LatencySignature() {
    std::vector<float> samples = Sine(500, 44100, 44100 / 5, 0.5f);
    for (size_t i = 0; i < 64; ++i)
        samples[i] = 0.3f + 0.4f * static_cast<float>(i) / 64.0f;
    return samples;
}

TSignatureFile WriteLatencySignature(const TTempDir& dir) {
    TSignatureFile signature{LatencySignature(), (dir / "signature.wav").string()};
    WriteFloatWav(signature.Path, 1, 44100, signature.Samples);
    return signature;
}

std::string WriteSilentSecond(const TTempDir& dir) {
    const std::string path = (dir / "silent.wav").string();
    WriteFloatWav(path, 1, 44100, std::vector<float>(44100, 0.0f));
    return path;
}

void MeasureStart(TMonitorRecorder& recorder, std::chrono::steady_clock::time_point start,
                  const std::vector<float>& file, TLatencyResult& result) {
    std::optional<std::chrono::steady_clock::time_point> heard;
    for (int i = 0; i < 200 && !heard; ++i) {
        std::this_thread::sleep_for(5ms);
        heard = recorder.FirstSoundAfter(start, Level);
    }
    if (!heard) {
        ++result.Missed;
        return;
    }
    std::this_thread::sleep_for(20ms);
    result.Clipped += !StartKept(recorder.SoundFrom(start, Level, RisingFrames), file);
    const auto ms = [start](std::chrono::steady_clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - start).count();
    };
    result.Milliseconds.push_back(ms(*heard));
    result.Delivered.push_back(ms(*recorder.FirstSoundArrival(start, Level)));
}

bool MeasurePaplay(TMonitorRecorder& recorder, const std::string& sink, const std::string& path,
                   const std::vector<float>& file, TLatencyResult& result) {
    const char* args[] = {"paplay", "-d", sink.c_str(), path.c_str(), nullptr};
    pid_t pid = 0;
    const auto spawned = std::chrono::steady_clock::now();
    if (posix_spawnp(&pid, "paplay", nullptr, nullptr, const_cast<char**>(args), environ) != 0)
        return false;
    MeasureStart(recorder, spawned, file, result);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return true;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

void ReportLatency(const char* name, const TLatencyResult& result) {
    std::printf("%-8s runs %zu  median %.2f ms  p10 %.2f  p90 %.2f  max %.2f  clipped %d  "
                "missed %d\n",
                name, result.Milliseconds.size(), Percentile(result.Milliseconds, 0.5),
                Percentile(result.Milliseconds, 0.1), Percentile(result.Milliseconds, 0.9),
                Percentile(result.Milliseconds, 1.0), result.Clipped, result.Missed);
    std::printf("%-8s block delivered to the recorder: median %.2f ms  p90 %.2f\n", name,
                Percentile(result.Delivered, 0.5), Percentile(result.Delivered, 0.9));
}

void ReportRatio(const TLatencyResult& subject, const TLatencyResult& peer) {
    std::printf("ratio of medians %.2f (delivered %.2f)\n",
                Percentile(subject.Milliseconds, 0.5) / Percentile(peer.Milliseconds, 0.5),
                Percentile(subject.Delivered, 0.5) / Percentile(peer.Delivered, 0.5));
}
