#include "TOfflineOutput.h"

#include "TAudioStream.h"

#include <algorithm>
#include <vector>

// Frames rendered and not taken yet, oldest first, and whether a drain waits for them.
struct TOfflineOutput::TQueue {
    std::vector<float> Samples;
    bool Draining = false;
};

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

std::chrono::steady_clock::time_point TOfflineOutput::Now() const {
    return std::chrono::steady_clock::now() +
           std::chrono::steady_clock::duration(FSkipped.load(std::memory_order_relaxed));
}

void TOfflineOutput::Start(TAudioStream& stream) {
    stream.Target = new TQueue;
}

void TOfflineOutput::Pause(TAudioStream& stream) {
    if (auto* queue = static_cast<TQueue*>(stream.Target))
        queue->Draining = false;
    Rewrite(stream);
}

void TOfflineOutput::Resume(TAudioStream& stream) {
    Rewrite(stream);
}

void TOfflineOutput::Refresh(TAudioStream& stream) {
    Rewrite(stream);
}

// What is queued is rendered again when it is next taken, with the gains and moves of now.
void TOfflineOutput::Rewrite(TAudioStream& stream) {
    auto* queue = static_cast<TQueue*>(stream.Target);
    if (!queue || queue->Samples.empty())
        return;
    const size_t back = stream.Rewind(queue->Samples.size() / 2);
    queue->Samples.resize(queue->Samples.size() - back * 2);
}

void TOfflineOutput::Rename(TAudioStream&) {}

void TOfflineOutput::Drain(TAudioStream& stream) {
    auto* queue = static_cast<TQueue*>(stream.Target);
    if (queue && !queue->Samples.empty())
        queue->Draining = true;
    else
        stream.Drained = true;
}

void TOfflineOutput::Close(TAudioStream& stream) {
    delete static_cast<TQueue*>(stream.Target);
    stream.Target = nullptr;
}

size_t TOfflineOutput::Render(TAudioStream& stream, size_t frames, float* out) {
    const TAudioStream::TPlayState state = stream.State;
    auto* queue = static_cast<TQueue*>(stream.Target);
    if (!queue || (state != TAudioStream::psPlaying && state != TAudioStream::psPaused &&
                   state != TAudioStream::psStopping)) {
        std::fill(out, out + frames * 2, 0.0f);
        return 0;
    }
    if (FQueuedFrames > 0)
        return RenderQueued(stream, *queue, frames, out);
    bool end = false;
    return stream.Render(frames, out, end);
}

// Keeps FQueuedFrames frames rendered beyond what is taken, as far as the stream has them.
size_t TOfflineOutput::RenderQueued(TAudioStream& stream, TQueue& queue, size_t frames,
                                    float* out) {
    const size_t queued = queue.Samples.size() / 2;
    const size_t wanted = FQueuedFrames + frames;
    if (queued < wanted) {
        queue.Samples.resize(wanted * 2);
        bool end = false;
        const size_t got = stream.Render(wanted - queued, queue.Samples.data() + queued * 2, end);
        queue.Samples.resize((queued + got) * 2);
    }
    const size_t taken = std::min(frames, queue.Samples.size() / 2);
    const auto takenEnd = queue.Samples.begin() + static_cast<long>(taken * 2);
    std::copy(queue.Samples.begin(), takenEnd, out);
    std::fill(out + taken * 2, out + frames * 2, 0.0f);
    queue.Samples.erase(queue.Samples.begin(), takenEnd);
    if (queue.Draining && queue.Samples.empty()) {
        queue.Draining = false;
        stream.Drained = true;
    }
    return taken;
}
