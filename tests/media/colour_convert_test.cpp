#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "ColorConvert.h"
#include "ColorConvertSimd.h"

using Bytes = std::vector<BYTE>;

namespace {

// The conversion written out plainly: full-resolution temporary chroma planes, then 2x2 averages.
Bytes ReferenceRgbToI420(int w, int h, const Bytes& rgb) {
    auto t = [](int i, double c) { return (int)(i * 256 * c); };
    const size_t n = size_t(w) * h;
    Bytes out(n * 3 / 2);
    std::vector<int> u(n), v(n);
    for (size_t i = 0; i < n; ++i) {
        const int b = rgb[i * 3], g = rgb[i * 3 + 1], r = rgb[i * 3 + 2];
        out[i] = BYTE((t(r, 65.481) + t(g, 128.553) + t(b, 24.966) + 0x100000) >> 16);
        u[i] = (0x7000 * b - t(r, 37.797) - t(g, 74.203) + 0x800000) >> 16;
        v[i] = (0x7000 * r - t(g, 93.786) - t(b, 18.214) + 0x800000) >> 16;
    }
    BYTE* U = out.data() + n;
    BYTE* V = U + (w / 2) * (h / 2);
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w / 2; ++x) {
            const int a = (2 * y) * w + 2 * x, c = a + w;
            U[y * (w / 2) + x] = BYTE((u[size_t(a)] + u[size_t(a + 1)] + u[size_t(c)] + u[size_t(c + 1)]) >> 2);
            V[y * (w / 2) + x] = BYTE((v[size_t(a)] + v[size_t(a + 1)] + v[size_t(c)] + v[size_t(c + 1)]) >> 2);
        }
    return out;
}

Bytes ReferenceI420ToRgb(int w, int h, const Bytes& yuv) {
    auto clamp = [](int x) { return BYTE(std::clamp(x, 0, 255)); };
    Bytes out(size_t(w) * h * 3);
    const BYTE* U = yuv.data() + size_t(w) * h;
    const BYTE* V = U + size_t(w / 2) * (h / 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int yy = yuv[size_t(y) * w + x] * 76309 - 1220944;
            const int uu = U[(y / 2) * (w / 2) + x / 2] - 128, vv = V[(y / 2) * (w / 2) + x / 2] - 128;
            BYTE* d = out.data() + (size_t(y) * w + x) * 3;
            d[0] = clamp((yy + uu * 132201) >> 16);
            d[1] = clamp((yy - uu * 25675 - vv * 53279) >> 16);
            d[2] = clamp((yy + vv * 104597) >> 16);
        }
    return out;
}

struct LevelRestore {
    ~LevelRestore() { SetColorConvertVectors(true); }
};

Bytes Random(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (BYTE& x : b) x = BYTE(rng());
    return b;
}

}  // namespace

TEST(ColourConvert, KnownValues) {
    struct Row {
        BYTE b, g, r;
        BYTE y, u, v;
    };
    const Row rows[] = {{0, 0, 0, 16, 128, 128}, {255, 255, 255, 234, 128, 128}};
    for (const Row& row : rows) {
        Bytes rgb(2 * 2 * 3);
        for (size_t i = 0; i < rgb.size(); i += 3) {
            rgb[i] = row.b;
            rgb[i + 1] = row.g;
            rgb[i + 2] = row.r;
        }
        Bytes yuv(6);
        ASSERT_EQ(1, CColorConvert::ConvertRGB2YUV(2, 2, rgb.data(), yuv.data()));
        EXPECT_EQ(yuv, (Bytes{row.y, row.y, row.y, row.y, row.u, row.v}));
    }
    struct Back {
        BYTE y, u, v;
        BYTE b, g, r;
    };
    const Back back[] = {{16, 128, 128, 0, 0, 0},
                         {235, 128, 128, 254, 254, 254},
                         {255, 128, 128, 255, 255, 255},
                         {0, 0, 255, 0, 0, 184},
                         {255, 255, 0, 255, 255, 73}};
    for (const Back& b : back) {
        Bytes yuv = {b.y, b.y, b.y, b.y, b.u, b.v};
        Bytes rgb(12);
        CColorConvert::ConvertYUV2RGB(yuv.data(), rgb.data(), 2, 2);
        for (size_t i = 0; i < 12; i += 3)
            EXPECT_EQ(Bytes(rgb.begin() + long(i), rgb.begin() + long(i) + 3), (Bytes{b.b, b.g, b.r}));
    }
}

