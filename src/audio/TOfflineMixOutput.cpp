#include "TOfflineMixOutput.h"

#include "TAudioStream.h"

#include <algorithm>

bool TOfflineMixOutput::DeviceExists(uint32_t device) {
    return device >= 1 && device <= FDevices;
}

std::string TOfflineMixOutput::DeviceName(uint32_t device) {
    return DeviceExists(device) ? "offline" + std::to_string(device) : std::string();
}

bool TOfflineMixOutput::InitDevice(uint32_t device) {
    return DeviceExists(device);
}

std::string TOfflineMixOutput::Problem() {
    return FDevices == 0 ? "no offline device" : std::string();
}

// A device that does not exist plays on device 1, as on the server.
TOfflineMixOutput::TOutput& TOfflineMixOutput::OutputOf(TAudioStream& stream) {
    return FOutputs[DeviceExists(stream.Device()) ? stream.Device() : 1];
}

void TOfflineMixOutput::Start(TAudioStream& stream) {
    TOutput& output = OutputOf(stream);
    if (!output.Mix.Add(stream, FHolding)) {
        stream.Failed = true;
        return;
    }
    stream.Target = &output;
    if (!FHolding)
        Rewrite(output);
}

bool TOfflineMixOutput::StartAfter(TAudioStream& stream, TAudioStream& leader) {
    auto* output = static_cast<TOutput*>(leader.Target);
    if (!output || output != &OutputOf(stream) || !output->Mix.AddAfter(stream, leader))
        return false;
    stream.Target = output;
    Rewrite(*output);
    return true;
}

void TOfflineMixOutput::StartNow(TAudioStream& stream) {
    auto* output = static_cast<TOutput*>(stream.Target);
    if (output && output->Mix.StartNow(stream, FHolding) && !FHolding)
        Rewrite(*output);
}

bool TOfflineMixOutput::CancelPending(TAudioStream& stream) {
    auto* output = static_cast<TOutput*>(stream.Target);
    if (!output || !output->Mix.CancelFollow(stream))
        return false;
    stream.Target = nullptr;
    return true;
}

void TOfflineMixOutput::CommitStarts() {
    FHolding = false;
    for (auto& [device, output] : FOutputs) {
        output.Mix.Commit();
        if (output.Mix.Waiting())
            Rewrite(output);
    }
}

void TOfflineMixOutput::Pause(TAudioStream& stream) {
    if (auto* output = static_cast<TOutput*>(stream.Target)) {
        output->Mix.Drain(stream, false);
        Rewrite(*output);
    }
}

void TOfflineMixOutput::Resume(TAudioStream& stream) {
    if (auto* output = static_cast<TOutput*>(stream.Target))
        Rewrite(*output);
}

void TOfflineMixOutput::Refresh(TAudioStream& stream) {
    Resume(stream);
}

void TOfflineMixOutput::Drain(TAudioStream& stream) {
    auto* output = static_cast<TOutput*>(stream.Target);
    if (!output) {
        stream.Drained = true;
        return;
    }
    output->Mix.Drain(stream, true);
    output->Mix.Played(output->Taken);
}

void TOfflineMixOutput::Close(TAudioStream& stream) {
    if (auto* output = static_cast<TOutput*>(stream.Target))
        output->Mix.Remove(stream);
    stream.Target = nullptr;
}

// Everything queued is rendered again, from the frame taken next, when it is next taken.
void TOfflineMixOutput::Rewrite(TOutput& output) {
    output.RewritePending = true;
}

size_t TOfflineMixOutput::Take(uint32_t device, size_t frames, float* out) {
    TOutput& output = FOutputs[device];
    if (output.RewritePending) {
        output.RewritePending = false;
        output.Mix.Rewind(output.Taken);
        output.Written = output.Taken;
        output.Queued.clear();
    }
    const size_t queued = output.Queued.size() / 2;
    const size_t wanted = FQueuedFrames + frames - std::min(queued, FQueuedFrames + frames);
    const size_t ready = output.Mix.Renderable(output.Written, wanted);
    output.Queued.resize((queued + ready) * 2);
    output.Mix.Render(output.Written, ready, output.Queued.data() + queued * 2);
    output.Written += static_cast<int64_t>(ready);
    const size_t taken = std::min(frames, output.Queued.size() / 2);
    const auto takenEnd = output.Queued.begin() + static_cast<long>(taken * 2);
    std::copy(output.Queued.begin(), takenEnd, out);
    std::fill(out + taken * 2, out + frames * 2, 0.0f);
    output.Queued.erase(output.Queued.begin(), takenEnd);
    output.Taken += static_cast<int64_t>(taken);
    output.Mix.Played(output.Taken);
    output.Mix.SetLatency(output.Written - output.Taken, 0);
    return taken;
}
