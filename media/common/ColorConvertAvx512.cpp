// AVX-512 row kernels of the colour conversion, 32 pixels at a time in 16-bit lanes; both give exactly the
// table results.
//
// RGB24 -> I420: each table entry (int)(i * 256 * c) is i * A + floor(i * b / 125) (A, b integers; the table
// of Y from R is one less at 125 and 250, where the double product falls just below a whole number). With
// A = 256 * a + a' (a' chosen small, of either sign) the 24-bit sum S splits into 256 * H + L, H and L 16-bit;
// S >> 16 = (H + (L >> 8)) >> 8 exactly, since adding a fraction below one to a whole number leaves a floor
// unchanged; the high byte of H + (L >> 8) is that value. floor(i * b / 125)
// for a byte i is the multiply-high of i by ceil(65536 * b / 125); by floor(65536 * b / 125) it is that
// less one where i * b / 125 is a whole number, which for Y from R gives the two corrected entries.
// Chroma stays one value a pixel, shifted on its own, then summed over 2x2 as the tables do.
//
// I420 -> RGB24: the sum 76309 * y + C (C the chroma term with the offset, 32-bit, one per two pixels) is
// split as 65536 * (y + q + Ch) + rlo + Cl, with q:rlo = 10773 * y and Ch:Cl = C; the result is
// y + q + Ch plus the carry of rlo + Cl, and the saturating pack is the clamp table.
#include "ColorConvertSimd.h"

#if defined(__x86_64__)
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's AVX-512 headers start some intrinsics from an undefined vector and warn about it.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstdint>

#define VARNET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))

namespace {

// Byte-permute indexes, built once.
struct Indexes {
    alignas(64) uint8_t rg[64];      // 96 bytes of B,G,R -> 32 words of R | G << 8
    alignas(64) uint8_t gb[64];      // -> 32 words of G | B << 8
    alignas(64) uint8_t odd[64];     // high bytes of the words of two vectors
    alignas(64) uint8_t even[64];    // low bytes of the words of one vector (first half)
    alignas(64) uint8_t out[2][64];  // packed B|G and R|R bytes -> 96 bytes of B,G,R
    alignas(64) uint8_t dupLo[64];   // low word of each dword twice
    alignas(64) uint8_t dupHi[64];   // high word of each dword twice
    Indexes() {
        for (int p = 0; p < 32; ++p) {
            rg[2 * p] = uint8_t(3 * p + 2);
            rg[2 * p + 1] = uint8_t(3 * p + 1);
            gb[2 * p] = uint8_t(3 * p + 1);
            gb[2 * p + 1] = uint8_t(3 * p);
        }
        for (int j = 0; j < 64; ++j) odd[j] = uint8_t(2 * j + 1);
        for (int j = 0; j < 64; ++j) even[j] = uint8_t(2 * (j % 32));
        for (int k = 0; k < 96; ++k) {
            const int p = k / 3, c = k % 3;
            const int at = 16 * (p / 8) + p % 8;
            out[k / 64][k % 64] = uint8_t(c == 0 ? at : c == 1 ? at + 8 : 64 + at);
        }
        for (int j = 0; j < 64; ++j) {
            const int dword = j / 4 * 4, half = j % 2;
            dupLo[j] = uint8_t(dword + half);
            dupHi[j] = uint8_t(dword + 2 + half);
        }
    }
};
const Indexes g_idx;

VARNET_AVX512 inline __m512i Load(const uint8_t* p) {
    return _mm512_load_si512(p);
}

// Signed byte multipliers for maddubs: `lo` for the low byte of each word, `hi` for the high byte.
VARNET_AVX512 inline __m512i Coef(int lo, int hi) {
    return _mm512_set1_epi16(short(uint16_t(uint8_t(int8_t(lo))) | uint16_t(uint8_t(int8_t(hi)) << 8)));
}

VARNET_AVX512 inline __m512i K16(int k) {
    return _mm512_set1_epi16(short(k));
}

// One row of 32 pixels: Y * 256 + something below 256 (16-bit unsigned, the 16 offset not yet added), and
// per pixel (U - 128) * 256 + something below 256, the same for V (16-bit, two's complement): the high
// byte of each word is the value.
struct Row32 {
    __m512i y, u, v;
};

VARNET_AVX512 inline Row32 RgbRow32(const BYTE* src) {
    const __m512i a = _mm512_loadu_si512(src);
    // Bytes 64-95; the permutes read no byte above them.
    const __m512i rest = _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 64)));
    const __m512i prg = _mm512_permutex2var_epi8(a, Load(g_idx.rg), rest);
    const __m512i pgb = _mm512_permutex2var_epi8(a, Load(g_idx.gb), rest);
    const __m512i r = _mm512_and_si512(prg, K16(0xFF));
    const __m512i g = _mm512_and_si512(pgb, K16(0xFF));
    const __m512i b = _mm512_srli_epi16(pgb, 8);
    Row32 o;
    // Y: 16763 = 65 * 256 + 123, 32909 = 129 * 256 - 115, 6391 = 25 * 256 - 9.
    __m512i h = _mm512_add_epi16(_mm512_maddubs_epi16(prg, Coef(65, 33)), _mm512_maddubs_epi16(pgb, Coef(96, 25)));
    __m512i l = _mm512_add_epi16(_mm512_maddubs_epi16(prg, Coef(123, 0)), _mm512_maddubs_epi16(pgb, Coef(-115, -9)));
    l = _mm512_add_epi16(l, _mm512_add_epi16(_mm512_mulhi_epu16(r, K16(8912)), _mm512_mulhi_epu16(g, K16(37225))));
    l = _mm512_add_epi16(l, _mm512_mulhi_epu16(b, K16(19399)));
    o.y = _mm512_add_epi16(h, _mm512_srai_epi16(l, 8));
    // U: 28672 b - 9676 r - 18995 g - floor(4 r / 125) - floor(121 g / 125); 9676 = 38 * 256 - 52,
    // 18995 = 74 * 256 + 51.
    h = _mm512_add_epi16(_mm512_maddubs_epi16(prg, Coef(-38, -74)), _mm512_maddubs_epi16(pgb, Coef(0, 112)));
    l = _mm512_sub_epi16(_mm512_maddubs_epi16(prg, Coef(52, -51)), _mm512_mulhi_epu16(r, K16(2098)));
    l = _mm512_sub_epi16(l, _mm512_mulhi_epu16(g, K16(63439)));
    o.u = _mm512_add_epi16(h, _mm512_srai_epi16(l, 8));
    // V: 28672 r - 24009 g - 4662 b - floor(27 g / 125) - floor(98 b / 125); 24009 = 94 * 256 - 55,
    // 4662 = 18 * 256 + 54.
    h = _mm512_add_epi16(_mm512_maddubs_epi16(prg, Coef(112, 0)), _mm512_maddubs_epi16(pgb, Coef(-94, -18)));
    l = _mm512_maddubs_epi16(pgb, Coef(55, -54));
    l = _mm512_sub_epi16(l, _mm512_add_epi16(_mm512_mulhi_epu16(g, K16(14156)), _mm512_mulhi_epu16(b, K16(51381))));
    o.v = _mm512_add_epi16(h, _mm512_srai_epi16(l, 8));
    return o;
}

