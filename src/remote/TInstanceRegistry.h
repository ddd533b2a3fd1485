#pragma once

#include "TOptex.h"
#include "TPeerConnection.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The list of running instances of one executable and user, in the order they registered.
// It lives in a folder of the user's runtime directory named by a hash of the identity: a
// 1032-byte block mapped shared by every holder (Limit, Count, 257 process ids, packed,
// little-endian), guarded by a TOptex. Holders keep a shared flock on a holders file; an
// opener that finds itself the only holder starts from an empty block, so the registry
// vanishes with its last holder, also after crashes. UI thread only.
class TInstanceRegistry {
public:
    static constexpr int32_t Capacity = 257;
    static constexpr size_t BlockSize = 4 + 4 * Capacity;
    static_assert(BlockSize == 1032, "the registry block's layout is shared with other launches");
    static constexpr std::chrono::milliseconds ExchangeTimeLimit{3000};

    // Opens the registry of identity; throws std::runtime_error when it cannot be set up.
    explicit TInstanceRegistry(const std::string& identity);
    // Unregisters the process.
    ~TInstanceRegistry();
    TInstanceRegistry(const TInstanceRegistry&) = delete;
    TInstanceRegistry& operator=(const TInstanceRegistry&) = delete;

    // The process's handle, made on the first call; ReleaseProcess unregisters and drops it.
    static TInstanceRegistry& Process();
    static void ReleaseProcess();
    // The resolved path of the running executable.
    static std::string ExecutableIdentity();
    // The private folder that holds the registry of identity, made if missing.
    static std::string FolderOf(const std::string& identity);

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

    // Sends a data message to every registered receiver but the own and those in skipped,
    // one after the other, each waiting for the receiver's reply up to ExchangeTimeLimit.
    bool SendBlock(int32_t kind, const std::string& bytes, uint32_t originator,
                   const std::vector<uint32_t>& skipped);
    bool ForwardArguments(const std::vector<std::string>& arguments, uint32_t originator,
                          const std::vector<uint32_t>& skipped);

    // Each argument followed by CR LF; empty arguments are dropped.
    static std::string ArgumentPayload(const std::vector<std::string>& arguments);

    // Whether a single-instance component of this process has registered it already.
    bool ComponentCreated = false;

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
