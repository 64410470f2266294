// H.264 decoder layer over libavcodec: start-code units in, tightly packed I420 pictures out.
// One thread at a time. Methods are virtual so that tests can stand a fake decoder in.
#pragma once

#include <cstdint>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

class Unpix {
public:
    // Output capacity assumed when the caller gives none: a 640x480 I420 picture fits twice over.
    static constexpr int kDefaultCapacity = 921600;

    Unpix();
    virtual ~Unpix();
    Unpix(const Unpix&) = delete;
    Unpix& operator=(const Unpix&) = delete;

    // 0, or below 0 when the decoder cannot be opened.
    virtual int Initialize();
    // Decodes one start-code unit (or several). Returns the bytes consumed: the whole input, also for
    // input the decoder rejects (a lone parameter set, a damaged slice), so callers never spin; -1 for
    // no input or no decoder. outSize: the capacity of i420Out on entry (0 or less = kDefaultCapacity),
    // the picture's byte count on return. gotPicture is set when a whole picture (coded size, no
    // cropping) was written; a picture larger than the capacity is refused, with outSize set to the
    // bytes it needed and gotPicture clear.
    virtual int Decode(const uint8_t* annexB, int length, uint8_t* i420Out, int& outSize, bool& gotPicture);
    virtual void Destroy();

    // Size of the last picture written.
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    AVCodecContext* ctx_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};