// Sums of horizontal pairs of one row's chroma: words 0-15 U, 16-31 V.
VARNET_AVX512 inline __m512i ChromaPairs(const Row32& row) {
    const __m512i hi = _mm512_permutex2var_epi8(row.u, Load(g_idx.odd), row.v);  // signed bytes
    return _mm512_maddubs_epi16(_mm512_set1_epi8(1), hi);
}

// Chroma terms of 16 samples (32-bit) spread to 32 pixels: high words and low words.
struct Chroma {
    __m512i hi, lo;
};

VARNET_AVX512 inline Chroma Spread(__m512i c) {
    return {_mm512_shuffle_epi8(c, Load(g_idx.dupHi)), _mm512_shuffle_epi8(c, Load(g_idx.dupLo))};
}

struct Chromas {
    Chroma b, g, r;
};

// From U - 128 and V - 128 of 16 samples (32-bit).
VARNET_AVX512 inline Chromas MakeChromas(__m512i u, __m512i v) {
    const __m512i off = _mm512_set1_epi32(-1220944);
    const __m512i cb = _mm512_add_epi32(_mm512_mullo_epi32(u, _mm512_set1_epi32(132201)), off);
    const __m512i cg = _mm512_add_epi32(_mm512_add_epi32(_mm512_mullo_epi32(u, _mm512_set1_epi32(-25675)),
                                                         _mm512_mullo_epi32(v, _mm512_set1_epi32(-53279))),
                                        off);
    const __m512i cr = _mm512_add_epi32(_mm512_mullo_epi32(v, _mm512_set1_epi32(104597)), off);
    return {Spread(cb), Spread(cg), Spread(cr)};
}

VARNET_AVX512 inline __m512i Channel(__m512i yq, __m512i rlo, const Chroma& c) {
    const __m512i s = _mm512_add_epi16(rlo, c.lo);
    const __mmask32 carry = _mm512_cmplt_epu16_mask(s, rlo);
    const __m512i v = _mm512_add_epi16(yq, c.hi);
    return _mm512_mask_sub_epi16(v, carry, v, K16(-1));
}

