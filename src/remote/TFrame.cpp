#include "TFrame.h"

#include "LittleEndian.h"

#include <ctime>

namespace {

void AppendUInt32(std::string& out, uint32_t value) {
    char bytes[4];
    ToLittleEndian(value, bytes);
    out.append(bytes, sizeof bytes);
}

uint32_t UInt32At(const std::string& buffer, size_t offset) {
    return FromLittleEndian<uint32_t>(buffer.data() + offset);
}

} // namespace

std::string TFrame::Encode() const {
    std::string out;
    const bool data = Type == TFrameType::Data;
    const size_t body = (data ? DeadlineSize : 0) + Payload.size();
    out.reserve(HeaderSize + body);
    AppendUInt32(out, static_cast<uint32_t>(Type));
    AppendUInt32(out, static_cast<uint32_t>(Kind));
    AppendUInt32(out, static_cast<uint32_t>(Value));
    AppendUInt32(out, static_cast<uint32_t>(body));
    if (data) {
        char deadline[DeadlineSize];
        ToLittleEndian(static_cast<uint64_t>(DeadlineNs), deadline);
        out.append(deadline, sizeof deadline);
    }
    out += Payload;
    return out;
}

int64_t TFrame::MonotonicNowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

TFrameReader::TResult TFrameReader::CheckHeader() {
    const uint32_t type = UInt32At(FBuffer, 0);
    FPayloadSize = UInt32At(FBuffer, 12);
    if (type < 1 || type > 3 || FPayloadSize > TFrame::MaxPayload)
        return Malformed;
    FFrame.Type = static_cast<TFrameType>(type);
    if (FFrame.Type == TFrameType::Data ? FPayloadSize < TFrame::DeadlineSize : FPayloadSize != 0)
        return Malformed;
    FFrame.Kind = static_cast<int32_t>(UInt32At(FBuffer, 4));
    FFrame.Value = static_cast<int32_t>(UInt32At(FBuffer, 8));
    FHeaderRead = true;
    return NeedMore;
}

TFrameReader::TResult TFrameReader::Feed(const char* bytes, size_t size) {
    FBuffer.append(bytes, size);
    if (!FHeaderRead) {
        if (FBuffer.size() < TFrame::HeaderSize)
            return NeedMore;
        if (CheckHeader() == Malformed)
            return Malformed;
    }
    const size_t total = TFrame::HeaderSize + FPayloadSize;
    if (FBuffer.size() < total)
        return NeedMore;
    if (FBuffer.size() > total)
        return Malformed;
    if (FFrame.Type == TFrameType::Data) {
        FFrame.DeadlineNs =
            static_cast<int64_t>(FromLittleEndian<uint64_t>(FBuffer.data() + TFrame::HeaderSize));
        FFrame.Payload = FBuffer.substr(TFrame::HeaderSize + TFrame::DeadlineSize);
    }
    return Complete;
}
