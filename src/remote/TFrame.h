#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What travels between instances on a receiver's socket. Every frame starts with a 16-byte
// little-endian header: type, kind, value, payload byte count; the payload follows.
// Notice: kind and value. Data: kind, the originator's process id as value, then the deadline
// (8 bytes, counted in the byte count) and the payload. Reply: the receiver's result for a data
// message as value.
enum class TFrameType : uint32_t { Notice = 1, Data = 2, Reply = 3 };

struct TFrame {
    static constexpr size_t HeaderSize = 16;
    static constexpr size_t DeadlineSize = 8;
    static constexpr uint32_t MaxPayload = 1024 * 1024;

    TFrameType Type = TFrameType::Notice;
    int32_t Kind = 0;
    int32_t Value = 0;
    std::string Payload;
    // Of a data message: the moment on the system's monotonic clock (CLOCK_MONOTONIC, the same in
    // every process) after which the receiver must not carry it out; 0 for none.
    int64_t DeadlineNs = 0;

    std::string Encode() const;

    // The system's monotonic clock, in nanoseconds.
    static int64_t MonotonicNowNs();
    bool PastDeadline() const { return DeadlineNs != 0 && MonotonicNowNs() > DeadlineNs; }
};

// Collects the bytes of one frame as they arrive and says when it is complete or malformed.
class TFrameReader {
public:
    enum TResult { NeedMore, Complete, Malformed };

    TResult Feed(const char* bytes, size_t size);
    const TFrame& Frame() const { return FFrame; }

private:
    TResult CheckHeader();

    std::string FBuffer;
    TFrame FFrame;
    bool FHeaderRead = false;
    uint32_t FPayloadSize = 0;
};
