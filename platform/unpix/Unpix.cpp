#include "Unpix.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <dlfcn.h>

#include <cstring>
#include <mutex>

namespace {

// The codec library is opened with the first decoder, not at start-up: the program starts without it and
// the many codec libraries it brings. Its functions are looked up there when first called.
void* CodecLibrary() {
    static void* lib = dlopen("libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR), RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

void* CodecSymbol(const char* name) {
    void* lib = CodecLibrary();
    return lib ? dlsym(lib, name) : nullptr;
}

}  // namespace

#define VARNET_CODEC_CALL(name)                                                           \
    ([] {                                                                                 \
        static const auto call = reinterpret_cast<decltype(&::name)>(CodecSymbol(#name)); \
        return call;                                                                      \
    }())
#define av_frame_alloc VARNET_CODEC_CALL(av_frame_alloc)
#define av_frame_free VARNET_CODEC_CALL(av_frame_free)
#define av_frame_move_ref VARNET_CODEC_CALL(av_frame_move_ref)
#define av_frame_unref VARNET_CODEC_CALL(av_frame_unref)
#define av_log_set_level VARNET_CODEC_CALL(av_log_set_level)
#define av_new_packet VARNET_CODEC_CALL(av_new_packet)
#define av_packet_alloc VARNET_CODEC_CALL(av_packet_alloc)
#define av_packet_free VARNET_CODEC_CALL(av_packet_free)
#define av_packet_unref VARNET_CODEC_CALL(av_packet_unref)
#define avcodec_alloc_context3 VARNET_CODEC_CALL(avcodec_alloc_context3)
#define avcodec_find_decoder VARNET_CODEC_CALL(avcodec_find_decoder)
#define avcodec_free_context VARNET_CODEC_CALL(avcodec_free_context)
#define avcodec_open2 VARNET_CODEC_CALL(avcodec_open2)
#define avcodec_receive_frame VARNET_CODEC_CALL(avcodec_receive_frame)
#define avcodec_send_packet VARNET_CODEC_CALL(avcodec_send_packet)

Unpix::Unpix() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (CodecLibrary()) av_log_set_level(AV_LOG_QUIET);
    });
}

Unpix::~Unpix() {
    Destroy();
}

int Unpix::Initialize() {
    if (ctx_) {
        return 0;
    }
    if (!CodecLibrary()) {
        return -1;
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

template <class Take>
int Unpix::Run(const uint8_t* annexB, int length, Take take) {
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
        take(frame_);
        av_frame_unref(frame_);
    }
    return length;
}

namespace {

// The picture's I420 byte count when it can be handed out (4:2:0, even size), else 0.
long PictureBytes(const AVFrame* f) {
    const bool yuv420 = f->format == AV_PIX_FMT_YUV420P || f->format == AV_PIX_FMT_YUVJ420P;
    const long need = static_cast<long>(f->width) * f->height * 3 / 2;
    return yuv420 && f->width > 0 && f->height > 0 && f->width % 2 == 0 && f->height % 2 == 0 && need <= 0x7FFFFFFF
               ? need
               : 0;
}

}  // namespace

int Unpix::Decode(const uint8_t* annexB, int length, uint8_t* i420Out, int& outSize, bool& gotPicture) {
    gotPicture = false;
    const int capacity = outSize > 0 ? outSize : kDefaultCapacity;
    outSize = 0;
    return Run(annexB, length, [&](AVFrame* f) {
        const long need = PictureBytes(f);
        if (need > 0 && i420Out && need <= capacity) {
            const int w = f->width;
            const int h = f->height;
            uint8_t* dst = i420Out;
            for (int plane = 0; plane < 3; ++plane) {
                const int pw = plane ? w / 2 : w;
                const int ph = plane ? h / 2 : h;
                const uint8_t* src = f->data[plane];
                for (int y = 0; y < ph; ++y) {
                    memcpy(dst, src + static_cast<long>(y) * f->linesize[plane], static_cast<size_t>(pw));
                    dst += pw;
                }
            }
            width_ = w;
            height_ = h;
            outSize = static_cast<int>(need);
            gotPicture = true;
        } else if (need > capacity) {
            outSize = static_cast<int>(need);  // refused: the caller may say so
        }
    });
}

int Unpix::DecodeInPlace(const uint8_t* annexB, int length, UnpixPicture& picture, int& outSize, bool& gotPicture) {
    gotPicture = false;
    picture = UnpixPicture();
    if (!ctx_) {
        // A stood-in decoder: its Decode writes a packed picture.
        const int capacity = outSize > 0 ? outSize : kDefaultCapacity;
        if (packed_.size() < static_cast<size_t>(capacity)) {
            packed_.assign(static_cast<size_t>(capacity), 0);
        }
        outSize = capacity;
        const int rc = Decode(annexB, length, packed_.data(), outSize, gotPicture);
        if (gotPicture) {
            picture.packed = packed_.data();
        }
        return rc;
    }
    if (!kept_ && !(kept_ = av_frame_alloc())) {
        return -1;
    }
    av_frame_unref(kept_);
    const int capacity = outSize > 0 ? outSize : kDefaultCapacity;
    outSize = 0;
    return Run(annexB, length, [&](AVFrame* f) {
        const long need = PictureBytes(f);
        if (need > 0 && need <= capacity) {
            av_frame_unref(kept_);
            av_frame_move_ref(kept_, f);
            for (int plane = 0; plane < 3; ++plane) {
                picture.plane[plane] = kept_->data[plane];
                picture.stride[plane] = kept_->linesize[plane];
            }
            width_ = kept_->width;
            height_ = kept_->height;
            outSize = static_cast<int>(need);
            gotPicture = true;
        } else if (need > capacity) {
            outSize = static_cast<int>(need);
        }
    });
}

void Unpix::Destroy() {
    if (ctx_) {
        avcodec_free_context(&ctx_);
    }
    if (frame_) {
        av_frame_free(&frame_);
    }
    if (kept_) {
        av_frame_free(&kept_);
    }
    if (packet_) {
        av_packet_free(&packet_);
    }
    width_ = height_ = 0;
}
