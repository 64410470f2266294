// Korvid frames a second at 640x480; Pellac and Dunmar real-time factor (seconds of audio a second).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Dunmar.h"
#include "Korvid.h"
#include "Pellac.h"

namespace {

void BM_KorvidEncode640x480(benchmark::State& state) {
    const int w = 640, h = 480;
    Korvid enc;
    if (enc.Initialize(w, h, 800, 25, 30) != 0) {
        state.SkipWithError("encoder did not open");
        return;
    }
    std::vector<BYTE> pic(size_t(w * h * 3 / 2));
    int n = 0;
    for (auto _ : state) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; x += 8) pic[size_t(y * w + x)] = BYTE(x + y + n);
        TNAL* nals = nullptr;
        int count = 0;
        enc.EncodeFrame(pic.data(), nals, count);
        Korvid::CleanNAL(nals, count);
        ++n;
    }
    enc.Destroy();
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KorvidEncode640x480)->Unit(benchmark::kMillisecond);

std::vector<short> Music(size_t frames, int channels) {
    std::vector<short> pcm(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm[i * size_t(channels) + size_t(c)] =
                short(6000 * std::sin(i * 0.0627) + 3000 * std::sin(i * 0.31 + c) + 1000 * std::sin(i * 1.7));
    return pcm;
}

// Arg: AAC object type (2 LC, 29 HE-AAC v2).
void BM_PellacEncode(benchmark::State& state) {
    Pellac enc;
    AEncInfo info;
    if (!enc.Init(44100, 48, 2, 16, int(state.range(0)), &info)) {
        state.SkipWithError("encoder did not open");
        return;
    }
    const size_t chunk = size_t(info.frameLength) * 2;
    const std::vector<short> pcm = Music(44100, 2);
    std::vector<BYTE> out(size_t(info.maxOutputBytes));
    size_t at = 0;
    for (auto _ : state) {
        if (at + chunk > pcm.size()) at = 0;
        benchmark::DoNotOptimize(
            enc.EncodeFrame(const_cast<short*>(pcm.data() + at), int(chunk * 2), out.data(), int(out.size())));
        at += chunk;
    }
    state.counters["realtime"] =
        benchmark::Counter(double(state.iterations()) * info.frameLength / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PellacEncode)->Arg(2)->Arg(29);

void BM_DunmarDecode(benchmark::State& state) {
    Pellac enc;
    AEncInfo info;
    if (!enc.Init(44100, 48, 2, 16, int(state.range(0)), &info)) {
        state.SkipWithError("encoder did not open");
        return;
    }
    const size_t chunk = size_t(info.frameLength) * 2;
    const std::vector<short> pcm = Music(44100 * 2, 2);
    std::vector<std::vector<BYTE>> frames;
    std::vector<BYTE> out(size_t(info.maxOutputBytes));
    for (size_t at = 0; at + chunk <= pcm.size(); at += chunk) {
        const int n = enc.EncodeFrame(const_cast<short*>(pcm.data() + at), int(chunk * 2), out.data(), int(out.size()));
        if (n > 0) frames.emplace_back(out.begin(), out.begin() + n);
    }
    Dunmar dec;
    int rate = 0, channels = 0, frameSize = 0;
    if (frames.empty() || !dec.Init(frames[0].data(), int(frames[0].size()), rate, channels, frameSize)) {
        state.SkipWithError("decoder did not open");
        return;
    }
    std::vector<short> samples(8192);
    size_t i = 1;
    for (auto _ : state) {
        if (i >= frames.size()) i = 1;
        bool got = false;
        benchmark::DoNotOptimize(
            dec.DecoderFrame(frames[i].data(), int(frames[i].size()), samples.data(), int(samples.size() * 2), got));
        ++i;
    }
    state.counters["realtime"] =
        benchmark::Counter(double(state.iterations()) * frameSize / double(rate), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DunmarDecode)->Arg(2)->Arg(29);

}  // namespace
