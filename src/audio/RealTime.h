#pragma once

// Moves the calling thread to the lowest real-time priority where the system grants it (root,
// or a raised RLIMIT_RTPRIO), so that other programs' work cannot hold up the thread that feeds
// the sound server; elsewhere it stays as it was: the server's buffer is sized to play on
// without it. Never for a thread that reads files or decodes.
void RaiseThreadToRealTime();
