#include "TAudioLibrary.h"

#include <atomic>

namespace {
TAudioLibrary* g_library = nullptr;
std::atomic<SyncProc> g_endSync = nullptr;
std::atomic<TCueEndReceiver*> g_endReceiver = nullptr;

// The user data of a cue's end sync is the cue's UID.
void ToReceiver(HSYNC, HSTREAM stream, uint32_t data, void* user) {
    TCueEndReceiver* receiver = g_endReceiver;
    if (receiver && user)
        receiver->CueStreamEnded(*static_cast<const std::string*>(user), stream, data);
}
} // namespace

TAudioLibrary* AudioLibrary() {
    return g_library;
}

void SetAudioLibrary(TAudioLibrary* library) {
    g_library = library;
}

SyncProc CueEndSyncProc() {
    return g_endSync;
}

void SetCueEndSyncProc(SyncProc proc) {
    g_endSync = proc;
}

void SetCueEndReceiver(TCueEndReceiver* receiver) {
    g_endReceiver = receiver;
    g_endSync = receiver ? ToReceiver : nullptr;
}