TEST(ColourConvert, MatchesThePlainAlgorithmExactly) {
    const int sizes[][2] = {{2, 2}, {4, 6}, {16, 2}, {18, 4}, {34, 2}, {320, 240}, {162, 98}, {640, 480}};
    unsigned seed = 1;
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        const Bytes rgb = Random(size_t(w * h * 3), seed++);
        Bytes yuv(size_t(w * h * 3 / 2));
        ASSERT_EQ(1, CColorConvert::ConvertRGB2YUV(w, h, rgb.data(), yuv.data()));
        EXPECT_EQ(yuv, ReferenceRgbToI420(w, h, rgb)) << w << "x" << h;
        const Bytes yuv2 = Random(yuv.size(), seed++);
        Bytes back(rgb.size());
        CColorConvert::ConvertYUV2RGB(yuv2.data(), back.data(), w, h);
        EXPECT_EQ(back, ReferenceI420ToRgb(w, h, yuv2)) << w << "x" << h;
    }
}

// Every (Y, U, V) triple once: a 4096x4096 picture whose 2x2 blocks each hold one chroma pair and four
// luma values. The vector path and the tables must agree everywhere, clamping included.
TEST(ColourConvert, EveryYuvTripleMatchesTheTables) {
    const int w = 4096, h = 4096;
    Bytes yuv(size_t(w) * h * 3 / 2);
    BYTE* U = yuv.data() + size_t(w) * h;
    BYTE* V = U + size_t(w / 2) * (h / 2);
    for (int by = 0; by < h / 2; ++by)
        for (int bx = 0; bx < w / 2; ++bx) {
            const int k = by * (w / 2) + bx;
            const int uv = k >> 6;
            U[k] = BYTE(uv & 255);
            V[k] = BYTE(uv >> 8);
            const int y = (k & 63) * 4;
            yuv[size_t(2 * by) * w + 2 * bx] = BYTE(y);
            yuv[size_t(2 * by) * w + 2 * bx + 1] = BYTE(y + 1);
            yuv[size_t(2 * by + 1) * w + 2 * bx] = BYTE(y + 2);
            yuv[size_t(2 * by + 1) * w + 2 * bx + 1] = BYTE(y + 3);
        }
    const Bytes expected = ReferenceI420ToRgb(w, h, yuv);
    const LevelRestore restore;
    for (int level = ColorConvertBestLevel(); level >= kColorAvx2; --level) {
        SetColorConvertLevel(level);
        Bytes rgb(size_t(w) * h * 3);
        CColorConvert::ConvertYUV2RGB(yuv.data(), rgb.data(), w, h);
        EXPECT_TRUE(rgb == expected) << "level " << level;
    }
}

// Every RGB colour once (a 4096x4096 picture): the vector path and the tables agree on every pixel.
TEST(ColourConvert, EveryRgbColourMatchesTheTables) {
    const int w = 4096, h = 4096;
    Bytes rgb(size_t(w) * h * 3);
    for (size_t k = 0; k < size_t(w) * h; ++k) {
        rgb[3 * k] = BYTE(k);
        rgb[3 * k + 1] = BYTE(k >> 8);
        rgb[3 * k + 2] = BYTE(k >> 16);
    }
    const Bytes expected = ReferenceRgbToI420(w, h, rgb);
    const LevelRestore restore;
    for (int level = ColorConvertBestLevel(); level >= kColorAvx2; --level) {
        SetColorConvertLevel(level);
        Bytes yuv(size_t(w) * h * 3 / 2);
        ASSERT_EQ(1, CColorConvert::ConvertRGB2YUV(w, h, rgb.data(), yuv.data()));
        EXPECT_TRUE(yuv == expected) << "level " << level;
    }
}

