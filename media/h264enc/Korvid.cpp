#include "Korvid.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

extern "C" {
#include <x264.h>
}

#include <dlfcn.h>

#include "DebugLog.h"

namespace {

#define VARNET_X264_STR2(x) #x
#define VARNET_X264_STR(x) VARNET_X264_STR2(x)

// x264 is opened with the first encoder, not at start-up. Its functions are looked up there when first
// called, after X264Library succeeded; the encoder's constructor carries the build number in its name.
void* X264Library() {
    static void* lib = dlopen("libx264.so." VARNET_X264_STR(X264_BUILD), RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

void* X264Symbol(const char* name) {
    void* lib = X264Library();
    return lib ? dlsym(lib, name) : nullptr;
}

x264_t* OpenEncoder(x264_param_t* p) {
    static const auto open =
        reinterpret_cast<x264_t* (*)(x264_param_t*)>(X264Symbol("x264_encoder_open_" VARNET_X264_STR(X264_BUILD)));
    return open ? open(p) : nullptr;
}

}  // namespace

#define VARNET_X264_CALL(name)                                                           \
    ([] {                                                                                \
        static const auto call = reinterpret_cast<decltype(&::name)>(X264Symbol(#name)); \
        return call;                                                                     \
    }())
#define x264_encoder_close VARNET_X264_CALL(x264_encoder_close)
#define x264_encoder_delayed_frames VARNET_X264_CALL(x264_encoder_delayed_frames)
#define x264_encoder_encode VARNET_X264_CALL(x264_encoder_encode)
#define x264_encoder_headers VARNET_X264_CALL(x264_encoder_headers)
#define x264_param_apply_profile VARNET_X264_CALL(x264_param_apply_profile)
#define x264_param_default_preset VARNET_X264_CALL(x264_param_default_preset)
#define x264_picture_alloc VARNET_X264_CALL(x264_picture_alloc)
#define x264_picture_clean VARNET_X264_CALL(x264_picture_clean)

void Korvid::EncoderClose::operator()(x264_t* encoder) const {
    x264_encoder_close(encoder);
}

void Korvid::PictureFree::operator()(x264_picture_t* picture) const {
    x264_picture_clean(picture);
    delete picture;
}

Korvid::Korvid() = default;

Korvid::~Korvid() {
    Destroy();
}

int Korvid::Initialize(int width, int height, int bitrateKbps, int fps, int keyint) {
    if (m_encoder) Destroy();
    if (width <= 0 || height <= 0 || (width & 1) || (height & 1) || width > 4096 || height > 4096 || fps <= 0 ||
        bitrateKbps <= 0 || keyint <= 0 || !X264Library())
        return -1;
    m_param.reset(new (std::nothrow) x264_param_t);
    if (!m_param) return -1;
    x264_param_t* p = m_param.get();
    if (x264_param_default_preset(p, "veryfast", nullptr) < 0) {
        Destroy();
        return -1;
    }
    p->i_threads = 1;
    p->i_sync_lookahead = 0;
    p->i_width = width;
    p->i_height = height;
    p->i_fps_num = uint32_t(fps);
    p->i_fps_den = 1;
    p->i_keyint_max = keyint;
    p->i_scenecut_threshold = 0;
    p->b_repeat_headers = 0;
    p->b_annexb = 1;
    p->i_log_level = X264_LOG_NONE;
    p->rc.i_rc_method = X264_RC_CRF;
    p->rc.f_rf_constant = 26;
    p->rc.f_rf_constant_max = 45;
    p->rc.i_vbv_max_bitrate = bitrateKbps;
    p->rc.i_vbv_buffer_size = (int)(0.7 * bitrateKbps);
    p->rc.f_vbv_buffer_init = 0.5f;
    x264_param_apply_profile(p, "baseline");
    m_encoder.reset(OpenEncoder(p));
    if (!m_encoder) {
        Destroy();
        std::fprintf(stderr, "x264 [error]: x264_encoder_open failed\n");
        return -1;
    }
    std::unique_ptr<x264_picture_t> picture(new (std::nothrow) x264_picture_t);
    if (!picture || x264_picture_alloc(picture.get(), X264_CSP_I420, width, height) < 0) {
        Destroy();
        return -1;
    }
    m_picture.reset(picture.release());
    m_frameCounter = 0;
    varnet::DebugLog("Korvid", m_debugId.c_str(), "encoder open %dx%d %d fps %d kbit/s key %d", width, height, fps,
                     bitrateKbps, keyint);
    return 0;
}

int Korvid::CopyOut(void* x264Nals, int n, TNAL*& nals, int& count) {
    const x264_nal_t* src = static_cast<const x264_nal_t*>(x264Nals);
    nals = nullptr;
    count = 0;
    if (n <= 0) return 0;
    TNAL* out = new (std::nothrow) TNAL[size_t(n)];
    if (!out) return -1;
    for (int i = 0; i < n; ++i) {
        out[i].type = src[i].i_type;
        out[i].data = new (std::nothrow) BYTE[size_t(src[i].i_payload)];
        if (!out[i].data) {
            CleanNAL(out, i);
            return -1;
        }
        out[i].size = src[i].i_payload;
        std::memcpy(out[i].data, src[i].p_payload, size_t(src[i].i_payload));
    }
    nals = out;
    count = n;
    return 0;
}

int Korvid::EncodeHeader(TNAL*& nals, int& count) {
    nals = nullptr;
    count = 0;
    if (!m_encoder) return -1;
    x264_nal_t* xn = nullptr;
    int n = 0;
    if (x264_encoder_headers(m_encoder.get(), &xn, &n) < 0) return -1;
    if (CopyOut(xn, n, nals, count) < 0) return -1;
    ++m_frameCounter;
    return 0;
}

int Korvid::EncodeFrame(BYTE* i420, TNAL*& nals, int& count) {
    nals = nullptr;
    count = 0;
    if (!m_encoder || !m_picture || !i420) return -1;
    const int w = m_param->i_width;
    const int h = m_param->i_height;
    m_picture->i_pts = int64_t(m_frameCounter) * m_param->i_fps_den;
    // Plane by plane, honouring the picture's strides.
    const BYTE* src = i420;
    for (int plane = 0; plane < 3; ++plane) {
        const int pw = plane == 0 ? w : w / 2;
        const int ph = plane == 0 ? h : h / 2;
        BYTE* dst = m_picture->img.plane[plane];
        const int stride = m_picture->img.i_stride[plane];
        for (int row = 0; row < ph; ++row) {
            std::memcpy(dst + size_t(row) * size_t(stride), src, size_t(pw));
            src += pw;
        }
    }
    x264_nal_t* xn = nullptr;
    int n = 0;
    x264_picture_t picOut;
    if (x264_encoder_encode(m_encoder.get(), &xn, &n, m_picture.get(), &picOut) < 0) {
        std::fprintf(stderr, "x264 [error]: x264_encoder_encode failed\n");
        return -1;
    }
    if (CopyOut(xn, n, nals, count) < 0) return -1;
    ++m_frameCounter;
    return 0;
}

void Korvid::CleanNAL(TNAL*& nals, int count) {
    if (!nals) return;
    for (int i = 0; i < count; ++i) delete[] nals[i].data;
    delete[] nals;
    nals = nullptr;
}

int Korvid::GetCurrentDelayedFrames() {
    return m_encoder ? x264_encoder_delayed_frames(m_encoder.get()) : 0;
}

int Korvid::Destroy() {
    m_picture.reset();
    m_encoder.reset();
    m_param.reset();
    m_frameCounter = 0;
    return 0;
}
