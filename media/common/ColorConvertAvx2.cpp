// AVX2 row kernels of the colour conversion; both give exactly the table results.
// I420 -> RGB24: the table entries are linear in their index ((i - 128) * k and i * 76309 - 1220944),
// so 32-bit multiplies give exactly the table sums, the arithmetic shift is the same floor, and the
// saturating packs are the clamp table.
// RGB24 -> I420: each table entry (int)(i * 256 * c) is i * A + floor(i * b / 125) (A, b integers),
// less one at two indexes of the table of Y from R where the double product falls just below a whole
// number; the floor is a 16-bit multiply-high, exact for every byte value.
#include "ColorConvertSimd.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstdint>

namespace {

// Byte shuffles that interleave 16 B, 16 G and 16 R bytes into 48 bytes of B,G,R triples.
struct InterleaveMasks {
    alignas(16) signed char m[3][3][16];  // [output block][channel][byte]
    InterleaveMasks() {
        for (int block = 0; block < 3; ++block)
            for (int ch = 0; ch < 3; ++ch)
                for (int t = 0; t < 16; ++t) {
                    const int k = block * 16 + t;
                    m[block][ch][t] = static_cast<signed char>(k % 3 == ch ? k / 3 : -128);
                }
    }
};
const InterleaveMasks g_masks;

__attribute__((target("avx2"))) inline void Store48(BYTE* d, __m128i b, __m128i g, __m128i r) {
    for (int block = 0; block < 3; ++block) {
        const __m128i mb = _mm_load_si128(reinterpret_cast<const __m128i*>(g_masks.m[block][0]));
        const __m128i mg = _mm_load_si128(reinterpret_cast<const __m128i*>(g_masks.m[block][1]));
        const __m128i mr = _mm_load_si128(reinterpret_cast<const __m128i*>(g_masks.m[block][2]));
        const __m128i o =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, mb), _mm_shuffle_epi8(g, mg)), _mm_shuffle_epi8(r, mr));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + block * 16), o);
    }
}

// 16 pixels of one row from their scaled Y values and the chroma terms (already one a pixel).
__attribute__((target("avx2"))) inline void Pixels16(const BYTE* y, BYTE* d, __m256i buLo, __m256i buHi,
                                                     __m256i guvLo, __m256i guvHi, __m256i rvLo, __m256i rvHi) {
    const __m256i kY = _mm256_set1_epi32(76309);
    const __m256i kOff = _mm256_set1_epi32(-1220944);
    const __m128i y16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m256i yLo = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_cvtepu8_epi32(y16), kY), kOff);
    const __m256i yHi = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_cvtepu8_epi32(_mm_srli_si128(y16, 8)), kY), kOff);
    const __m256i bLo = _mm256_srai_epi32(_mm256_add_epi32(yLo, buLo), 16);
    const __m256i bHi = _mm256_srai_epi32(_mm256_add_epi32(yHi, buHi), 16);
    const __m256i gLo = _mm256_srai_epi32(_mm256_sub_epi32(yLo, guvLo), 16);
    const __m256i gHi = _mm256_srai_epi32(_mm256_sub_epi32(yHi, guvHi), 16);
    const __m256i rLo = _mm256_srai_epi32(_mm256_add_epi32(yLo, rvLo), 16);
    const __m256i rHi = _mm256_srai_epi32(_mm256_add_epi32(yHi, rvHi), 16);
    // 32 -> 16 bits (in-lane packs, then the 64-bit blocks back in order), 16 -> 8 bits saturating.
    const __m256i b16 = _mm256_permute4x64_epi64(_mm256_packs_epi32(bLo, bHi), 0xD8);
    const __m256i g16 = _mm256_permute4x64_epi64(_mm256_packs_epi32(gLo, gHi), 0xD8);
    const __m256i r16 = _mm256_permute4x64_epi64(_mm256_packs_epi32(rLo, rHi), 0xD8);
    const __m256i bg = _mm256_permute4x64_epi64(_mm256_packus_epi16(b16, g16), 0xD8);
    const __m256i rr = _mm256_permute4x64_epi64(_mm256_packus_epi16(r16, r16), 0xD8);
    Store48(d, _mm256_castsi256_si128(bg), _mm256_extracti128_si256(bg, 1), _mm256_castsi256_si128(rr));
}

// Byte shuffles that split 48 bytes of B,G,R triples into 16 B, 16 G and 16 R bytes.
struct DeinterleaveMasks {
    alignas(16) signed char m[3][3][16];  // [channel][input block][byte]
    DeinterleaveMasks() {
        for (int ch = 0; ch < 3; ++ch)
            for (int block = 0; block < 3; ++block)
                for (int t = 0; t < 16; ++t) {
                    const int k = 3 * t + ch;
                    m[ch][block][t] = static_cast<signed char>(k / 16 == block ? k % 16 : -128);
                }
    }
};
const DeinterleaveMasks g_split;

