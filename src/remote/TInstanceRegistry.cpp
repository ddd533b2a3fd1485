#include "TInstanceRegistry.h"

#include "Assert.h"
#include "LittleEndian.h"
#include "Sha256.h"
#include "TRuntimeFolder.h"

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw std::runtime_error("Cannot set up the instance registry: " + what + " " + path + ": " +
                             std::strerror(error) + " (" + std::to_string(error) +
                             ").\nCheck that this folder belongs to you and can be written to.");
}

void MakePrivateFolder(const std::string& path) {
    if (const std::string reason = TRuntimeFolder::MakePrivate(path); !reason.empty())
        throw std::runtime_error("Cannot set up the instance registry: " + path + ": " + reason +
                                 ".\nCheck that this folder belongs to you and only you can "
                                 "enter it.");
}

} // namespace

std::string TInstanceRegistry::FolderOf(const std::string& identity, const std::string& base) {
    const std::string folder = base + "/trelmo-" + Sha256Hex(identity).substr(0, 32);
    MakePrivateFolder(folder);
    return folder;
}

namespace {

int OpenFile(const std::string& path) {
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file < 0)
        Fail("cannot open", path, errno);
    return file;
}

// Receiver sockets left behind by instances that were killed.
void RemoveSockets(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.path().extension() == ".sock")
            std::filesystem::remove(entry.path(), ec);
}

bool ProcessEnded(uint32_t processId) {
    return ::kill(static_cast<pid_t>(processId), 0) != 0 && errno == ESRCH;
}

} // namespace

TInstanceRegistry::TInstanceRegistry(const std::string& identity, const std::string& base)
    : FProcessId(static_cast<uint32_t>(::getpid())), FFolder(FolderOf(identity, base)) {
    try {
        FLock = std::make_unique<TOptex>(FFolder + "/lock");
    } catch (const std::system_error& e) {
        Fail("cannot open the lock file in", FFolder, e.code().value());
    }
    TOptexGuard guard(*FLock);
    try {
        OpenBlock();
    } catch (...) {
        if (FView)
            ::munmap(FView, BlockSize);
        if (FBlockFile >= 0)
            ::close(FBlockFile);
        if (FHoldersFile >= 0)
            ::close(FHoldersFile);
        throw;
    }
}

void TInstanceRegistry::OpenBlock() {
    const std::string blockPath = FFolder + "/registry";
    FBlockFile = OpenFile(blockPath);
    FHoldersFile = OpenFile(FFolder + "/holders");
    const bool onlyHolder = ::flock(FHoldersFile, LOCK_EX | LOCK_NB) == 0;
    if (::flock(FHoldersFile, LOCK_SH | LOCK_NB) != 0)
        Fail("cannot lock", FFolder + "/holders", errno);
    struct stat info {};
    if (::fstat(FBlockFile, &info) != 0)
        Fail("cannot read", blockPath, errno);
    if ((onlyHolder && ::ftruncate(FBlockFile, 0) != 0) ||
        ((onlyHolder || info.st_size != static_cast<off_t>(BlockSize)) &&
         ::ftruncate(FBlockFile, BlockSize) != 0))
        Fail("cannot clear", blockPath, errno);
    if (onlyHolder)
        RemoveSockets(FFolder);
    void* view = ::mmap(nullptr, BlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, FBlockFile, 0);
    if (view == MAP_FAILED)
        Fail("cannot map", blockPath, errno);
    FView = static_cast<unsigned char*>(view);
}

TInstanceRegistry::~TInstanceRegistry() {
    UnregisterInstance();
    ::munmap(FView, BlockSize);
    ::close(FBlockFile);
    ::close(FHoldersFile);
}

std::string TInstanceRegistry::ExecutableIdentity() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).string();
}

std::string TInstanceRegistry::SocketPathOf(uint32_t processId) const {
    return FFolder + "/" + std::to_string(processId) + ".sock";
}

uint16_t TInstanceRegistry::Limit() const {
    return FromLittleEndian<uint16_t>(FView);
}

uint16_t TInstanceRegistry::Count() const {
    return std::min<uint16_t>(FromLittleEndian<uint16_t>(FView + 2), Capacity);
}

uint32_t TInstanceRegistry::EntryAt(int32_t index) const {
    TRELMO_VERIFY_OR_ASSERT(index >= 0 && index < Capacity) {
        return 0;
    }
    return FromLittleEndian<uint32_t>(FView + 4 + 4 * index);
}

void TInstanceRegistry::SetLimit(uint16_t value) {
    ToLittleEndian(value, FView);
}

void TInstanceRegistry::SetCount(uint16_t value) {
    ToLittleEndian(value, FView + 2);
}

void TInstanceRegistry::SetEntryAt(int32_t index, uint32_t processId) {
    TRELMO_VERIFY_OR_ASSERT(index >= 0 && index < Capacity) {
        return;
    }
    ToLittleEndian(processId, FView + 4 + 4 * index);
}

