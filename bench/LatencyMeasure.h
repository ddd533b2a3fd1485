#pragma once

#include "TMonitorRecorder.h"
#include "TestAudioFiles.h"

#include <chrono>
#include <string>
#include <vector>

// When starts are heard on a sink's monitor, for the latency benchmarks.
struct TLatencyResult {
    std::vector<double> Milliseconds;
    std::vector<double> Delivered;
    int Clipped = 0;
    int Missed = 0;
};

// A start that cannot be mistaken: a loud rising staircase, then a tone.
std::vector<float> LatencySignature();

// The signature, and where it is written as a file for a player to start.
struct TSignatureFile {
    std::vector<float> Samples;
    std::string Path;
};
// Writes the signature as `dir`/signature.wav.
TSignatureFile WriteLatencySignature(const TTempDir& dir);
// Writes a second of silence as `dir`/silent.wav; its path.
std::string WriteSilentSecond(const TTempDir& dir);

// Records one start: how late it sounded and whether it kept the file's beginning.
void MeasureStart(TMonitorRecorder& recorder, std::chrono::steady_clock::time_point start,
                  const std::vector<float>& file, TLatencyResult& result);

// Plays `path` with paplay in a fresh process on `sink` and records when it is heard; false when
// paplay cannot be started.
bool MeasurePaplay(TMonitorRecorder& recorder, const std::string& sink, const std::string& path,
                   const std::vector<float>& file, TLatencyResult& result);

double Percentile(std::vector<double> values, double p);

void ReportLatency(const char* name, const TLatencyResult& result);
// The ratio of the medians of `subject` to `peer`, as heard and as delivered.
void ReportRatio(const TLatencyResult& subject, const TLatencyResult& peer);
