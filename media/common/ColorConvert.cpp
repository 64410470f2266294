#include "ColorConvert.h"

#include "ColorConvertSimd.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace {

// RGB -> YUV: (int)(i * 256 * c) tables; the rounding constants are folded into the tables
// of B (Y) and of the 0x7000 factor (U from B, V from R), which leaves every sum unchanged.
struct RgbToYuvTables {
    int32_t yR[256], yG[256], yB[256];  // yB includes 0x100000
    int32_t uR[256], uG[256];
    int32_t vG[256], vB[256];
    int32_t k7000[256];  // i * 0x7000 + 0x800000
};

// YUV -> RGB.
struct YuvToRgbTables {
    int32_t rV[256], bU[256], gU[256], gV[256], y[256];
    BYTE clamp[384 + 256 + 384];  // indices -384 .. 639
};

RgbToYuvTables g_rgb2yuv;
YuvToRgbTables g_yuv2rgb;
std::once_flag g_rgb2yuvOnce, g_yuv2rgbOnce;

void BuildRgbToYuv() {
    RgbToYuvTables& t = g_rgb2yuv;
    for (int i = 0; i < 256; ++i) {
        t.yR[i] = (int)(i * 256 * 65.481);
        t.yG[i] = (int)(i * 256 * 128.553);
        t.yB[i] = (int)(i * 256 * 24.966) + 0x100000;
        t.uR[i] = (int)(i * 256 * 37.797);
        t.uG[i] = (int)(i * 256 * 74.203);
        t.vG[i] = (int)(i * 256 * 93.786);
        t.vB[i] = (int)(i * 256 * 18.214);
        t.k7000[i] = i * 0x7000 + 0x800000;
    }
}

void BuildYuvToRgb() {
    YuvToRgbTables& t = g_yuv2rgb;
    for (int i = 0; i < 256; ++i) {
        t.rV[i] = (i - 128) * 104597;
        t.bU[i] = (i - 128) * 132201;
        t.gU[i] = (i - 128) * 25675;
        t.gV[i] = (i - 128) * 53279;
        t.y[i] = i * 76309 - 1220944;
    }
    for (int i = -384; i < 640; ++i) t.clamp[i + 384] = BYTE(i < 0 ? 0 : (i > 255 ? 255 : i));
}

std::atomic<int> g_level{kColorAvx512};

bool EvenSize(int w, int h) {
    return w > 0 && h > 0 && (w & 1) == 0 && (h & 1) == 0;
}

}  // namespace

int ColorConvertBestLevel() {
    static const int best = CpuHasAvx512() && CpuHasAvx2() ? kColorAvx512 : CpuHasAvx2() ? kColorAvx2 : kColorScalar;
    return best;
}
int ColorConvertLevel() {
    const int set = g_level.load(std::memory_order_relaxed);
    const int best = ColorConvertBestLevel();
    return set < best ? set : best;
}
void SetColorConvertLevel(int level) {
    g_level.store(level < 0 ? 0 : level, std::memory_order_relaxed);
}
bool ColorConvertVectorsOn() {
    return ColorConvertLevel() != kColorScalar;
}
void SetColorConvertVectors(bool on) {
    SetColorConvertLevel(on ? kColorAvx512 : kColorScalar);
}

void CColorConvert::InitLookupTable() {
    std::call_once(g_rgb2yuvOnce, BuildRgbToYuv);
}
void CColorConvert::InitConvertTable() {
    std::call_once(g_yuv2rgbOnce, BuildYuvToRgb);
}

// Each U and V sample is the 2x2 average of the full-resolution values, each of which is shifted
// on its own first; the sums below keep that order, so no temporary planes are needed.
// Right shifts of negative values are arithmetic (C++20).
int CColorConvert::ConvertRGB2YUV(int width, int height, const BYTE* rgb24, BYTE* i420) {
    if (!rgb24 || !i420 || !EvenSize(width, height)) return 0;
    InitLookupTable();
    const RgbToYuvTables& t = g_rgb2yuv;
    const size_t w = size_t(width);
    const size_t h = size_t(height);
    BYTE* yPlane = i420;
    BYTE* uPlane = i420 + w * h;
    BYTE* vPlane = uPlane + (w / 2) * (h / 2);
    const size_t stride = w * 3;
    const int level = ColorConvertLevel();

    for (size_t row = 0; row < h; row += 2) {
        const BYTE* p0 = rgb24 + row * stride;
        const BYTE* p1 = p0 + stride;
        BYTE* y0 = yPlane + row * w;
        BYTE* y1 = y0 + w;
        BYTE* u = uPlane + (row / 2) * (w / 2);
        BYTE* v = vPlane + (row / 2) * (w / 2);
        size_t col = level >= kColorAvx512 ? RgbToYuvRowPairAvx512(p0, p1, y0, y1, u, v, w) : 0;
        if (level >= kColorAvx2)
            col +=
                RgbToYuvRowPairAvx2(p0 + col * 3, p1 + col * 3, y0 + col, y1 + col, u + col / 2, v + col / 2, w - col);
        p0 += col * 3;
        p1 += col * 3;
        y0 += col;
        y1 += col;
        u += col / 2;
        v += col / 2;
        for (; col < w; col += 2) {
            int32_t us = 0, vs = 0;
#define VARNET_PIXEL(src, dst)                              \
    {                                                       \
        const int b = (src)[0], g = (src)[1], r = (src)[2]; \
        (dst) = BYTE((t.yR[r] + t.yG[g] + t.yB[b]) >> 16);  \
        us += (t.k7000[b] - t.uR[r] - t.uG[g]) >> 16;       \
        vs += (t.k7000[r] - t.vG[g] - t.vB[b]) >> 16;       \
    }
            VARNET_PIXEL(p0, y0[0]);
            VARNET_PIXEL(p0 + 3, y0[1]);
            VARNET_PIXEL(p1, y1[0]);
            VARNET_PIXEL(p1 + 3, y1[1]);
#undef VARNET_PIXEL
            *u++ = BYTE(us >> 2);
            *v++ = BYTE(vs >> 2);
            p0 += 6;
            p1 += 6;
            y0 += 2;
            y1 += 2;
        }
    }
    return 1;
}

