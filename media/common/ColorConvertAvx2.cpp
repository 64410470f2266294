// AVX2 row kernels of the colour conversion; both give exactly the table results.
// 16-bit lanes, with the arithmetic of the AVX-512 kernels (ColorConvertAvx512.cpp).
#include "ColorConvertSimd.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstdint>

namespace {

// Byte shuffles that interleave, in each 128-bit lane, the packed B|G and R|R bytes of eight pixels into
// their 24 bytes of B,G,R: the first 16 bytes, then the last 8.
struct InterleaveMasks {
    alignas(32) signed char bg[2][32];  // [part][byte]
    alignas(32) signed char rr[2][32];
    InterleaveMasks() {
        for (int part = 0; part < 2; ++part)
            for (int t = 0; t < 32; ++t) {
                const int k = part * 16 + t % 16, p = k / 3, c = k % 3;
                const bool used = k < 24;
                bg[part][t] = static_cast<signed char>(!used || c == 2 ? -128 : c == 0 ? p : 8 + p);
                rr[part][t] = static_cast<signed char>(!used || c != 2 ? -128 : p);
            }
    }
};
const InterleaveMasks g_masks;

__attribute__((target("avx2"))) inline __m256i Mask(const signed char* m) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(m));
}

__attribute__((target("avx2"))) inline __m256i K16(int k) {
    return _mm256_set1_epi16(short(k));
}

// Chroma terms of eight samples (32-bit) spread to 16 pixels: high words, and low words biased by 0x8000.
struct Chroma {
    __m256i hi, lo;
};

__attribute__((target("avx2"))) inline Chroma Spread(__m256i c) {
    const __m256i dupLo = _mm256_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13, 0, 1, 0, 1, 4, 5, 4, 5,
                                           8, 9, 8, 9, 12, 13, 12, 13);
    const __m256i dupHi = _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15, 2, 3, 2, 3, 6, 7, 6,
                                           7, 10, 11, 10, 11, 14, 15, 14, 15);
    return {_mm256_shuffle_epi8(c, dupHi), _mm256_shuffle_epi8(c, dupLo)};
}

struct Chromas {
    Chroma b, g, r;
};

// From U - 128 and V - 128 of eight samples (32-bit).
__attribute__((target("avx2"))) inline Chromas MakeChromas(__m256i u, __m256i v) {
    const __m256i off = _mm256_set1_epi32(-1220944);
    const __m256i cb = _mm256_add_epi32(_mm256_mullo_epi32(u, _mm256_set1_epi32(132201)), off);
    const __m256i cg = _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(u, _mm256_set1_epi32(-25675)),
                                                         _mm256_mullo_epi32(v, _mm256_set1_epi32(-53279))),
                                        off);
    const __m256i cr = _mm256_add_epi32(_mm256_mullo_epi32(v, _mm256_set1_epi32(104597)), off);
    return {Spread(cb), Spread(cg), Spread(cr)};
}

// y + q + Ch plus the carry of rlo + Cl; with rlo biased by 0x8000 the unsigned carry is a signed compare.
__attribute__((target("avx2"))) inline __m256i Channel(__m256i yq, __m256i rloBiased, const Chroma& c) {
    const __m256i s = _mm256_add_epi16(rloBiased, c.lo);
    const __m256i carry = _mm256_cmpgt_epi16(rloBiased, s);  // -1 where rlo + Cl passed 0xFFFF
    return _mm256_sub_epi16(_mm256_add_epi16(yq, c.hi), carry);
}

// 16 pixels from their Y (16-bit) and chroma terms, stored as 48 bytes of B,G,R.
__attribute__((target("avx2"))) inline void Pixels16(__m256i y, const Chromas& c, BYTE* d) {
    const __m256i q = _mm256_mulhi_epu16(y, K16(10773));
    const __m256i rlo = _mm256_xor_si256(_mm256_mullo_epi16(y, K16(10773)), K16(0x8000));
    const __m256i yq = _mm256_add_epi16(y, q);
    const __m256i bg = _mm256_packus_epi16(Channel(yq, rlo, c.b), Channel(yq, rlo, c.g));
    const __m256i r = Channel(yq, rlo, c.r);
    const __m256i rr = _mm256_packus_epi16(r, r);
    const __m256i head =
        _mm256_or_si256(_mm256_shuffle_epi8(bg, Mask(g_masks.bg[0])), _mm256_shuffle_epi8(rr, Mask(g_masks.rr[0])));
    const __m256i tail =
        _mm256_or_si256(_mm256_shuffle_epi8(bg, Mask(g_masks.bg[1])), _mm256_shuffle_epi8(rr, Mask(g_masks.rr[1])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(head));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_castsi256_si128(tail));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 24), _mm256_extracti128_si256(head, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 40), _mm256_extracti128_si256(tail, 1));
}