// Random pictures of many sizes (widths around and between the 16-pixel blocks, odd half-widths,
// odd sizes): the vector kernels and the plain table path give the same bytes, or both refuse.
TEST(ColourConvert, VectorAndTablePathsAgreeOnRandomPictures) {
    const LevelRestore restore;
    std::mt19937 rng(7);
    for (int trial = 0; trial < 300; ++trial) {
        const int w = 1 + int(rng() % 100), h = 1 + int(rng() % 12);
        const size_t n = size_t(w) * h;
        const Bytes rgb = Random(n * 3, rng());
        const Bytes yuv = Random(n * 3 / 2 + 1, rng());
        const int stride = 2 * w + int(rng() % 5);
        const Bytes yuyv = Random(size_t(stride) * h, rng());
        // Index = kernel level: 0 the tables, 1 AVX2, 2 AVX-512 (levels the processor lacks repeat the best).
        Bytes outYuv[3], outRgb[3], outYuyv[3];
        int result[3], resultYuyv[3];
        for (int path = 0; path < 3; ++path) {
            SetColorConvertLevel(path);
            outYuv[path].assign(n * 3 / 2 + 16, 0xA5);
            outRgb[path].assign(n * 3 + 16, 0xA5);
            outYuyv[path].assign(n * 3 + 16, 0xA5);
            result[path] = CColorConvert::ConvertRGB2YUV(w, h, rgb.data(), outYuv[path].data());
            CColorConvert::ConvertYUV2RGB(yuv.data(), outRgb[path].data(), w, h);
            resultYuyv[path] = CColorConvert::ConvertYUYV2RGB(yuyv.data(), stride, outYuyv[path].data(), w, h);
        }
        ASSERT_EQ(result[0], (w % 2 == 0 && h % 2 == 0) ? 1 : 0) << w << "x" << h;
        ASSERT_EQ(resultYuyv[0], w % 2 == 0 ? 1 : 0) << w << "x" << h;
        for (int path = 1; path < 3; ++path) {
            ASSERT_EQ(result[0], result[path]) << w << "x" << h;
            ASSERT_EQ(resultYuyv[0], resultYuyv[path]) << w << "x" << h;
            ASSERT_EQ(outYuv[0], outYuv[path]) << w << "x" << h << " level " << path;
            ASSERT_EQ(outRgb[0], outRgb[path]) << w << "x" << h << " level " << path;
            ASSERT_EQ(outYuyv[0], outYuyv[path]) << w << "x" << h << " level " << path;
        }
        // Nothing past the picture is written; odd sizes write nothing at all.
        const size_t yuvEnd = result[0] ? n * 3 / 2 : 0, rgbEnd = result[0] ? n * 3 : 0;
        EXPECT_TRUE(std::all_of(outYuv[0].begin() + long(yuvEnd), outYuv[0].end(), [](BYTE b) { return b == 0xA5; }));
        EXPECT_TRUE(std::all_of(outRgb[0].begin() + long(rgbEnd), outRgb[0].end(), [](BYTE b) { return b == 0xA5; }));
        if (result[0]) {
            EXPECT_EQ(Bytes(outYuv[0].begin(), outYuv[0].begin() + long(yuvEnd)), ReferenceRgbToI420(w, h, rgb));
            EXPECT_EQ(Bytes(outRgb[0].begin(), outRgb[0].begin() + long(rgbEnd)), ReferenceI420ToRgb(w, h, yuv));
        }
    }
}

// Planes read in place with padded rows give the bytes of the packed picture, at every level; strides
// below a plane's width, null planes and odd sizes are refused with nothing written.
TEST(ColourConvert, PlanesWithStridesGiveThePackedResult) {
    const LevelRestore restore;
    std::mt19937 rng(9);
    for (int trial = 0; trial < 100; ++trial) {
        const int w = 2 * (1 + int(rng() % 50)), h = 2 * (1 + int(rng() % 6));
        const int ys = w + int(rng() % 40), cs = w / 2 + int(rng() % 20);
        const Bytes yPad = Random(size_t(ys) * h, rng()), uPad = Random(size_t(cs) * h / 2, rng()),
                    vPad = Random(size_t(cs) * h / 2, rng());
        Bytes packed;
        for (int r = 0; r < h; ++r) packed.insert(packed.end(), yPad.begin() + r * ys, yPad.begin() + r * ys + w);
        for (const Bytes* c : {&uPad, &vPad})
            for (int r = 0; r < h / 2; ++r)
                packed.insert(packed.end(), c->begin() + r * cs, c->begin() + r * cs + w / 2);
        for (int level = 0; level < 3; ++level) {
            SetColorConvertLevel(level);
            Bytes want(size_t(w) * h * 3), got(want.size() + 8, 0xA5);
            CColorConvert::ConvertYUV2RGB(packed.data(), want.data(), w, h);
            ASSERT_EQ(1, CColorConvert::ConvertI420ToRGB(yPad.data(), ys, uPad.data(), cs, vPad.data(), cs, got.data(),
                                                         w, h));
            ASSERT_EQ(want, Bytes(got.begin(), got.begin() + long(want.size()))) << w << "x" << h << " level " << level;
            EXPECT_TRUE(std::all_of(got.begin() + long(want.size()), got.end(), [](BYTE b) { return b == 0xA5; }));
        }
    }
    Bytes planes(64, 1), out(64 * 3, 0xEE);
    const BYTE* p = planes.data();
    EXPECT_EQ(0, CColorConvert::ConvertI420ToRGB(p, 3, p, 2, p, 2, out.data(), 4, 2));  // Y stride below the width
    EXPECT_EQ(0, CColorConvert::ConvertI420ToRGB(p, 4, p, 1, p, 2, out.data(), 4, 2));  // U stride below half of it
    EXPECT_EQ(0, CColorConvert::ConvertI420ToRGB(p, 4, p, 2, nullptr, 2, out.data(), 4, 2));
    EXPECT_EQ(0, CColorConvert::ConvertI420ToRGB(p, 4, p, 2, p, 2, out.data(), 3, 2));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](BYTE b) { return b == 0xEE; }));
}

