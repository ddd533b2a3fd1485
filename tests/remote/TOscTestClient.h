#pragma once

#include <cstdint>
#include <string>
#include <string_view>

typedef void* lo_message;

// The datagram of an OSC message to `path`: without arguments, or with those added to `message`
// (which it frees); empty when it cannot be made.
std::string OscBytes(const std::string& path, lo_message message = nullptr);

// Sends OSC datagrams from a UDP socket of its own to one port on this computer.
class TOscTestClient {
public:
    explicit TOscTestClient(uint16_t port, const char* host = "127.0.0.1");
    ~TOscTestClient();
    TOscTestClient(const TOscTestClient&) = delete;
    TOscTestClient& operator=(const TOscTestClient&) = delete;

    // A message without arguments, or with the arguments added to `message` (which it frees).
    bool Send(const std::string& path, lo_message message = nullptr);
    bool SendInt(const std::string& path, int32_t value);
    bool SendFloat(const std::string& path, float value);
    // Bytes exactly as given.
    bool SendRaw(std::string_view bytes);

private:
    int FSocket = -1;
};

// A UDP port of 127.0.0.1 held by a socket of the test's own while the object lives, so that a
// server asked to listen there finds it taken.
class TTakenUdpPort {
public:
    TTakenUdpPort();
    ~TTakenUdpPort();
    TTakenUdpPort(const TTakenUdpPort&) = delete;
    TTakenUdpPort& operator=(const TTakenUdpPort&) = delete;

    // 0 when no port could be taken.
    uint16_t Port() const { return FPort; }

private:
    int FSocket = -1;
    uint16_t FPort = 0;
};
