#include "TOfflineOutput.h"

#include "TAudioStream.h"

#include <algorithm>

bool TOfflineOutput::DeviceExists(uint32_t device) {
    return device >= 1 && device <= FDevices;
}

std::string TOfflineOutput::DeviceName(uint32_t device) {
    return DeviceExists(device) ? "offline" + std::to_string(device) : std::string();
}

bool TOfflineOutput::InitDevice(uint32_t device) {
    return DeviceExists(device);
}

std::string TOfflineOutput::Problem() {
    return FDevices == 0 ? "no offline device" : std::string();
}

void TOfflineOutput::Start(TAudioStream& stream) {
    stream.Target = this;
}

void TOfflineOutput::Pause(TAudioStream&) {}

void TOfflineOutput::Resume(TAudioStream&) {}

// Nothing is queued here: every frame is rendered when it is taken.
void TOfflineOutput::Refresh(TAudioStream&) {}

void TOfflineOutput::Rename(TAudioStream&) {}

void TOfflineOutput::Drain(TAudioStream& stream) {
    stream.Drained = true;
}

void TOfflineOutput::Close(TAudioStream& stream) {
    stream.Target = nullptr;
}

size_t TOfflineOutput::Render(TAudioStream& stream, size_t frames, float* out) {
    const TAudioStream::TPlayState state = stream.State;
    if (stream.Target != this ||
        (state != TAudioStream::psPlaying && state != TAudioStream::psPaused &&
         state != TAudioStream::psStopping)) {
        std::fill(out, out + frames * 2, 0.0f);
        return 0;
    }
    bool end = false;
    return stream.Render(frames, out, end);
}