__attribute__((target("avx2"))) inline __m128i Channel(const __m128i in[3], int ch) {
    const __m128i* m = reinterpret_cast<const __m128i*>(g_split.m[ch]);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(in[0], _mm_load_si128(m)),
                                     _mm_shuffle_epi8(in[1], _mm_load_si128(m + 1))),
                        _mm_shuffle_epi8(in[2], _mm_load_si128(m + 2)));
}

// floor(i * b / 125) for 16-bit lanes i in 0..255 (i * b below 32768).
__attribute__((target("avx2"))) inline __m256i FloorTerm(__m256i i16, short b) {
    const __m256i x = _mm256_mullo_epi16(i16, _mm256_set1_epi16(b));
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(short(33555))), 6);
}

// Two 16-bit multipliers for _mm256_madd_epi16: `even` for the first of each pair, `odd` for the second.
__attribute__((target("avx2"))) inline __m256i Pair(int even, int odd) {
    return _mm256_set1_epi32(int(uint32_t(uint16_t(even)) | (uint32_t(uint16_t(odd)) << 16)));
}

// Y of eight pixels: r and b pairs, g and floor-term pairs, g alone (zero-extended).
__attribute__((target("avx2"))) inline __m256i Y8(__m256i rb, __m256i gf, __m256i g0) {
    __m256i s = _mm256_add_epi32(_mm256_madd_epi16(rb, Pair(16763, 6391)), _mm256_madd_epi16(gf, Pair(141, 1)));
    s = _mm256_add_epi32(_mm256_add_epi32(s, _mm256_slli_epi32(g0, 15)), _mm256_set1_epi32(0x100000));
    return _mm256_srli_epi32(s, 16);
}

// Full-resolution U or V of eight pixels from two multiplier pairs.
__attribute__((target("avx2"))) inline __m256i C8(__m256i p1, __m256i k1, __m256i p2, __m256i k2) {
    const __m256i s = _mm256_add_epi32(_mm256_madd_epi16(p1, k1), _mm256_madd_epi16(p2, k2));
    return _mm256_srai_epi32(_mm256_add_epi32(s, _mm256_set1_epi32(0x800000)), 16);
}

struct RowTerms {
    __m256i y16;       // 16 Y values, 16-bit, in order
    __m256i uLo, uHi;  // full-resolution U of pixels 0-3, 8-11 and 4-7, 12-15 (32-bit)
    __m256i vLo, vHi;
};

__attribute__((target("avx2"))) inline RowTerms Row16(const BYTE* src) {
    __m128i in[3];
    for (int i = 0; i < 3; ++i)
        in[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16 * i));
    const __m256i b = _mm256_cvtepu8_epi16(Channel(in, 0));
    const __m256i g = _mm256_cvtepu8_epi16(Channel(in, 1));
    const __m256i r = _mm256_cvtepu8_epi16(Channel(in, 2));
    const __m256i zero = _mm256_setzero_si256();

    // Y = (yR[r] + yG[g] + yB[b] + 0x100000) >> 16, with g * 32909 as g * 141 + (g << 15).
    const __m256i corr = _mm256_or_si256(_mm256_cmpeq_epi16(r, _mm256_set1_epi16(125)),
                                         _mm256_cmpeq_epi16(r, _mm256_set1_epi16(250)));  // -1 there
    const __m256i fY = _mm256_add_epi16(
        _mm256_add_epi16(FloorTerm(r, 17), FloorTerm(g, 71)), _mm256_add_epi16(FloorTerm(b, 37), corr));
    const __m256i yLo = Y8(_mm256_unpacklo_epi16(r, b), _mm256_unpacklo_epi16(g, fY), _mm256_unpacklo_epi16(g, zero));
    const __m256i yHi = Y8(_mm256_unpackhi_epi16(r, b), _mm256_unpackhi_epi16(g, fY), _mm256_unpackhi_epi16(g, zero));

    // U = (0x7000 * b - uR[r] - uG[g] + 0x800000) >> 16; V = (0x7000 * r - vG[g] - vB[b] + 0x800000) >> 16.
    const __m256i fU = _mm256_add_epi16(FloorTerm(r, 4), FloorTerm(g, 121));
    const __m256i fV = _mm256_add_epi16(FloorTerm(g, 27), FloorTerm(b, 98));
    const __m256i kURG = Pair(-9676, -18995), kUB = Pair(28672, -1);
    const __m256i kVGB = Pair(-24009, -4662), kVR = Pair(28672, -1);
    RowTerms t;
    t.y16 = _mm256_packs_epi32(yLo, yHi);
    t.uLo = C8(_mm256_unpacklo_epi16(r, g), kURG, _mm256_unpacklo_epi16(b, fU), kUB);
    t.uHi = C8(_mm256_unpackhi_epi16(r, g), kURG, _mm256_unpackhi_epi16(b, fU), kUB);
    t.vLo = C8(_mm256_unpacklo_epi16(g, b), kVGB, _mm256_unpacklo_epi16(r, fV), kVR);
    t.vHi = C8(_mm256_unpackhi_epi16(g, b), kVGB, _mm256_unpackhi_epi16(r, fV), kVR);
    return t;
}

}  // namespace

