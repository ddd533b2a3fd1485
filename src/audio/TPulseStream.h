#pragma once

#include "TAudioMix.h"
#include "TPulseServer.h"

#include <pulse/sample.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TAudioStream;
struct pa_mainloop_api;
struct pa_operation;
struct pa_stream;
struct pa_time_event;
struct timeval;

// The one playback stream of an output: it writes the mix of every cue playing there, and
// rewrites what is queued from the playing position when a cue starts, stops or changes, so
// that the change is heard at once however deep the buffer. Every call is made with the
// mainloop locked (the engine's threads through TPulseLock); the callbacks run on the mainloop
// thread and take no lock of the program's, allocate nothing and do no I/O.
class TPulseStream {
public:
    static constexpr pa_sample_spec SampleFormat{PA_SAMPLE_FLOAT32LE, 44100, 2};

    // A stream on `sink` named `name` that the server has made ready, or nullptr. `wake` runs
    // on the mainloop thread when the stream fails or a cue has drained.
    static std::unique_ptr<TPulseStream> OpenLocked(TPulseServer& server, const std::string& sink,
                                                    const std::string& name,
                                                    std::function<void()> wake,
                                                    TPulseServer::TDeadline deadline);
    ~TPulseStream();
    TPulseStream(const TPulseStream&) = delete;
    TPulseStream& operator=(const TPulseStream&) = delete;

    const std::string& Sink() const { return FSink; }
    // Whether the server still plays it.
    bool ReadyLocked() const;
    // Whether no cue is in its mix, and since when: it is closed once empty long enough.
    bool EmptyLocked() const { return FMix.Empty(); }
    TPulseServer::TDeadline EmptySince() const { return FEmptySince; }

    // A cue joins the mix at the next rewrite (after CommitLocked when `held`). Unless held,
    // waits until it has, up to the deadline; false when the mix is full or the server did not
    // answer in time, and then the cue has left the mix again.
    bool AddLocked(TAudioStream& audio, bool held, TPulseServer::TDeadline deadline);
    // A cue joins the mix to begin right after the last frame of `leader`, a cue of this mix,
    // once the leader has rendered its file to the end; false when it cannot.
    bool AddAfterLocked(TAudioStream& audio, TAudioStream& leader);
    // A cue that waits for its leader starts at the next rewrite (after CommitLocked when
    // `held`); unless held, waits until it has, up to the deadline.
    void StartNowLocked(TAudioStream& audio, bool held, TPulseServer::TDeadline deadline);
    // A cue that waits for its leader leaves the mix; false once it has begun.
    bool CancelFollowLocked(TAudioStream& audio);
    // No callback touches the cue afterwards.
    void RemoveLocked(TAudioStream& audio);
    // Held cues start at the next rewrite, asked for now, and at `startAt` when given and the
    // timing answer comes in time for it: outputs started together begin at the same time.
    void CommitLocked(std::optional<TPulseServer::TClock::time_point> startAt);
    // Whether a cue waits for CommitLocked.
    bool HeldLocked() const { return FMix.Held(); }
    // Whether a cue waits for its start frame.
    bool WaitingLocked() const { return FMix.Waiting(); }
    // Something changed: what is queued after the frame being played is rendered again.
    void RefreshLocked();
    void DrainLocked(TAudioStream& audio, bool draining);

private:
    TPulseStream(TPulseServer& server, std::string sink, std::function<void()> wake);

    bool ConnectLocked(const std::string& name, TPulseServer::TDeadline deadline);
    void AskTimingLocked();
    // Mainloop thread.
    size_t WriteAt(int64_t at, size_t frames);
    void Feed();
    void Rewrite(int64_t from);
    int64_t RewriteAhead();
    void MoveWritten(int64_t to);

    static void StateCallback(pa_stream* server, void* user);
    static void WriteCallback(pa_stream* server, size_t bytes, void* user);
    static void TimingCallback(pa_stream* server, int success, void* user);
    static void RetryCallback(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                              void* user);
    static void ClockCallback(pa_mainloop_api* api, pa_time_event* event, const timeval* when,
                              void* user);
    static void UnderflowCallback(pa_stream* server, void* user);

    TPulseServer& FServer;
    const std::string FSink;
    std::function<void()> FWake;
    pa_mainloop_api* FApi = nullptr;
    pa_stream* FStream = nullptr;
    pa_operation* FTiming = nullptr;
    // Looks again for frames the server still wants; restarted by the callbacks.
    pa_time_event* FRetry = nullptr;
    // Asks the server where it plays, for drains and for the display.
    pa_time_event* FClock = nullptr;
    TAudioMix FMix;
    TPulseServer::TDeadline FEmptySince;
    // Mainloop thread only: the stream index, in frames, after the last frame written, and
    // whether the next timing answer rewrites what is queued.
    int64_t FWritten = 0;
    bool FRewrite = false;
    // Where the next rewrite begins, when outputs start together.
    std::optional<TPulseServer::TClock::time_point> FStartAt;
};
