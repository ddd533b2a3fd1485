#include "TAudioLengthProbe.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>

namespace {

struct TCloseInput {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
using TInput = std::unique_ptr<AVFormatContext, TCloseInput>;

// The stream's packets summed up; nothing when a packet does not say how long it is.
std::optional<double> CountPackets(AVFormatContext& format, int index) {
    AVPacket* packet = av_packet_alloc();
    if (!packet)
        return std::nullopt;
    int64_t total = 0;
    bool counted = true;
    while (counted && av_read_frame(&format, packet) >= 0) {
        if (packet->stream_index == index) {
            counted = packet->duration > 0;
            total += packet->duration;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (!counted || total <= 0)
        return std::nullopt;
    return static_cast<double>(total) * av_q2d(format.streams[index]->time_base);
}

} // namespace

std::optional<double> TAudioLengthProbe::Probe(const std::string& file) {
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, file.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    TInput format(opened);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return std::nullopt;
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return std::nullopt;
    const AVStream& stream = *format->streams[index];
    if (format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
        if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
            return static_cast<double>(stream.duration) * av_q2d(stream.time_base);
        if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
            return static_cast<double>(format->duration) / AV_TIME_BASE;
    }
    // The packets read while finding the stream's parameters are read again from here on.
    return CountPackets(*format, index);
}