// Byte shuffles that gather, in each 128-bit lane, the words R | G << 8 and G | B << 8 of eight pixels from
// two 16-byte loads: the lane's first 16 bytes and the 16 bytes from its eighth byte on.
struct SplitMasks {
    alignas(32) signed char rg[2][32];  // [load][byte]
    alignas(32) signed char gb[2][32];
    SplitMasks() {
        for (int lane = 0; lane < 2; ++lane)
            for (int p = 0; p < 8; ++p)
                for (int half = 0; half < 2; ++half) {
                    const int t = lane * 16 + 2 * p + half;
                    const int rgByte = 3 * p + (half ? 1 : 2), gbByte = 3 * p + (half ? 0 : 1);
                    rg[0][t] = static_cast<signed char>(rgByte < 16 ? rgByte : -128);
                    rg[1][t] = static_cast<signed char>(rgByte >= 16 ? rgByte - 8 : -128);
                    gb[0][t] = static_cast<signed char>(gbByte < 16 ? gbByte : -128);
                    gb[1][t] = static_cast<signed char>(gbByte >= 16 ? gbByte - 8 : -128);
                }
    }
};
const SplitMasks g_split;

__attribute__((target("avx2"))) inline __m256i Coef(int lo, int hi) {
    return _mm256_set1_epi16(short(uint16_t(uint8_t(int8_t(lo))) | uint16_t(uint8_t(int8_t(hi)) << 8)));
}

// One row of 16 pixels, the arithmetic of the AVX-512 kernel: the high byte of each word is Y - 16,
// U - 128 and V - 128 of the pixel.
struct RowTerms {
    __m256i y, u, v;
};

__attribute__((target("avx2"))) inline RowTerms Row16(const BYTE* src) {
    // Pixels 0-7 are bytes 0-23, pixels 8-15 bytes 24-47.
    const __m256i first =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src))),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 24)), 1);
    const __m256i second =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8))),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32)), 1);
    const __m256i prg = _mm256_or_si256(_mm256_shuffle_epi8(first, Mask(g_split.rg[0])),
                                        _mm256_shuffle_epi8(second, Mask(g_split.rg[1])));
    const __m256i pgb = _mm256_or_si256(_mm256_shuffle_epi8(first, Mask(g_split.gb[0])),
                                        _mm256_shuffle_epi8(second, Mask(g_split.gb[1])));
    const __m256i r = _mm256_and_si256(prg, K16(0xFF));
    const __m256i g = _mm256_and_si256(pgb, K16(0xFF));
    const __m256i b = _mm256_srli_epi16(pgb, 8);
    RowTerms o;
    __m256i h = _mm256_add_epi16(_mm256_maddubs_epi16(prg, Coef(65, 33)), _mm256_maddubs_epi16(pgb, Coef(96, 25)));
    __m256i l = _mm256_add_epi16(_mm256_maddubs_epi16(prg, Coef(123, 0)), _mm256_maddubs_epi16(pgb, Coef(-115, -9)));
    l = _mm256_add_epi16(l, _mm256_add_epi16(_mm256_mulhi_epu16(r, K16(8912)), _mm256_mulhi_epu16(g, K16(37225))));
    l = _mm256_add_epi16(l, _mm256_mulhi_epu16(b, K16(19399)));
    o.y = _mm256_add_epi16(h, _mm256_srai_epi16(l, 8));
    h = _mm256_add_epi16(_mm256_maddubs_epi16(prg, Coef(-38, -74)), _mm256_maddubs_epi16(pgb, Coef(0, 112)));
    l = _mm256_sub_epi16(_mm256_maddubs_epi16(prg, Coef(52, -51)), _mm256_mulhi_epu16(r, K16(2098)));
    l = _mm256_sub_epi16(l, _mm256_mulhi_epu16(g, K16(63439)));
    o.u = _mm256_add_epi16(h, _mm256_srai_epi16(l, 8));
    h = _mm256_add_epi16(_mm256_maddubs_epi16(prg, Coef(112, 0)), _mm256_maddubs_epi16(pgb, Coef(-94, -18)));
    l = _mm256_maddubs_epi16(pgb, Coef(55, -54));
    l = _mm256_sub_epi16(l, _mm256_add_epi16(_mm256_mulhi_epu16(g, K16(14156)), _mm256_mulhi_epu16(b, K16(51381))));
    o.v = _mm256_add_epi16(h, _mm256_srai_epi16(l, 8));
    return o;
}

