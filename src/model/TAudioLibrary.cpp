#include "TAudioLibrary.h"

namespace {
TAudioLibrary* g_library = nullptr;
SyncProc g_endSync = nullptr;
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
