// The word filter over a 1 MB chat text with a 5,000-word list, beside a naive scan of the same text;
// and Reload(0xFFF) of the sample catalogue set.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "Halvec.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

namespace fs = std::filesystem;

struct Fixture {
    fs::path folder;
    std::vector<std::u16string> words;
    std::u16string text;
    CHalvec halvec;

    Fixture()
    {
        std::string pattern = (fs::temp_directory_path() / "halvec-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            abort();
        folder = pattern;
        LogSetFolder((folder / "log").string());
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", folder / "res", fs::copy_options::recursive);

        std::mt19937 rng(7);
        auto cjk = [&] { return static_cast<char16_t>(0x4E00 + rng() % 3000); };  // common ideographs
        std::string list;
        for (int i = 0; i < 5000; ++i) {
            std::u16string w;
            if (i % 3 == 0) {
                for (int k = 0, n = 4 + rng() % 5; k < n; ++k)
                    w.push_back(static_cast<char16_t>('a' + rng() % 26));
            } else {
                for (int k = 0, n = 2 + rng() % 3; k < n; ++k)
                    w.push_back(cjk());
            }
            words.push_back(w);
            list += (i % 2 ? "0\t" : "2\t") + Charset::Utf16ToUtf8(w) + "\r\n";
        }
        std::ofstream(folder / "res" / "wordfilter.conf", std::ios::binary) << list;

        // 1 MB of UTF-16 chat: ideographs, ASCII words and blanks, with a listed word now and then.
        while (text.size() * 2 < (1u << 20)) {
            unsigned r = rng() % 100;
            if (r < 2)
                text += words[rng() % words.size()];
            else if (r < 60)
                text.push_back(cjk());
            else if (r < 90)
                text.push_back(static_cast<char16_t>('a' + rng() % 26));
            else
                text.push_back(u' ');
        }
        halvec.WordFilter().SetYieldBytes(0);
        halvec.Attach(folder.string() + "/");
        if (!halvec.WordFilter().WaitLoaded(std::chrono::seconds(30)))
            abort();
    }
    ~Fixture()
    {
        halvec.ClearAll();
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

Fixture& Get()
{
    static Fixture fixture;
    return fixture;
}

void BM_FilterWords(benchmark::State& state)
{
    Fixture& f = Get();
    for (auto _ : state) {
        std::u16string out;
        f.halvec.FilterWords(f.text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.text.size() * 2);
}
BENCHMARK(BM_FilterWords)->Unit(benchmark::kMillisecond);

// Every word tried at every position, longest match kept.
void BM_NaiveScan(benchmark::State& state)
{
    Fixture& f = Get();
    for (auto _ : state) {
        std::u16string out;
        const std::u16string& in = f.text;
        size_t p = 0;
        while (p < in.size()) {
            size_t best = 0;
            for (const std::u16string& w : f.words)
                if (w.size() > best && p + w.size() <= in.size() && in.compare(p, w.size(), w) == 0)
                    best = w.size();
            if (best) {
                out.append(best, u'*');
                p += best;
            } else {
                out.push_back(in[p++]);
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.text.size() * 2);
}
BENCHMARK(BM_NaiveScan)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReloadAll(benchmark::State& state)
{
    Fixture& f = Get();
    for (auto _ : state)
        f.halvec.Reload(0xFFF);
}
BENCHMARK(BM_ReloadAll)->Unit(benchmark::kMillisecond);

}  // namespace