// Sums of horizontal pairs of one row's chroma: per lane, four U words then four V words.
__attribute__((target("avx2"))) inline __m256i ChromaPairs(const RowTerms& row) {
    const __m256i hi = _mm256_packs_epi16(_mm256_srai_epi16(row.u, 8), _mm256_srai_epi16(row.v, 8));
    return _mm256_maddubs_epi16(_mm256_set1_epi8(1), hi);
}

}  // namespace

// One row's Y of 16 pixels stored as bytes, and the row's chroma pair sums (ChromaPairs) returned: a row at
// a time keeps few vectors alive across the two rows.
__attribute__((target("avx2"))) inline __m256i RowY16(const BYTE* src, BYTE* y) {
    const RowTerms t = Row16(src);
    const __m256i hi = _mm256_srli_epi16(t.y, 8);
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(hi, hi), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y), _mm_add_epi8(_mm256_castsi256_si128(bytes), _mm_set1_epi8(16)));
    return ChromaPairs(t);
}

__attribute__((target("avx2"))) size_t RgbToYuvRowPairAvx2(const BYTE* s0, const BYTE* s1, BYTE* y0, BYTE* y1, BYTE* u,
                                                           BYTE* v, size_t width) {
    size_t col = 0;
    for (; col + 16 <= width; col += 16) {
        const __m256i pairs0 = RowY16(s0 + col * 3, y0 + col);
        const __m256i pairs1 = RowY16(s1 + col * 3, y1 + col);
        // 128 + floor(sum of four / 4); 32-bit words U0-3 V0-3 | U4-7 V4-7, put in order.
        const __m256i sum = _mm256_srai_epi16(_mm256_add_epi16(_mm256_add_epi16(pairs0, pairs1), K16(512)), 2);
        const __m256i uv8 = _mm256_packus_epi16(sum, sum);
        const __m256i order = _mm256_permutevar8x32_epi32(uv8, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
        const __m128i uvOut = _mm256_castsi256_si128(order);  // U0-7 then V0-7
        _mm_storel_epi64(reinterpret_cast<__m128i*>(u + col / 2), uvOut);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(v + col / 2), _mm_srli_si128(uvOut, 8));
    }
    return col;
}

__attribute__((target("avx2"))) size_t YuvToRgbRowPairAvx2(const BYTE* y0, const BYTE* y1, const BYTE* u, const BYTE* v,
                                                           BYTE* d0, BYTE* d1, size_t width) {
    const __m256i k128 = _mm256_set1_epi32(128);
    size_t col = 0;
    for (; col + 16 <= width; col += 16) {
        const __m256i U = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + col / 2))), k128);
        const __m256i V = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + col / 2))), k128);
        const Chromas c = MakeChromas(U, V);
        Pixels16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y0 + col))), c, d0 + col * 3);
        Pixels16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y1 + col))), c, d1 + col * 3);
    }
    return col;
}

__attribute__((target("avx2"))) size_t YuyvToRgbRowAvx2(const BYTE* yuyv, BYTE* d, size_t width) {
    const __m256i k128 = _mm256_set1_epi32(128);
    const __m256i kFF = _mm256_set1_epi32(0xFF);
    size_t col = 0;
    for (; col + 16 <= width; col += 16) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yuyv + col * 2));
        const __m256i U = _mm256_sub_epi32(_mm256_and_si256(_mm256_srli_epi32(x, 8), kFF), k128);
        const __m256i V = _mm256_sub_epi32(_mm256_srli_epi32(x, 24), k128);
        Pixels16(_mm256_and_si256(x, K16(0xFF)), MakeChromas(U, V), d + col * 3);
    }
    return col;
}

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#else

size_t RgbToYuvRowPairAvx2(const BYTE*, const BYTE*, BYTE*, BYTE*, BYTE*, BYTE*, size_t) {
    return 0;
}
size_t YuvToRgbRowPairAvx2(const BYTE*, const BYTE*, const BYTE*, const BYTE*, BYTE*, BYTE*, size_t) {
    return 0;
}
size_t YuyvToRgbRowAvx2(const BYTE*, BYTE*, size_t) {
    return 0;
}
bool CpuHasAvx2() {
    return false;
}

#endif