// 32 pixels from their Y (16-bit) and chroma terms, stored as 96 bytes of B,G,R.
VARNET_AVX512 inline void Pixels32(__m512i y, const Chromas& c, BYTE* d) {
    const __m512i q = _mm512_mulhi_epu16(y, K16(10773));
    const __m512i rlo = _mm512_mullo_epi16(y, K16(10773));
    const __m512i yq = _mm512_add_epi16(y, q);
    const __m512i b = Channel(yq, rlo, c.b);
    const __m512i g = Channel(yq, rlo, c.g);
    const __m512i r = Channel(yq, rlo, c.r);
    const __m512i bg = _mm512_packus_epi16(b, g);
    const __m512i rr = _mm512_packus_epi16(r, r);
    _mm512_storeu_si512(d, _mm512_permutex2var_epi8(bg, Load(g_idx.out[0]), rr));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 64),
                        _mm512_castsi512_si256(_mm512_permutex2var_epi8(bg, Load(g_idx.out[1]), rr)));
}

}  // namespace

VARNET_AVX512 size_t RgbToYuvRowPairAvx512(const BYTE* s0, const BYTE* s1, BYTE* y0, BYTE* y1, BYTE* u, BYTE* v,
                                           size_t width) {
    size_t col = 0;
    for (; col + 32 <= width; col += 32) {
        const Row32 a = RgbRow32(s0 + col * 3);
        const Row32 b = RgbRow32(s1 + col * 3);
        const __m512i yy = _mm512_add_epi8(_mm512_permutex2var_epi8(a.y, Load(g_idx.odd), b.y), _mm512_set1_epi8(16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y0 + col), _mm512_castsi512_si256(yy));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y1 + col), _mm512_extracti64x4_epi64(yy, 1));
        // 128 + floor(sum of four / 4): U0-15 then V0-15.
        const __m512i sum = _mm512_add_epi16(ChromaPairs(a), ChromaPairs(b));
        const __m256i uv = _mm512_castsi512_si256(
            _mm512_permutexvar_epi8(Load(g_idx.even), _mm512_srai_epi16(_mm512_add_epi16(sum, K16(512)), 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + col / 2), _mm256_castsi256_si128(uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + col / 2), _mm256_extracti128_si256(uv, 1));
    }
    return col;
}

VARNET_AVX512 size_t YuvToRgbRowPairAvx512(const BYTE* y0, const BYTE* y1, const BYTE* u, const BYTE* v, BYTE* d0,
                                           BYTE* d1, size_t width) {
    const __m512i k128 = _mm512_set1_epi32(128);
    size_t col = 0;
    for (; col + 32 <= width; col += 32) {
        const __m512i U = _mm512_sub_epi32(
            _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + col / 2))), k128);
        const __m512i V = _mm512_sub_epi32(
            _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + col / 2))), k128);
        const Chromas c = MakeChromas(U, V);
        Pixels32(_mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y0 + col))), c, d0 + col * 3);
        Pixels32(_mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y1 + col))), c, d1 + col * 3);
    }
    return col;
}

VARNET_AVX512 size_t YuyvToRgbRowAvx512(const BYTE* yuyv, BYTE* d, size_t width) {
    const __m512i k128 = _mm512_set1_epi32(128);
    const __m512i kFF = _mm512_set1_epi32(0xFF);
    size_t col = 0;
    for (; col + 32 <= width; col += 32) {
        const __m512i x = _mm512_loadu_si512(yuyv + col * 2);
        const __m512i U = _mm512_sub_epi32(_mm512_and_si512(_mm512_srli_epi32(x, 8), kFF), k128);
        const __m512i V = _mm512_sub_epi32(_mm512_srli_epi32(x, 24), k128);
        Pixels32(_mm512_and_si512(x, K16(0xFF)), MakeChromas(U, V), d + col * 3);
    }
    return col;
}

bool CpuHasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
    return has;
}

#else

size_t RgbToYuvRowPairAvx512(const BYTE*, const BYTE*, BYTE*, BYTE*, BYTE*, BYTE*, size_t) {
    return 0;
}
size_t YuvToRgbRowPairAvx512(const BYTE*, const BYTE*, const BYTE*, const BYTE*, BYTE*, BYTE*, size_t) {
    return 0;
}
size_t YuyvToRgbRowAvx512(const BYTE*, BYTE*, size_t) {
    return 0;
}
bool CpuHasAvx512() {
    return false;
}

#endif
