#include "VideoImage.h"

#include "ZqLib.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <immintrin.h>

#include <algorithm>

namespace mic {

void Image32::Create(int w, int h, uint32_t fill) {
    if (w <= 0 || h <= 0) {
        Release();
        return;
    }
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * h, fill);
}

void Image32::Release() {
    width = height = 0;
    pixels.clear();
    pixels.shrink_to_fit();
}

int FrameStride(int width, int bits) {
    return ((width * bits + 31) / 32) * 4;
}

namespace {

// Fixed point with 11 fraction bits: the weighted sums of 255 stay below 2^31.
constexpr int kScaleBits = 11;
constexpr uint32_t kScaleOne = 1u << kScaleBits, kScaleMask = kScaleOne - 1;

// The two source rows blended, 16 values at a time (exactly the plain loop's sums); returns the values done.
__attribute__((target("avx2"))) size_t BlendRowsAvx2(const uint8_t* r0, const uint8_t* r1, uint32_t wy0, uint32_t wy1,
                                                     uint32_t* b, size_t n) {
    const __m256i w = _mm256_set1_epi32(int(wy0 | (wy1 << 16)));
    size_t k = 0;
    for (; k + 16 <= n; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + k));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + k));
        // Pairs (r0[k], r1[k]) as 16-bit values, each pair times (wy0, wy1) summed into 32 bits.
        const __m256i lo = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, c));
        const __m256i hi = _mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, c));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b + k), _mm256_madd_epi16(lo, w));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b + k + 8), _mm256_madd_epi16(hi, w));
    }
    return k;
}

// Eight target pixels at a time from the blended row; returns the pixels done.
__attribute__((target("avx2"))) int PixelsAvx2(const uint32_t* b, const int32_t* x0, const int32_t* x1,
                                               const int32_t* wx, uint32_t* out, int width) {
    const __m256i one = _mm256_set1_epi32(int(kScaleOne)), alpha = _mm256_set1_epi32(int(0xFF000000u));
    const int* base = reinterpret_cast<const int*>(b);
    int j = 0;
    for (; j + 8 <= width; j += 8) {
        const __m256i i0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x0 + j));
        const __m256i i1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x1 + j));
        const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(wx + j));
        const __m256i w0 = _mm256_sub_epi32(one, w1);
        __m256i px = alpha;
        for (int c = 0; c < 3; ++c) {
            const __m256i p = _mm256_i32gather_epi32(base + c, i0, 4);
            const __m256i q = _mm256_i32gather_epi32(base + c, i1, 4);
            const __m256i v = _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(p, w0), _mm256_mullo_epi32(q, w1)),
                                                2 * kScaleBits);
            px = _mm256_or_si256(px, _mm256_slli_epi32(v, 8 * c));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), px);
    }
    return j;
}

bool ScaleWithAvx2() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

}  // namespace

void ScaleBilinear(const uint8_t* src, int srcW, int srcH, int srcRowBytes, Image32& dst) {
    if (!src || srcW <= 0 || srcH <= 0 || dst.Empty()) return;
    const int W = dst.width, H = dst.height;
    constexpr int kBits = kScaleBits;
    constexpr uint32_t kOne = kScaleOne, kMask = kScaleMask;
    // Each target column's two source value offsets and weight (the exact position, truncated).
    std::vector<int32_t> col0(static_cast<size_t>(W)), col1(static_cast<size_t>(W)), colW(static_cast<size_t>(W));
    for (int j = 0; j < W; ++j) {
        const uint64_t x = (static_cast<uint64_t>(srcW - 1) * static_cast<uint64_t>(j) << kBits) / uint64_t(W);
        const uint32_t x0 = std::min<uint32_t>(uint32_t(x >> kBits), uint32_t(srcW - 1));
        const uint32_t x1 = std::min<uint32_t>(x0 + 1, uint32_t(srcW - 1));
        col0[size_t(j)] = int32_t(x0 * 3);
        col1[size_t(j)] = int32_t(x1 * 3);
        colW[size_t(j)] = int32_t(uint32_t(x) & kMask);
    }
    // The two source rows blended first, then each target pixel from its two columns of that blend; with
    // AVX2 both passes run eight or sixteen at a time with the same integer sums.
    const bool avx2 = ScaleWithAvx2();
    const size_t rowValues = static_cast<size_t>(srcW) * 3;
    std::vector<uint32_t> blend(rowValues);
    for (int i = 0; i < H; ++i) {
        const uint64_t y = (static_cast<uint64_t>(srcH - 1) * static_cast<uint64_t>(i) << kBits) / uint64_t(H);
        const int y0 = std::min(static_cast<int>(y >> kBits), srcH - 1);
        const int y1 = std::min(y0 + 1, srcH - 1);
        const uint32_t wy1 = uint32_t(y) & kMask, wy0 = kOne - wy1;
        const uint8_t* r0 = src + static_cast<size_t>(y0) * srcRowBytes;
        const uint8_t* r1 = src + static_cast<size_t>(y1) * srcRowBytes;
        uint32_t* b = blend.data();
        size_t k = avx2 ? BlendRowsAvx2(r0, r1, wy0, wy1, b, rowValues) : 0;
        for (; k < rowValues; ++k) b[k] = r0[k] * wy0 + r1[k] * wy1;
        uint32_t* out = dst.pixels.data() + static_cast<size_t>(i) * W;
        int j = avx2 ? PixelsAvx2(b, col0.data(), col1.data(), colW.data(), out, W) : 0;
        for (; j < W; ++j) {
            const uint32_t *p = b + col0[size_t(j)], *q = b + col1[size_t(j)];
            const uint32_t wx1 = uint32_t(colW[size_t(j)]), wx0 = kOne - wx1;
            const uint32_t blue = (p[0] * wx0 + q[0] * wx1) >> (2 * kBits);
            const uint32_t green = (p[1] * wx0 + q[1] * wx1) >> (2 * kBits);
            const uint32_t red = (p[2] * wx0 + q[2] * wx1) >> (2 * kBits);
            out[j] = 0xFF000000u | (red << 16) | (green << 8) | blue;
        }
    }
}

