// RGB24 <-> I420 at three sizes: ours (vector kernels, and the plain table path) beside libyuv's.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

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
}

std::vector<BYTE> Noise(size_t n) {
    std::mt19937 rng(5);
    std::vector<BYTE> v(n);
    for (BYTE& b : v)
        b = BYTE(rng());
    return v;
}

// Third argument: 1 for the vector kernels (where the processor has them), 0 for the tables alone.
void Paths(benchmark::internal::Benchmark* b) {
    for (int vectors = 1; vectors >= 0; --vectors)
        for (const auto& s : kSizes)
            b->Args({s[0], s[1], vectors});
    b->ArgNames({"w", "h", "vec"});
}

struct PathChoice {
    explicit PathChoice(const benchmark::State& state) { SetColorConvertVectors(state.range(2) != 0); }
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
#endif

}  // namespace
