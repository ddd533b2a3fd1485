#pragma once

#include "TOptex.h"
#include "TPeerConnection.h"
#include "TRuntimeFolder.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// What became of a data message sent to the registered receivers: how many took it, and the
// processes that were registered with a receiver but did not take it (hung, stopped, or busy
// beyond the time limit).
struct TDelivery {
    int32_t Taken = 0;
    std::vector<uint32_t> Missed;

    bool Delivered() const { return Taken > 0 && Missed.empty(); }
};

// A registry that holds as many launches as it can: the launch that finds it so is not carried
// out, never taken for the first instance.
class TRegistryFull : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The list of running instances of one executable and user, in the order they registered.
// It lives in a folder of the user's registry folder (TRuntimeFolder) named by a hash of the
// identity: a 1032-byte block mapped shared by every holder (Limit, Count, 257 process ids, packed,
// little-endian), guarded by a TOptex. Holders keep a shared flock on a holders file; an
// opener that finds itself the only holder starts from an empty block, so the registry
// vanishes with its last holder, also after crashes. One thread at a time; needs no Qt, so that
// a forwarding launch loads nothing but the C++ runtime.
class TInstanceRegistry {
public:
    static constexpr int32_t Capacity = 257;
    static constexpr size_t BlockSize = 4 + 4 * Capacity;
    static_assert(BlockSize == 1032, "the registry block's layout is shared with other launches");
    static constexpr std::chrono::milliseconds ExchangeTimeLimit{3000};
    // How much longer than a data message's deadline its sender waits for the reply: a receiver
    // answers right when it takes the message, before carrying it out.
    static constexpr std::chrono::milliseconds ReplyGrace{1000};

    // Opens the registry of identity in the user's folder base; throws std::runtime_error when
    // it cannot be set up.
    explicit TInstanceRegistry(const std::string& identity,
                               const std::string& base = TRuntimeFolder::OfUser());
    // Unregisters the process.
    ~TInstanceRegistry();
    TInstanceRegistry(const TInstanceRegistry&) = delete;
    TInstanceRegistry& operator=(const TInstanceRegistry&) = delete;

    // The resolved path of the running executable.
    static std::string ExecutableIdentity();
    // The private folder in base that holds the registry of identity, made if missing.
    static std::string FolderOf(const std::string& identity,
                                const std::string& base = TRuntimeFolder::OfUser());

    uint32_t OwnProcessId() const { return FProcessId; }
    const std::string& Folder() const { return FFolder; }
    std::string SocketPathOf(uint32_t processId) const;

    bool RegisterInstance(uint16_t limit);
    void UnregisterInstance();
    int32_t RegisteredCount();
    uint32_t ProcessIdAt(int32_t index);
    int32_t PositionOf(uint32_t processId);
    // A connection to processId's receiver, or an invalid one when it has none.
    TPeerConnection ApplicationWindowOf(uint32_t processId) const;
    void BroadcastNotice(int32_t kind, int32_t value);

    // The lock that guards the block; held by the caller around steps that must look atomic to
    // other launches.
    TOptex& Lock() { return *FLock; }

    // Sends a data message to every registered receiver but the own and those in skipped
    // (which count as missed), one after the other. Each message carries a deadline
    // ExchangeTimeLimit ahead, past which its receiver drops it; its reply is waited for up to
    // ReplyGrace longer, so one that was missed is never carried out later.
    TDelivery SendBlock(int32_t kind, const std::string& bytes, uint32_t originator,
                        const std::vector<uint32_t>& skipped);
    TDelivery ForwardArguments(const std::vector<std::string>& arguments, uint32_t originator,
                               const std::vector<uint32_t>& skipped);

    // Each argument followed by CR LF; empty arguments are dropped.
    static std::string ArgumentPayload(const std::vector<std::string>& arguments);

private:
    void OpenBlock();
    std::vector<uint32_t> RegisteredProcesses();
    void DropEndedProcesses();

    uint16_t Limit() const;
    uint16_t Count() const;
    uint32_t EntryAt(int32_t index) const;
    void SetLimit(uint16_t value);
    void SetCount(uint16_t value);
    void SetEntryAt(int32_t index, uint32_t processId);

    uint32_t FProcessId = 0;
    std::string FFolder;
    std::unique_ptr<TOptex> FLock;
    int FBlockFile = -1;
    int FHoldersFile = -1;
    unsigned char* FView = nullptr;
};