void TInstanceRegistry::DropEndedProcesses() {
    uint16_t kept = 0;
    for (int32_t i = 0; i < Count(); ++i)
        if (!ProcessEnded(EntryAt(i)))
            SetEntryAt(kept++, EntryAt(i));
    SetCount(kept);
}

bool TInstanceRegistry::RegisterInstance(uint16_t limit) {
    bool accepted;
    {
        TOptexGuard guard(*FLock);
        if (Limit() == 0)
            SetLimit(limit);
        accepted = Count() < Limit();
        if (Count() == Capacity)
            DropEndedProcesses();
        if (Count() == Capacity)
            return false;
        SetEntryAt(Count(), FProcessId);
        SetCount(Count() + 1);
    }
    if (accepted)
        BroadcastNotice(1, static_cast<int32_t>(FProcessId));
    return accepted;
}

void TInstanceRegistry::UnregisterInstance() {
    {
        TOptexGuard guard(*FLock);
        const int32_t count = Count();
        for (int32_t i = 0; i < count; ++i) {
            if (EntryAt(i) != FProcessId)
                continue;
            for (int32_t j = i; j + 1 < count; ++j)
                SetEntryAt(j, EntryAt(j + 1));
            SetEntryAt(count - 1, 0);
            SetCount(count - 1);
            break;
        }
    }
    BroadcastNotice(2, static_cast<int32_t>(FProcessId));
}

int32_t TInstanceRegistry::RegisteredCount() {
    TOptexGuard guard(*FLock);
    return Count();
}

uint32_t TInstanceRegistry::ProcessIdAt(int32_t index) {
    TOptexGuard guard(*FLock);
    return index >= 0 && index < Count() ? EntryAt(index) : 0;
}

int32_t TInstanceRegistry::PositionOf(uint32_t processId) {
    TOptexGuard guard(*FLock);
    for (int32_t i = 0; i < Count(); ++i)
        if (EntryAt(i) == processId)
            return i;
    return -1;
}

std::vector<uint32_t> TInstanceRegistry::RegisteredProcesses() {
    TOptexGuard guard(*FLock);
    std::vector<uint32_t> processes;
    for (int32_t i = 0; i < Count(); ++i)
        processes.push_back(EntryAt(i));
    return processes;
}

TPeerConnection TInstanceRegistry::ApplicationWindowOf(uint32_t processId) const {
    return TPeerConnection::Connect(SocketPathOf(processId), processId);
}

void TInstanceRegistry::BroadcastNotice(int32_t kind, int32_t value) {
    TOptexGuard guard(*FLock);
    const TFrame notice{TFrameType::Notice, kind, value, {}};
    // A fresh connection takes a 16-byte frame without waiting, so the lock is held briefly.
    const auto deadline = TPeerConnection::TClock::now();
    for (int32_t i = 0; i < Count(); ++i) {
        TPeerConnection receiver = ApplicationWindowOf(EntryAt(i));
        if (receiver.IsValid())
            receiver.Send(notice, deadline);
    }
}

TDelivery TInstanceRegistry::SendBlock(int32_t kind, const std::string& bytes, uint32_t originator,
                                       const std::vector<uint32_t>& skipped) {
    TFrame message{TFrameType::Data, kind, static_cast<int32_t>(originator), bytes};
    TDelivery delivery;
    for (uint32_t processId : RegisteredProcesses()) {
        if (processId == FProcessId)
            continue;
        if (std::ranges::find(skipped, processId) != skipped.end()) {
            delivery.Missed.push_back(processId);
            continue;
        }
        TPeerConnection receiver = ApplicationWindowOf(processId);
        if (!receiver.IsValid())
            continue;
        message.DeadlineNs =
            TFrame::MonotonicNowNs() +
            std::chrono::duration_cast<std::chrono::nanoseconds>(ExchangeTimeLimit).count();
        const std::optional<TFrame> reply = receiver.Exchange(
            message, TPeerConnection::TClock::now() + ExchangeTimeLimit + ReplyGrace);
        if (reply && reply->Type == TFrameType::Reply && reply->Value == 1)
            ++delivery.Taken;
        else
            delivery.Missed.push_back(processId);
    }
    return delivery;
}

TDelivery TInstanceRegistry::ForwardArguments(const std::vector<std::string>& arguments,
                                              uint32_t originator,
                                              const std::vector<uint32_t>& skipped) {
    return SendBlock(1, ArgumentPayload(arguments), originator, skipped);
}

std::string TInstanceRegistry::ArgumentPayload(const std::vector<std::string>& arguments) {
    std::string payload;
    for (const std::string& argument : arguments)
        if (!argument.empty())
            payload += argument + "\r\n";
    return payload;
}
