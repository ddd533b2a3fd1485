#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

// Decodes the first audio stream of a file into 44100 Hz stereo float frames, the file being
// played at a chosen rate (speed and pitch together). Mono plays on both sides, more channels
// are mixed down. Not thread-safe: one thread at a time (worker or UI).
class TAudioDecoder {
public:
    static constexpr int OutputRate = 44100;

    // Tests: called on the calling thread at every Open and Read of any decoder, with `open`
    // telling which; nullptr (the default) for none. Set it while no decoder is in use.
    using TWatcher = void (*)(bool open);
    static void SetWatcher(TWatcher watcher);

    TAudioDecoder();
    ~TAudioDecoder();
    TAudioDecoder(const TAudioDecoder&) = delete;
    TAudioDecoder& operator=(const TAudioDecoder&) = delete;

    // Opens the file and decodes its first frame; false if it holds no decodable audio.
    bool Open(const std::string& file);
    int NativeRate() const;
    // The rate, in hertz, at which the file's samples are played; takes effect at the next Read.
    void SetPlayRate(double rate);
    // Looping: the end of the file is not flushed out of the resampler, so that after Rewind the
    // next pass joins the last one without a gap.
    void SetLoop(bool loop) { FLoop = loop; }
    // Decodes up to `frames` frames into `out`; fewer only at the end of the file (of the pass).
    size_t Read(float* out, size_t frames);
    // Goes back to the first sample without flushing the resampler, for gapless loops.
    bool Rewind();

private:
    bool DecodeFrame();
    bool SetUpResampler();
    bool Convert(const AVFrame* frame);

    AVFormatContext* FFormat = nullptr;
    AVCodecContext* FCodec = nullptr;
    AVPacket* FPacket = nullptr;
    AVFrame* FFrame = nullptr;
    SwrContext* FResampler = nullptr;
    int FStreamIndex = -1;
    int FPlayRate = 0;
    int FResamplerRate = 0;
    bool FFrameReady = false;
    bool FEndOfFile = false;
    bool FFlushed = false;
    bool FLoop = false;
    std::vector<float> FPending;
    size_t FPendingPos = 0;
};
