// H.264 decoder layer over libavcodec: start-code units in, tightly packed I420 pictures out.
// One thread at a time. Methods are virtual so that tests can stand a fake decoder in.
#pragma once

#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// A decoded picture read where the decoder keeps it: the Y, U and V planes with their row strides; or,
// from a stood-in decoder, `packed` instead: the picture as Decode writes it.
struct UnpixPicture {
    const uint8_t* plane[3] = {nullptr, nullptr, nullptr};
    int stride[3] = {0, 0, 0};
    const uint8_t* packed = nullptr;
};

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
    // Decode without the copy: the same rules and results, with `picture` set to the planes of the
    // picture (valid until the next call or Destroy) instead of writing them out. A decoder stood in
    // without the libavcodec one (tests) is asked through Decode into a buffer of this object.
    virtual int DecodeInPlace(const uint8_t* annexB, int length, UnpixPicture& picture, int& outSize, bool& gotPicture);
    virtual void Destroy();

    // Size of the last picture written.
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    // Feeds the unit and hands each picture it completes to `take` (the frame stays owned here).
    template <class Take>
    int Run(const uint8_t* annexB, int length, Take take);

    AVCodecContext* ctx_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVFrame* kept_ = nullptr;      // the picture DecodeInPlace handed out
    std::vector<uint8_t> packed_;  // DecodeInPlace through a stood-in Decode
    AVPacket* packet_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};
