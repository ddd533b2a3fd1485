#pragma once

#include <string>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

// The fastest start the sound server allows: a stream connected corked, its buffer filled with
// the file's beginning ahead of time, uncorked on the trigger. Mono float samples at 44100 Hz.
class TFloorClient {
public:
    explicit TFloorClient(const std::string& sink);
    ~TFloorClient();
    TFloorClient(const TFloorClient&) = delete;
    TFloorClient& operator=(const TFloorClient&) = delete;

    // Connects a corked stream and fills it with `samples`; false when the server refuses.
    bool Arm(const std::vector<float>& samples);
    // Uncorks the armed stream: the sound starts.
    void Trigger();
    // Takes the stream off the server.
    void Disarm();

private:
    bool WaitFor(bool (*done)(TFloorClient&));

    std::string FSink;
    pa_threaded_mainloop* FMainloop = nullptr;
    pa_context* FContext = nullptr;
    pa_stream* FStream = nullptr;
};
