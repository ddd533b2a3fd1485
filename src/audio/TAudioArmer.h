#pragma once

#include "TAudioStream.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Opens the file of the cue that plays next and decodes its beginning on a thread of its own,
// at normal priority, so that its start does no file I/O and no decoding on the UI thread. It
// holds one armed stream at most; a stream that is no longer wanted is given back (file,
// decoder, ring) on its thread. Its thread never waits on the engine's locks, so a slow disk
// holds up neither the UI thread nor the decoding of the cues that play. Members run on the
// UI thread unless marked otherwise.
class TAudioArmer {
public:
    // What to arm: a file played with these flags on that output, at `speed` times its native
    // rate (pitch); the frames decoded ahead are decoded at that rate.
    struct TRequest {
        std::string File;
        bool Loop = false;
        uint32_t Device = 1;
        double Speed = 1;
        friend bool operator==(const TRequest&, const TRequest&) = default;
    };

    // `frames`: how many frames of the beginning are decoded ahead.
    explicit TAudioArmer(size_t frames);
    // Stops and joins the thread, then gives back what it held.
    ~TAudioArmer();
    TAudioArmer(const TAudioArmer&) = delete;
    TAudioArmer& operator=(const TAudioArmer&) = delete;

    // Arms `request` in place of what was armed before. The same request again changes nothing
    // while it is armed or being armed; once its stream was taken, it is armed afresh.
    void Arm(const TRequest& request);
    // Gives back what is armed, and arms nothing.
    void Disarm();
    // The armed stream, when it is ready and was armed for that file, loop flag and output;
    // nullptr otherwise (not armed, still opening, or another file). The armer forgets it.
    std::shared_ptr<TAudioStream> Take(const std::string& file, bool loop, uint32_t device);
    // Whether `file` is the armed file and the thread found it a regular file.
    bool Found(const std::string& file);
    // Whether a stream for `file` is ready to be taken.
    bool Ready(const std::string& file);

private:
    enum TStage : uint8_t { asNone, asWanted, asOpening, asReady, asFailed, asTaken };

    // With FLock held: drops what is armed, to be given back on the thread.
    void Drop();
    // Armer thread.
    void Run();
    std::shared_ptr<TAudioStream> Open(const TRequest& request, uint64_t generation);

    const size_t FFrames;
    std::mutex FLock;
    std::condition_variable FChanged;
    // Guarded by FLock.
    std::optional<TRequest> FWanted;
    uint64_t FGeneration = 0;
    TStage FStage = asNone;
    bool FFound = false;
    std::shared_ptr<TAudioStream> FReady;
    std::vector<std::shared_ptr<TAudioStream>> FGiveBack;
    bool FQuit = false;
    std::thread FThread;
};
