// AVX2 row kernel of the I420 -> RGB24 conversion. The table entries are linear in their index
// ((i - 128) * k and i * 76309 - 1220944), so 32-bit multiplies give exactly the table sums, the
// arithmetic shift is the same floor, and the saturating packs are the clamp table.
#include "ColorConvertSimd.h"

#if defined(__x86_64__)
#include <immintrin.h>

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

}  // namespace

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

size_t YuvToRgbRowPairAvx2(const BYTE*, const BYTE*, const BYTE*, const BYTE*, BYTE*, BYTE*, size_t) { return 0; }
bool CpuHasAvx2() { return false; }

#endif
