#include "TFrame.h"

#include <gtest/gtest.h>

namespace {

std::string Header(uint32_t type, uint32_t count) {
    TFrame frame{static_cast<TFrameType>(type), 1, 2, {}};
    std::string bytes = frame.Encode().substr(0, TFrame::HeaderSize);
    bytes[0] = static_cast<char>(type);
    bytes[12] = static_cast<char>(count & 0xff);
    bytes[13] = static_cast<char>((count >> 8) & 0xff);
    bytes[14] = static_cast<char>((count >> 16) & 0xff);
    bytes[15] = static_cast<char>(count >> 24);
    return bytes;
}

} // namespace

TEST(TFrameReader, ReadsFramesArrivingInPiecesAndRejectsMalformedOnes) {
    const std::string data = TFrame{TFrameType::Data, 1, 77, "play\r\n3\r\n"}.Encode();
    struct Case {
        const char* name;
        std::string bytes;
        size_t pieceSize;
        TFrameReader::TResult expected;
    };
    const Case cases[] = {
        {"data at once", data, data.size(), TFrameReader::Complete},
        {"data byte by byte", data, 1, TFrameReader::Complete},
        {"truncated data", data.substr(0, data.size() - 1), 1, TFrameReader::NeedMore},
        {"trailing bytes", data + "x", data.size() + 1, TFrameReader::Malformed},
        {"notice", TFrame{TFrameType::Notice, 4, 9, {}}.Encode(), 16, TFrameReader::Complete},
        {"notice with payload", Header(1, 3) + "abc", 19, TFrameReader::Malformed},
        {"data without its deadline", Header(2, 7) + "1234567", 23, TFrameReader::Malformed},
        {"unknown type", Header(9, 0), 16, TFrameReader::Malformed},
        {"type zero", Header(0, 0), 16, TFrameReader::Malformed},
        {"garbage", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", 27, TFrameReader::Malformed},
        {"oversize", Header(2, TFrame::MaxPayload + 1), 16, TFrameReader::Malformed},
        {"largest payload", Header(2, TFrame::MaxPayload) + std::string(TFrame::MaxPayload, 'a'),
         65536, TFrameReader::Complete},
    };
    for (const Case& c : cases) {
        TFrameReader reader;
        TFrameReader::TResult result = TFrameReader::NeedMore;
        for (size_t at = 0; at < c.bytes.size() && result == TFrameReader::NeedMore;
             at += c.pieceSize)
            result = reader.Feed(c.bytes.data() + at, std::min(c.pieceSize, c.bytes.size() - at));
        EXPECT_EQ(result, c.expected) << c.name;
    }
}

TEST(TFrameReader, KeepsKindValueAndPayload) {
    TFrameReader reader;
    const std::string bytes =
        TFrame{TFrameType::Data, -7, 4242, std::string("a\0b", 3), 0x123456789abcdef}.Encode();
    ASSERT_EQ(reader.Feed(bytes.data(), bytes.size()), TFrameReader::Complete);
    EXPECT_EQ(reader.Frame().Type, TFrameType::Data);
    EXPECT_EQ(reader.Frame().Kind, -7);
    EXPECT_EQ(reader.Frame().Value, 4242);
    EXPECT_EQ(reader.Frame().Payload, std::string("a\0b", 3));
    EXPECT_EQ(reader.Frame().DeadlineNs, 0x123456789abcdef);
}
