#pragma once

#include "TFrame.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// A connection to another instance's receiver socket. Never blocks beyond the deadline it is
// given; any thread, one thread at a time.
class TPeerConnection {
public:
    using TClock = std::chrono::steady_clock;

    TPeerConnection() = default;
    ~TPeerConnection();
    TPeerConnection(TPeerConnection&& other) noexcept;
    TPeerConnection& operator=(TPeerConnection&& other) noexcept;

    // Connects without waiting; the result is valid only when the listener is processId of
    // this user.
    static TPeerConnection Connect(const std::string& socketPath, uint32_t processId);

    bool IsValid() const { return FSocket >= 0; }
    bool Send(const TFrame& frame, TClock::time_point deadline);
    // The one frame the peer answers with, or none by the deadline.
    std::optional<TFrame> ReadFrame(TClock::time_point deadline);
    std::optional<TFrame> Exchange(const TFrame& frame, TClock::time_point deadline);

private:
    explicit TPeerConnection(int socket) : FSocket(socket) {}
    bool WaitFor(short events, TClock::time_point deadline);

    int FSocket = -1;
};