void BlendOnto(const Image32& src, Image32& dst, int col, int row) {
    if (src.Empty() || dst.Empty()) return;
    for (int y = 0; y < src.height; ++y) {
        int ty = row + y;
        if (ty < 0 || ty >= dst.height) continue;
        for (int x = 0; x < src.width; ++x) {
            int tx = col + x;
            if (tx < 0 || tx >= dst.width) continue;
            uint32_t s = src.pixels[static_cast<size_t>(y) * src.width + x];
            uint32_t& t = dst.pixels[static_cast<size_t>(ty) * dst.width + tx];
            uint32_t a = s >> 24;
            if (a == 0) continue;
            if (a == 255) {
                t = s;
                continue;
            }
            uint32_t out = t & 0xFF000000u;
            for (int c = 0; c < 3; ++c) {
                uint32_t sc = (s >> (8 * c)) & 0xFF, tc = (t >> (8 * c)) & 0xFF;
                uint32_t v = (((255 - a) * (tc + 1)) >> 8) + sc * a / 256;
                out |= std::min<uint32_t>(v, 255) << (8 * c);
            }
            t = out;
        }
    }
}

bool LoadImageFile(const std::string& gbkPath, Image32& out) {
    out.Release();
    if (gbkPath.empty()) return false;
    std::string path = Charset::GbkToUtf8(gbkPath);
    GdkPixbuf* pb = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    if (!pb) return false;
    int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb);
    int n = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
    bool alpha = gdk_pixbuf_get_has_alpha(pb);
    const guchar* px = gdk_pixbuf_read_pixels(pb);
    if (w > 0 && h > 0 && w <= 8192 && h <= 8192 && n >= 3) {
        out.Create(w, h);
        for (int y = 0; y < h; ++y) {
            const guchar* p = px + static_cast<size_t>(y) * stride;
            for (int x = 0; x < w; ++x, p += n) {
                uint32_t a = alpha ? p[3] : 255;
                out.pixels[static_cast<size_t>(y) * w + x] =
                    (a << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
            }
        }
    }
    g_object_unref(pb);
    return !out.Empty();
}

void StretchImage(const Image32& src, Image32& dst) {
    if (dst.Empty()) return;
    std::fill(dst.pixels.begin(), dst.pixels.end(), 0xFFFFFFFFu);
    if (src.Empty()) return;
    // cairo wants premultiplied pixels.
    std::vector<uint32_t> pre(src.pixels.size());
    for (size_t i = 0; i < pre.size(); ++i) {
        uint32_t p = src.pixels[i], a = p >> 24;
        uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, b = (p & 0xFF) * a / 255;
        pre[i] = (a << 24) | (r << 16) | (g << 8) | b;
    }
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pre.data()),
                                                             CAIRO_FORMAT_ARGB32, src.width, src.height, src.width * 4);
    cairo_surface_t* d = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(dst.pixels.data()),
                                                             CAIRO_FORMAT_ARGB32, dst.width, dst.height, dst.width * 4);
    cairo_t* cr = cairo_create(d);
    cairo_scale(cr, static_cast<double>(dst.width) / src.width, static_cast<double>(dst.height) / src.height);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(d);
    cairo_surface_destroy(d);
    cairo_surface_destroy(s);
}

}  // namespace mic
