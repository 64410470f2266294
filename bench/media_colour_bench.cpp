// Colour conversion at three sizes: ours at each kernel level (tables, AVX2, AVX-512 where the processor
// has them; a level it lacks runs its best) beside libyuv, the anchor. Figures: the best level against
// libyuv in both directions, and packed 4:2:2 to RGB24 against libyuv's packed 4:2:2 to 32-bit ARGB (it has
// no RGB24 form; it writes a third more bytes).
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "ColorConvert.h"
#include "ColorConvertSimd.h"
#ifdef MEDIA_BENCH_LIBYUV
#include <libyuv.h>
#endif

namespace {

const int kSizes[][2] = {{320, 240}, {640, 480}, {1280, 720}};

void Sizes(benchmark::internal::Benchmark* b) {
    for (const auto& s : kSizes)
        b->Args({s[0], s[1]});
    b->ArgNames({"w", "h"});
}

std::vector<BYTE> Noise(size_t n) {
    std::mt19937 rng(5);
    std::vector<BYTE> v(n);
    for (BYTE& b : v)
        b = BYTE(rng());
    return v;
}

// Third argument: the kernel level (0 tables, 1 AVX2, 2 AVX-512).
void Paths(benchmark::internal::Benchmark* b) {
    for (int level = kColorAvx512; level >= kColorScalar; --level)
        for (const auto& s : kSizes)
            b->Args({s[0], s[1], level});
    b->ArgNames({"w", "h", "level"});
}

struct PathChoice {
    explicit PathChoice(const benchmark::State& state) { SetColorConvertLevel(int(state.range(2))); }
    ~PathChoice() { SetColorConvertVectors(true); }
};

void BM_RGB24ToI420(benchmark::State& state) {
    const PathChoice path(state);
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::vector<BYTE> rgb = Noise(size_t(w * h * 3));
    std::vector<BYTE> yuv(size_t(w * h * 3 / 2));
    for (auto _ : state) {
        CColorConvert::ConvertRGB2YUV(w, h, rgb.data(), yuv.data());
        benchmark::DoNotOptimize(yuv.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}
BENCHMARK(BM_RGB24ToI420)->Apply(Paths);

void BM_I420ToRGB24(benchmark::State& state) {
    const PathChoice path(state);
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::vector<BYTE> yuv = Noise(size_t(w * h * 3 / 2));
    std::vector<BYTE> rgb(size_t(w * h * 3));
    for (auto _ : state) {
        CColorConvert::ConvertYUV2RGB(yuv.data(), rgb.data(), w, h);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}
BENCHMARK(BM_I420ToRGB24)->Apply(Paths);

void BM_YUYVToRGB24(benchmark::State& state) {
    const PathChoice path(state);
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::vector<BYTE> yuyv = Noise(size_t(w * h * 2));
    std::vector<BYTE> rgb(size_t(w * h * 3));
    for (auto _ : state) {
        CColorConvert::ConvertYUYV2RGB(yuyv.data(), w * 2, rgb.data(), w, h);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}
BENCHMARK(BM_YUYVToRGB24)->Apply(Paths);

#ifdef MEDIA_BENCH_LIBYUV
void BM_libyuv_RGB24ToI420(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::vector<BYTE> rgb = Noise(size_t(w * h * 3));
    std::vector<BYTE> yuv(size_t(w * h * 3 / 2));
    BYTE* y = yuv.data();
    BYTE* u = y + w * h;
    BYTE* v = u + (w / 2) * (h / 2);
    for (auto _ : state) {
        libyuv::RGB24ToI420(rgb.data(), w * 3, y, w, u, w / 2, v, w / 2, w, h);
        benchmark::DoNotOptimize(yuv.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}
BENCHMARK(BM_libyuv_RGB24ToI420)->Apply(Sizes);

void BM_libyuv_I420ToRGB24(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::vector<BYTE> yuv = Noise(size_t(w * h * 3 / 2));
    std::vector<BYTE> rgb(size_t(w * h * 3));
    const BYTE* y = yuv.data();
    const BYTE* u = y + w * h;
    const BYTE* v = u + (w / 2) * (h / 2);
    for (auto _ : state) {
        libyuv::I420ToRGB24(y, w, u, w / 2, v, w / 2, rgb.data(), w * 3, w, h);
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}
BENCHMARK(BM_libyuv_I420ToRGB24)->Apply(Sizes);

void BM_libyuv_YUY2ToARGB(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::vector<BYTE> yuyv = Noise(size_t(w * h * 2));
    std::vector<BYTE> argb(size_t(w * h * 4));
    for (auto _ : state) {
        libyuv::YUY2ToARGB(yuyv.data(), w * 2, argb.data(), w * 4, w, h);
        benchmark::DoNotOptimize(argb.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * w * h);
}
BENCHMARK(BM_libyuv_YUY2ToARGB)->Apply(Sizes);
#endif

std::vector<benchfig::Figure> Figures() {
    std::vector<benchfig::Figure> out;
    const int best = ColorConvertBestLevel();
    const struct {
        const char* label;
        const char* ours;
        const char* anchor;
    } kinds[] = {{"RGB24 to I420", "BM_RGB24ToI420", "BM_libyuv_RGB24ToI420"},
                 {"I420 to RGB24", "BM_I420ToRGB24", "BM_libyuv_I420ToRGB24"},
                 {"YUYV to RGB24 (anchor: to ARGB)", "BM_YUYVToRGB24", "BM_libyuv_YUY2ToARGB"}};
    for (const auto& k : kinds)
        for (const auto& s : kSizes) {
            const std::string size = "w:" + std::to_string(s[0]) + "/h:" + std::to_string(s[1]);
            benchfig::Figure f;
            f.label = std::string(k.label) + " " + std::to_string(s[0]) + "x" + std::to_string(s[1]) +
                      (best == kColorAvx512 ? " (AVX-512)" : best == kColorAvx2 ? " (AVX2)" : " (tables)");
            f.project = std::string(k.ours) + "/" + size + "/level:" + std::to_string(best);
            f.anchor = std::string(k.anchor) + "/" + size;
            out.push_back(f);
        }
    return out;
}

}  // namespace

int main(int argc, char** argv) { return benchfig::Main(argc, argv, Figures()); }
