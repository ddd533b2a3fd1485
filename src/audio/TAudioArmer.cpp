#include "TAudioArmer.h"

#include <filesystem>

TAudioArmer::TAudioArmer(size_t frames) : FFrames(frames), FThread([this] { Run(); }) {}

TAudioArmer::~TAudioArmer() {
    {
        std::lock_guard lock(FLock);
        FQuit = true;
    }
    FChanged.notify_one();
    FThread.join();
    for (auto& stream : FGiveBack)
        stream->Release();
    if (FReady)
        FReady->Release();
}

void TAudioArmer::Arm(const TRequest& request) {
    {
        std::lock_guard lock(FLock);
        if (FWanted == request && FStage != asTaken)
            return;
        Drop();
        FWanted = request;
        FStage = asWanted;
    }
    FChanged.notify_one();
}

void TAudioArmer::Disarm() {
    {
        std::lock_guard lock(FLock);
        if (!FWanted)
            return;
        Drop();
        FWanted.reset();
        FStage = asNone;
    }
    FChanged.notify_one();
}

void TAudioArmer::Drop() {
    ++FGeneration;
    FFound = false;
    if (FReady)
        FGiveBack.push_back(std::move(FReady));
    FReady = nullptr;
}

std::shared_ptr<TAudioStream> TAudioArmer::Take(const std::string& file, bool loop,
                                                uint32_t device) {
    std::lock_guard lock(FLock);
    if (FStage != asReady || FWanted->File != file || FWanted->Loop != loop ||
        FWanted->Device != device)
        return nullptr;
    FStage = asTaken;
    return std::move(FReady);
}

bool TAudioArmer::Found(const std::string& file) {
    std::lock_guard lock(FLock);
    return FWanted && FWanted->File == file && FFound;
}

bool TAudioArmer::Ready(const std::string& file) {
    std::lock_guard lock(FLock);
    return FStage == asReady && FWanted->File == file;
}

// Armer thread: gives back what is no longer wanted first, then opens what is.
void TAudioArmer::Run() {
    std::unique_lock lock(FLock);
    while (!FQuit) {
        if (!FGiveBack.empty()) {
            std::vector<std::shared_ptr<TAudioStream>> streams;
            streams.swap(FGiveBack);
            lock.unlock();
            for (auto& stream : streams)
                stream->Release();
            streams.clear();
            lock.lock();
            continue;
        }
        if (FStage == asWanted) {
            const TRequest request = *FWanted;
            const uint64_t generation = FGeneration;
            FStage = asOpening;
            lock.unlock();
            std::shared_ptr<TAudioStream> stream = Open(request, generation);
            lock.lock();
            if (generation == FGeneration) {
                FReady = std::move(stream);
                FStage = FReady ? asReady : asFailed;
            } else if (stream) {
                FGiveBack.push_back(std::move(stream));
            }
            continue;
        }
        FChanged.wait(lock);
    }
}

// Armer thread, no lock held but for telling what the file system said.
std::shared_ptr<TAudioStream> TAudioArmer::Open(const TRequest& request, uint64_t generation) {
    std::error_code error;
    const bool found = std::filesystem::is_regular_file(request.File, error);
    {
        std::lock_guard lock(FLock);
        if (generation != FGeneration)
            return nullptr;
        FFound = found;
    }
    if (!found)
        return nullptr;
    auto stream = std::make_shared<TAudioStream>(0, request.Device, request.Loop, request.File);
    if (!stream->Open())
        return nullptr;
    stream->Prime(FFrames,
                  static_cast<float>(request.Speed * static_cast<double>(stream->NativeRate())));
    return stream;
}
