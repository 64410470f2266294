#include "Unpix.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <cstring>
#include <mutex>

Unpix::Unpix() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

Unpix::~Unpix() { Destroy(); }

int Unpix::Initialize() {
    if (ctx_) {
        return 0;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        return -1;
    }
    ctx_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!ctx_ || !frame_ || !packet_) {
        Destroy();
        return -1;
    }
    ctx_->thread_count = 1;
    // The picture size is taken from the parameter set without cropping; deliver the coded size.
    ctx_->apply_cropping = 0;
    if (avcodec_open2(ctx_, codec, nullptr) < 0) {
        Destroy();
        return -1;
    }
    return 0;
}

int Unpix::Decode(const uint8_t* annexB, int length, uint8_t* i420Out, int& outSize, bool& gotPicture) {
    gotPicture = false;
    int capacity = outSize > 0 ? outSize : kDefaultCapacity;
    outSize = 0;
    if (!ctx_ || !annexB || length <= 0) {
        return -1;
    }
    if (av_new_packet(packet_, length) < 0) {
        return length;
    }
    memcpy(packet_->data, annexB, static_cast<size_t>(length));
    int rc = avcodec_send_packet(ctx_, packet_);
    if (rc == AVERROR(EAGAIN)) {
        // Output is pending: take it first, then the input goes in.
        while (avcodec_receive_frame(ctx_, frame_) == 0) {
            av_frame_unref(frame_);
        }
        avcodec_send_packet(ctx_, packet_);
    }
    av_packet_unref(packet_);
    while (avcodec_receive_frame(ctx_, frame_) == 0) {
        const int w = frame_->width;
        const int h = frame_->height;
        const bool yuv420 = frame_->format == AV_PIX_FMT_YUV420P || frame_->format == AV_PIX_FMT_YUVJ420P;
        const long need = static_cast<long>(w) * h * 3 / 2;
        if (yuv420 && w > 0 && h > 0 && w % 2 == 0 && h % 2 == 0 && i420Out && need <= capacity) {
            uint8_t* dst = i420Out;
            for (int plane = 0; plane < 3; ++plane) {
                const int pw = plane ? w / 2 : w;
                const int ph = plane ? h / 2 : h;
                const uint8_t* src = frame_->data[plane];
                for (int y = 0; y < ph; ++y) {
                    memcpy(dst, src + static_cast<long>(y) * frame_->linesize[plane], static_cast<size_t>(pw));
                    dst += pw;
                }
            }
            width_ = w;
            height_ = h;
            outSize = static_cast<int>(need);
            gotPicture = true;
        } else if (yuv420 && need > capacity && need <= 0x7FFFFFFF) {
            outSize = static_cast<int>(need);   // refused: the caller may say so
        }
        av_frame_unref(frame_);
    }
    return length;
}

void Unpix::Destroy() {
    if (ctx_) {
        avcodec_free_context(&ctx_);
    }
    if (frame_) {
        av_frame_free(&frame_);
    }
    if (packet_) {
        av_packet_free(&packet_);
    }
    width_ = height_ = 0;
}