TEST(ColourConvert, RoundTripWithinTolerance) {
    // Colours constant over each 2x2 block survive RGB -> I420 -> RGB within the truncation of the tables.
    const int w = 64, h = 48;
    std::mt19937 rng(3);
    Bytes rgb(size_t(w * h * 3));
    for (int y = 0; y < h; y += 2)
        for (int x = 0; x < w; x += 2) {
            const BYTE c[3] = {BYTE(rng()), BYTE(rng()), BYTE(rng())};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) std::copy(c, c + 3, rgb.begin() + ((y + dy) * w + x + dx) * 3);
        }
    Bytes yuv(size_t(w * h * 3 / 2)), back(rgb.size());
    ASSERT_EQ(1, CColorConvert::ConvertRGB2YUV(w, h, rgb.data(), yuv.data()));
    CColorConvert::ConvertYUV2RGB(yuv.data(), back.data(), w, h);
    int worst = 0;
    double sum = 0;
    for (size_t i = 0; i < rgb.size(); ++i) {
        const int d = std::abs(int(rgb[i]) - int(back[i]));
        worst = std::max(worst, d);
        sum += d;
    }
    // Truncation in both directions: a few steps at worst, about two on average.
    EXPECT_LE(worst, 4);
    EXPECT_LT(sum / double(rgb.size()), 2.5);
}

TEST(ColourConvert, KeepsRowOrder) {
    const int w = 8, h = 4;
    Bytes rgb(size_t(w * h * 3), 0);
    std::fill(rgb.begin(), rgb.begin() + w * 3 * 2, 255);  // top two rows white
    Bytes yuv(size_t(w * h * 3 / 2));
    ASSERT_EQ(1, CColorConvert::ConvertRGB2YUV(w, h, rgb.data(), yuv.data()));
    EXPECT_EQ(yuv[0], 234);
    EXPECT_EQ(yuv[size_t(w * (h - 1))], 16);
    Bytes back(rgb.size());
    CColorConvert::ConvertYUV2RGB(yuv.data(), back.data(), w, h);
    EXPECT_GT(back[0], 250);
    EXPECT_EQ(back[back.size() - 1], 0);
}

TEST(ColourConvert, RefusesOddOrEmptySizes) {
    Bytes rgb(64 * 3, 9), yuv(64, 0xEE), out(64 * 3, 0xEE);
    const int sizes[][2] = {{3, 2}, {2, 3}, {0, 2}, {-2, 2}, {2, 0}};
    for (const auto& s : sizes) {
        EXPECT_EQ(0, CColorConvert::ConvertRGB2YUV(s[0], s[1], rgb.data(), yuv.data()));
        CColorConvert::ConvertYUV2RGB(yuv.data(), out.data(), s[0], s[1]);
    }
    EXPECT_EQ(0, CColorConvert::ConvertRGB2YUV(2, 2, nullptr, yuv.data()));
    EXPECT_TRUE(std::all_of(yuv.begin(), yuv.end(), [](BYTE b) { return b == 0xEE; }));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](BYTE b) { return b == 0xEE; }));
}

TEST(ColourConvert, TablesFilledOnceFromManyThreads) {
    std::vector<std::thread> threads;
    std::vector<Bytes> results(8);
    const Bytes rgb = Random(16 * 16 * 3, 11);
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            CColorConvert::InitLookupTable();
            CColorConvert::InitConvertTable();
            results[size_t(i)].resize(16 * 16 * 3 / 2);
            CColorConvert::ConvertRGB2YUV(16, 16, rgb.data(), results[size_t(i)].data());
        });
    for (auto& t : threads) t.join();
    for (const Bytes& r : results) EXPECT_EQ(r, results[0]);
}
