// A stream's 320x240 B, G, R frame scaled bilinearly into a view's 32-bit picture, at the microphone slots'
// sizes (a little smaller, a little larger, twice as large). Anchor: libyuv doing the same work, the frame
// converted to 32 bits and then scaled with its bilinear filter.
#include <benchmark/benchmark.h>

#include <libyuv.h>

#include <random>
#include <vector>

#include "BenchFigures.h"
#include "VideoImage.h"

namespace {

constexpr int kSrcW = 320, kSrcH = 240;

std::vector<uint8_t> Frame() {
    std::vector<uint8_t> f(size_t(kSrcW) * kSrcH * 3);
    std::mt19937 rng(5);
    for (auto& b : f) b = uint8_t(rng());
    return f;
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({246, 185})->Args({360, 270})->Args({640, 480});
}

void BM_ViewScale(benchmark::State& state) {
    const std::vector<uint8_t> frame = Frame();
    mic::Image32 dst;
    dst.Create(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        mic::ScaleBilinear(frame.data(), kSrcW, kSrcH, kSrcW * 3, dst);
        benchmark::DoNotOptimize(dst.pixels.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_ViewScale)->Apply(Sizes);

void BM_libyuv_ConvertAndScale(benchmark::State& state) {
    const std::vector<uint8_t> frame = Frame();
    const int w = int(state.range(0)), h = int(state.range(1));
    std::vector<uint8_t> argb(size_t(kSrcW) * kSrcH * 4), out(size_t(w) * h * 4);
    for (auto _ : state) {
        libyuv::RGB24ToARGB(frame.data(), kSrcW * 3, argb.data(), kSrcW * 4, kSrcW, kSrcH);
        libyuv::ARGBScale(argb.data(), kSrcW * 4, kSrcW, kSrcH, out.data(), w * 4, w, h, libyuv::kFilterBilinear);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_libyuv_ConvertAndScale)->Apply(Sizes);

}  // namespace

int main(int argc, char** argv) {
    std::vector<benchfig::Figure> figures;
    for (const char* size : {"246/185", "360/270", "640/480"})
        figures.push_back({std::string("a 320x240 frame scaled into a ") + size +
                               " view picture (anchor: libyuv RGB24ToARGB + ARGBScale bilinear)",
                           std::string("BM_ViewScale/") + size, std::string("BM_libyuv_ConvertAndScale/") + size});
    return benchfig::Main(argc, argv, figures);
}
