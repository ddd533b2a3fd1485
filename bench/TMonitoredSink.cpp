#include "TMonitoredSink.h"

#include "SinkDevice.h"
#include "TPulseOutput.h"

#include <cstdio>

TMonitoredSink::TMonitoredSink(const std::string& sink)
    : Sink(sink), Engine(std::make_unique<TPulseOutput>()), Recorder(sink + ".monitor") {
    SetAudioLibrary(&Engine);
}

TMonitoredSink::~TMonitoredSink() {
    SetAudioLibrary(nullptr);
}

bool TMonitoredSink::Start() {
    Device = SinkDevice(Engine, Sink);
    if (Device != 0 && Recorder.Start())
        return true;
    std::fprintf(stderr, "cannot play on and record %s: %s\n", Sink.c_str(),
                 Engine.NoDeviceReason().c_str());
    return false;
}
