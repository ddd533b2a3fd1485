#pragma once

#include "TPulseServer.h"

#include <pulse/sample.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TAudioStream;
struct pa_mainloop_api;
struct pa_operation;
struct pa_stream;
struct pa_time_event;
struct timeval;

// One playback stream on the server for one playing file: it writes what the server asks for
// from the file stream's ring, and rewrites what is queued from the playing position when the
// gains change. The calls come from the UI thread or the engine's worker, with the file stream's
// Control lock held, and take the mainloop lock themselves; the callbacks run on the mainloop
// thread and take no lock of the program's, allocate nothing and do no I/O.
class TPulseStream {
public:
    static constexpr pa_sample_spec Spec{PA_SAMPLE_FLOAT32LE, 44100, 2};

    // With the mainloop locked: a stream for `audio` on `sink` that the server has made ready,
    // or nullptr. `wake` runs on the mainloop thread when the stream fails or has drained.
    static std::unique_ptr<TPulseStream> OpenLocked(TPulseServer& server, TAudioStream& audio,
                                                    const std::string& sink,
                                                    std::function<void()> wake,
                                                    TPulseServer::TDeadline deadline);
    TPulseStream(const TPulseStream&) = delete;
    TPulseStream& operator=(const TPulseStream&) = delete;

    // The ramp to silence is rendered over what is queued at once; the stream is corked once
    // it has been heard. A drain under way is given up.
    void Pause();
    void Resume();
    // The gains changed: what is queued after the frame being played is rendered again.
    void Refresh();
    void Rename();
    // Sets the file stream's Drained once everything written has been played; Pause gives the
    // request up.
    void Drain();
    // Silences the stream and leaves the server; no callback runs afterwards.
    void Close();

private:
    TPulseStream(TPulseServer& server, TAudioStream& audio, std::function<void()> wake);

    // With the mainloop locked.
    bool ConnectLocked(const std::string& sink, TPulseServer::TDeadline deadline);
    void RefreshLocked();
    void DropCorkTimerLocked();
    void DropDrainLocked();
    // Mainloop thread.
    size_t WriteAt(int64_t at, size_t frames);
    void Feed();

    static void StateCallback(pa_stream* server, void* user);
    static void WriteCallback(pa_stream* server, size_t bytes, void* user);
    static void TimingCallback(pa_stream* server, int success, void* user);
    static void RetryCallback(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                              void* user);
    static void CorkCallback(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                             void* user);
    static void UnderflowCallback(pa_stream* server, void* user);
    static void DrainCallback(pa_stream* server, int success, void* user);

    TPulseServer& FServer;
    TAudioStream& FAudio;
    std::function<void()> FWake;
    pa_mainloop_api* FApi = nullptr;
    pa_stream* FStream = nullptr;
    pa_operation* FDraining = nullptr;
    pa_operation* FTiming = nullptr;
    // Corks a paused stream after its ramp.
    pa_time_event* FCorkTimer = nullptr;
    // Looks again for decoded frames the server still wants; restarted by the callbacks.
    pa_time_event* FRetry = nullptr;
    // Mainloop thread only: the stream index, in frames, after the last frame written. Only
    // decoded frames are written, so the frames before it are the ring's frames just read.
    int64_t FWritten = 0;
};