__attribute__((target("avx2"))) size_t RgbToYuvRowPairAvx2(const BYTE* s0, const BYTE* s1, BYTE* y0, BYTE* y1,
                                                           BYTE* u, BYTE* v, size_t width) {
    size_t col = 0;
    for (; col + 16 <= width; col += 16) {
        const RowTerms a = Row16(s0 + col * 3);
        const RowTerms b = Row16(s1 + col * 3);
        // Y: both rows packed to bytes, then the 64-bit blocks in order: row 0 low, row 1 high.
        const __m256i yy = _mm256_permute4x64_epi64(_mm256_packus_epi16(a.y16, b.y16), 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y0 + col), _mm256_castsi256_si128(yy));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y1 + col), _mm256_extracti128_si256(yy, 1));
        // 2x2 averages: rows added, then neighbouring columns (hadd brings the pairs back in order).
        const __m256i uSum = _mm256_srai_epi32(
            _mm256_hadd_epi32(_mm256_add_epi32(a.uLo, b.uLo), _mm256_add_epi32(a.uHi, b.uHi)), 2);
        const __m256i vSum = _mm256_srai_epi32(
            _mm256_hadd_epi32(_mm256_add_epi32(a.vLo, b.vLo), _mm256_add_epi32(a.vHi, b.vHi)), 2);
        const __m256i uv16 = _mm256_packs_epi32(uSum, vSum);    // lane 0: U0-3 V0-3; lane 1: U4-7 V4-7
        const __m256i uv8 = _mm256_packus_epi16(uv16, uv16);    // 32-bit words: U0-3 V0-3 .. | U4-7 V4-7 ..
        const __m256i order = _mm256_permutevar8x32_epi32(uv8, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
        const __m128i uvOut = _mm256_castsi256_si128(order);  // U0-7 then V0-7
        _mm_storel_epi64(reinterpret_cast<__m128i*>(u + col / 2), uvOut);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(v + col / 2), _mm_srli_si128(uvOut, 8));
    }
    return col;
}

__attribute__((target("avx2"))) size_t YuvToRgbRowPairAvx2(const BYTE* y0, const BYTE* y1, const BYTE* u,
                                                           const BYTE* v, BYTE* d0, BYTE* d1, size_t width) {
    const __m256i k128 = _mm256_set1_epi32(128);
    const __m256i kBU = _mm256_set1_epi32(132201);
    const __m256i kGU = _mm256_set1_epi32(25675);
    const __m256i kGV = _mm256_set1_epi32(53279);
    const __m256i kRV = _mm256_set1_epi32(104597);
    const __m256i dupLo = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i dupHi = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    size_t col = 0;
    for (; col + 16 <= width; col += 16) {
        const __m256i U = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + col / 2))), k128);
        const __m256i V = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + col / 2))), k128);
        const __m256i bu = _mm256_mullo_epi32(U, kBU);
        const __m256i guv = _mm256_add_epi32(_mm256_mullo_epi32(U, kGU), _mm256_mullo_epi32(V, kGV));
        const __m256i rv = _mm256_mullo_epi32(V, kRV);
        const __m256i buLo = _mm256_permutevar8x32_epi32(bu, dupLo), buHi = _mm256_permutevar8x32_epi32(bu, dupHi);
        const __m256i guvLo = _mm256_permutevar8x32_epi32(guv, dupLo);
        const __m256i guvHi = _mm256_permutevar8x32_epi32(guv, dupHi);
        const __m256i rvLo = _mm256_permutevar8x32_epi32(rv, dupLo), rvHi = _mm256_permutevar8x32_epi32(rv, dupHi);
        Pixels16(y0 + col, d0 + col * 3, buLo, buHi, guvLo, guvHi, rvLo, rvHi);
        Pixels16(y1 + col, d1 + col * 3, buLo, buHi, guvLo, guvHi, rvLo, rvHi);
    }
    return col;
}

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#else

size_t RgbToYuvRowPairAvx2(const BYTE*, const BYTE*, BYTE*, BYTE*, BYTE*, BYTE*, size_t) { return 0; }
size_t YuvToRgbRowPairAvx2(const BYTE*, const BYTE*, const BYTE*, const BYTE*, BYTE*, BYTE*, size_t) { return 0; }
bool CpuHasAvx2() { return false; }

#endif
