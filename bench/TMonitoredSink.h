#pragma once

#include "TAudioEngine.h"
#include "TMonitorRecorder.h"

#include <cstdint>
#include <string>

// The engine, as the program's audio library, playing on the sound server's sink `sink`, and a
// recording of that sink's monitor: what the benchmarks of one sink measure with.
struct TMonitoredSink {
    explicit TMonitoredSink(const std::string& sink);
    ~TMonitoredSink();
    TMonitoredSink(const TMonitoredSink&) = delete;
    TMonitoredSink& operator=(const TMonitoredSink&) = delete;

    // Finds the sink and starts recording; false, after saying why on standard error, when the
    // sink cannot be played on or recorded.
    bool Start();

    const std::string Sink;
    TAudioEngine Engine;
    TMonitorRecorder Recorder;
    // The engine's device number of the sink, once started.
    int32_t Device = 0;
};
