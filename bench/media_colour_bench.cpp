// Colour conversion at three sizes: ours at each kernel level (tables, AVX2, AVX-512 where the processor
// has them; a level it lacks runs its best) beside libyuv, the anchor. Figures (BM_Paired): ours and
// libyuv timed in alternating rounds of about a millisecond by the thread's CPU clock, so that both see
// the same state of a busy machine; the medians of the rounds and the median of the rounds' ratios, for
// the best level and for AVX2 alone, in both directions, and packed 4:2:2 to RGB24 against libyuv's packed
// 4:2:2 to 32-bit ARGB (it has no RGB24 form; it writes a third more bytes).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
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
    for (const auto& s : kSizes) b->Args({s[0], s[1]});
    b->ArgNames({"w", "h"});
}

std::vector<BYTE> Noise(size_t n) {
    std::mt19937 rng(5);
    std::vector<BYTE> v(n);
    for (BYTE& b : v) b = BYTE(rng());
    return v;
}

// Third argument: the kernel level (0 tables, 1 AVX2, 2 AVX-512).
void Paths(benchmark::internal::Benchmark* b) {
    for (int level = kColorAvx512; level >= kColorScalar; --level)
        for (const auto& s : kSizes) b->Args({s[0], s[1], level});
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

// The thread's CPU time in seconds.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct PairResult {
    double project = 0, anchor = 0, ratio = 0;  // seconds per call, seconds per call, project / anchor
};

// `project` and `anchor` in alternating rounds (project first in even rounds, anchor first in odd ones)
// of as many calls as take the project about a millisecond; after one round of each to warm up.
template <class P, class A>
PairResult Alternate(P project, A anchor, int rounds) {
    auto time = [](auto& f, int calls) {
        const double t0 = ThreadSeconds();
        for (int k = 0; k < calls; ++k) f();
        return (ThreadSeconds() - t0) / calls;
    };
    int calls = 1;
    while (calls < (1 << 16) && time(project, calls) * calls < 1e-3) calls *= 2;
    time(anchor, calls);
    std::vector<double> p, a, r;
    for (int i = 0; i < rounds; ++i) {
        double tp, ta;
        if (i % 2 == 0) {
            tp = time(project, calls);
            ta = time(anchor, calls);
        } else {
            ta = time(anchor, calls);
            tp = time(project, calls);
        }
        p.push_back(tp);
        a.push_back(ta);
        r.push_back(ta > 0 ? tp / ta : 0);
    }
    return {Median(p), Median(a), Median(r)};
}

// Kinds of BM_Paired.
enum { kRgbToI420 = 0, kI420ToRgb = 1, kYuyvToRgb = 2 };
constexpr int kPairRounds = 101;

// Arguments: kind, w, h, level.
void PairArgs(benchmark::internal::Benchmark* b) {
    for (int kind = kRgbToI420; kind <= kYuyvToRgb; ++kind)
        for (int level = kColorAvx512; level >= kColorAvx2; --level)
            for (const auto& s : kSizes) b->Args({kind, s[0], s[1], level});
    b->ArgNames({"kind", "w", "h", "level"});
}

#ifdef MEDIA_BENCH_LIBYUV
void BM_Paired(benchmark::State& state) {
    const int kind = int(state.range(0)), w = int(state.range(1)), h = int(state.range(2));
    SetColorConvertLevel(int(state.range(3)));
    struct Restore {
        ~Restore() { SetColorConvertVectors(true); }
    } restore;
    const size_t n = size_t(w) * size_t(h);
    const std::vector<BYTE> in = Noise(kind == kRgbToI420 ? n * 3 : kind == kI420ToRgb ? n * 3 / 2 : n * 2);
    std::vector<BYTE> out(n * 4);
    BYTE* o = out.data();
    const BYTE* i = in.data();
    auto ours = [&] {
        if (kind == kRgbToI420) CColorConvert::ConvertRGB2YUV(w, h, i, o);
        else if (kind == kI420ToRgb) CColorConvert::ConvertYUV2RGB(i, o, w, h);
        else CColorConvert::ConvertYUYV2RGB(i, w * 2, o, w, h);
        benchmark::DoNotOptimize(o);
    };
    auto theirs = [&] {
        if (kind == kRgbToI420) libyuv::RGB24ToI420(i, w * 3, o, w, o + n, w / 2, o + n + n / 4, w / 2, w, h);
        else if (kind == kI420ToRgb) libyuv::I420ToRGB24(i, w, i + n, w / 2, i + n + n / 4, w / 2, o, w * 3, w, h);
        else libyuv::YUY2ToARGB(i, w * 2, o, w * 4, w, h);
        benchmark::DoNotOptimize(o);
    };
    for (auto _ : state) {
        const PairResult r = Alternate(ours, theirs, kPairRounds);
        state.SetIterationTime(r.project);
        state.counters["project"] = r.project * 1e6;
        state.counters["anchor"] = r.anchor * 1e6;
        state.counters["ratio"] = r.ratio;
    }
}
BENCHMARK(BM_Paired)->Apply(PairArgs)->Iterations(1)->UseManualTime();
#endif

std::vector<benchfig::PairFigure> PairFigures() {
    std::vector<benchfig::PairFigure> out;
    const int best = ColorConvertBestLevel();
    const char* kinds[] = {"RGB24 to I420", "I420 to RGB24", "YUYV to RGB24 (anchor: to ARGB)"};
    for (int kind = kRgbToI420; kind <= kYuyvToRgb; ++kind)
        for (int level = best; level >= kColorAvx2; --level)
            for (const auto& s : kSizes) {
                const std::string size = std::to_string(s[0]) + "x" + std::to_string(s[1]);
                benchfig::PairFigure f;
                f.label = std::string(kinds[kind]) + " " + size + (level == kColorAvx512 ? " (AVX-512)" : " (AVX2)") +
                          ", alternating rounds (CPU time)";
                f.benchmark = "BM_Paired/kind:" + std::to_string(kind) + "/w:" + std::to_string(s[0]) +
                              "/h:" + std::to_string(s[1]) + "/level:" + std::to_string(level) +
                              "/iterations:1/manual_time";
                f.unit = "us";
                out.push_back(f);
            }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    return benchfig::Main(argc, argv, {}, {}, PairFigures());
}
