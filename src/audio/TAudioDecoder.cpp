#include "TAudioDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace {
// Relaxed: tests set it before any decoder runs and clear it after the last.
std::atomic<TAudioDecoder::TWatcher> g_watcher = nullptr;

void Watch(bool open) {
    if (const TAudioDecoder::TWatcher watcher = g_watcher.load(std::memory_order_relaxed))
        watcher(open);
}
} // namespace

void TAudioDecoder::SetWatcher(TWatcher watcher) {
    g_watcher.store(watcher, std::memory_order_relaxed);
}

TAudioDecoder::TAudioDecoder() {
    FPacket = av_packet_alloc();
    FFrame = av_frame_alloc();
}

TAudioDecoder::~TAudioDecoder() {
    swr_free(&FResampler);
    av_frame_free(&FFrame);
    av_packet_free(&FPacket);
    avcodec_free_context(&FCodec);
    avformat_close_input(&FFormat);
}

bool TAudioDecoder::Open(const std::string& file) {
    Watch(true);
    if (!FPacket || !FFrame || avformat_open_input(&FFormat, file.c_str(), nullptr, nullptr) < 0)
        return false;
    if (avformat_find_stream_info(FFormat, nullptr) < 0)
        return false;
    const AVCodec* codec = nullptr;
    FStreamIndex = av_find_best_stream(FFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (FStreamIndex < 0 || !codec)
        return false;
    FCodec = avcodec_alloc_context3(codec);
    if (!FCodec ||
        avcodec_parameters_to_context(FCodec, FFormat->streams[FStreamIndex]->codecpar) < 0 ||
        avcodec_open2(FCodec, codec, nullptr) < 0)
        return false;
    if (FCodec->sample_rate <= 0 || FCodec->ch_layout.nb_channels <= 0)
        return false;
    FPlayRate = FCodec->sample_rate;
    FFrameReady = DecodeFrame();
    return FFrameReady;
}

int TAudioDecoder::NativeRate() const {
    return FCodec ? FCodec->sample_rate : 0;
}

void TAudioDecoder::SetPlayRate(double rate) {
    FPlayRate = std::max(1, static_cast<int>(std::lround(rate)));
}

// Next decoded frame into FFrame; false at the end of the file or on an error.
bool TAudioDecoder::DecodeFrame() {
    for (;;) {
        const int received = avcodec_receive_frame(FCodec, FFrame);
        if (received >= 0) {
            if (FFrame->nb_samples > 0)
                return true;
            continue;
        }
        if (received != AVERROR(EAGAIN) || FEndOfFile)
            return false;
        const int read = av_read_frame(FFormat, FPacket);
        if (read < 0) {
            FEndOfFile = true;
            avcodec_send_packet(FCodec, nullptr);
            continue;
        }
        if (FPacket->stream_index == FStreamIndex)
            avcodec_send_packet(FCodec, FPacket);
        av_packet_unref(FPacket);
    }
}

bool TAudioDecoder::SetUpResampler() {
    swr_free(&FResampler);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    AVChannelLayout input{};
    if (FCodec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&input, FCodec->ch_layout.nb_channels);
    else
        av_channel_layout_copy(&input, &FCodec->ch_layout);
    int result = swr_alloc_set_opts2(&FResampler, &stereo, AV_SAMPLE_FMT_FLT, OutputRate, &input,
                                     FCodec->sample_fmt, FPlayRate, 0, nullptr);
    if (result >= 0 && input.nb_channels == 1) {
        const double toBoth[2] = {1.0, 1.0};
        result = swr_set_matrix(FResampler, toBoth, 1);
    }
    av_channel_layout_uninit(&input);
    if (result < 0 || swr_init(FResampler) < 0) {
        swr_free(&FResampler);
        return false;
    }
    FResamplerRate = FPlayRate;
    return true;
}

// Converts `frame` (or, with nullptr, what the resampler still holds) into FPending.
bool TAudioDecoder::Convert(const AVFrame* frame) {
    const int inCount = frame ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(FResampler, inCount);
    if (room < 0)
        return false;
    FPending.resize(static_cast<size_t>(room) * 2);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(FPending.data())};
    const int made =
        swr_convert(FResampler, out, room,
                    frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inCount);
    FPending.resize(static_cast<size_t>(std::max(made, 0)) * 2);
    FPendingPos = 0;
    return made >= 0;
}

size_t TAudioDecoder::Read(float* out, size_t frames) {
    Watch(false);
    if (!FCodec)
        return 0;
    if ((!FResampler || FResamplerRate != FPlayRate) && !SetUpResampler())
        return 0;
    size_t done = 0;
    while (done < frames) {
        const size_t pendingFrames = (FPending.size() - FPendingPos) / 2;
        if (pendingFrames > 0) {
            const size_t count = std::min(pendingFrames, frames - done);
            std::memcpy(out + done * 2, FPending.data() + FPendingPos, count * 2 * sizeof(float));
            FPendingPos += count * 2;
            done += count;
            continue;
        }
        if (!FFrameReady)
            FFrameReady = DecodeFrame();
        if (FFrameReady) {
            FFrameReady = false;
            if (!Convert(FFrame))
                break;
        } else if (!FFlushed && !FLoop) {
            FFlushed = true;
            if (!Convert(nullptr))
                break;
        } else {
            break;
        }
    }
    return done;
}

bool TAudioDecoder::Rewind() {
    if (!FCodec)
        return false;
    AVStream* stream = FFormat->streams[FStreamIndex];
    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (av_seek_frame(FFormat, FStreamIndex, start, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(FCodec);
    FEndOfFile = false;
    FFrameReady = false;
    FFlushed = false;
    return true;
}