void CColorConvert::ConvertYUV2RGB(const BYTE* i420, BYTE* rgb24, int width, int height) {
    if (!i420 || !rgb24 || !EvenSize(width, height)) return;
    const BYTE* uPlane = i420 + size_t(width) * size_t(height);
    const BYTE* vPlane = uPlane + size_t(width / 2) * size_t(height / 2);
    ConvertI420ToRGB(i420, width, uPlane, width / 2, vPlane, width / 2, rgb24, width, height);
}

int CColorConvert::ConvertI420ToRGB(const BYTE* yPlane, int yStride, const BYTE* uPlane, int uStride,
                                    const BYTE* vPlane, int vStride, BYTE* rgb24, int width, int height) {
    if (!yPlane || !uPlane || !vPlane || !rgb24 || !EvenSize(width, height) || yStride < width || uStride < width / 2 ||
        vStride < width / 2)
        return 0;
    InitConvertTable();
    const YuvToRgbTables& t = g_yuv2rgb;
    const BYTE* clamp = t.clamp + 384;
    const size_t w = size_t(width);
    const size_t h = size_t(height);
    const size_t stride = w * 3;
    const int level = ColorConvertLevel();

    for (size_t row = 0; row < h; row += 2) {
        const BYTE* y0 = yPlane + row * size_t(yStride);
        const BYTE* y1 = y0 + size_t(yStride);
        const BYTE* u = uPlane + (row / 2) * size_t(uStride);
        const BYTE* v = vPlane + (row / 2) * size_t(vStride);
        BYTE* d0 = rgb24 + row * stride;
        BYTE* d1 = d0 + stride;
        size_t col = level >= kColorAvx512 ? YuvToRgbRowPairAvx512(y0, y1, u, v, d0, d1, w) : 0;
        if (level >= kColorAvx2)
            col +=
                YuvToRgbRowPairAvx2(y0 + col, y1 + col, u + col / 2, v + col / 2, d0 + col * 3, d1 + col * 3, w - col);
        y0 += col;
        y1 += col;
        u += col / 2;
        v += col / 2;
        d0 += col * 3;
        d1 += col * 3;
        for (; col < w; col += 2) {
            const int32_t bu = t.bU[*u];
            const int32_t guv = t.gU[*u] + t.gV[*v];
            const int32_t rv = t.rV[*v];
            ++u;
            ++v;
#define VARNET_PIXEL(src, dst)              \
    {                                       \
        const int32_t yy = t.y[src];        \
        (dst)[0] = clamp[(yy + bu) >> 16];  \
        (dst)[1] = clamp[(yy - guv) >> 16]; \
        (dst)[2] = clamp[(yy + rv) >> 16];  \
    }
            VARNET_PIXEL(y0[0], d0);
            VARNET_PIXEL(y0[1], d0 + 3);
            VARNET_PIXEL(y1[0], d1);
            VARNET_PIXEL(y1[1], d1 + 3);
#undef VARNET_PIXEL
            y0 += 2;
            y1 += 2;
            d0 += 6;
            d1 += 6;
        }
    }
    return 1;
}

int CColorConvert::ConvertYUYV2RGB(const BYTE* yuyv, int stride, BYTE* rgb24, int width, int height) {
    if (!yuyv || !rgb24 || width <= 0 || (width & 1) || height <= 0 || stride < width * 2) return 0;
    InitConvertTable();
    const YuvToRgbTables& t = g_yuv2rgb;
    const BYTE* clamp = t.clamp + 384;
    const int level = ColorConvertLevel();
    for (size_t row = 0; row < size_t(height); ++row) {
        const BYTE* s = yuyv + row * size_t(stride);
        BYTE* d = rgb24 + row * size_t(width) * 3;
        size_t done = level >= kColorAvx512 ? YuyvToRgbRowAvx512(s, d, size_t(width)) : 0;
        if (level >= kColorAvx2) done += YuyvToRgbRowAvx2(s + done * 2, d + done * 3, size_t(width) - done);
        s += done * 2;
        d += done * 3;
        for (int col = int(done); col < width; col += 2, s += 4, d += 6) {
            const int32_t bu = t.bU[s[1]];
            const int32_t guv = t.gU[s[1]] + t.gV[s[3]];
            const int32_t rv = t.rV[s[3]];
            for (int k = 0; k < 2; ++k) {
                const int32_t yy = t.y[s[2 * k]];
                d[3 * k + 0] = clamp[(yy + bu) >> 16];
                d[3 * k + 1] = clamp[(yy - guv) >> 16];
                d[3 * k + 2] = clamp[(yy + rv) >> 16];
            }
        }
    }
    return 1;
}
