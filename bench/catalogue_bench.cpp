// FilterWords throughput over a 1 MB chat text with a 5,000-word list, beside the trie walked from every
// position (the anchor: the filter without its prefix filter) and a naive scan of the same text in the same
// run; and the time of Reload(0xFFF) on the sample catalogue set.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "BenchFigures.h"
#include "Halvec.h"
#include "WordFilterConfig.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

namespace fs = std::filesystem;

// A private install folder holding a copy of the sample catalogue set.
fs::path CopySampleSet(const char* name) {
    std::string pattern = (fs::temp_directory_path() / name).string() + "-XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", fs::path(pattern) / "res", fs::copy_options::recursive);
    return pattern;
}

// Every word tried at every position, the longest match kept.
std::u16string NaiveFilter(const std::vector<std::u16string>& words, const std::u16string& in) {
    std::u16string out;
    size_t p = 0;
    while (p < in.size()) {
        size_t best = 0;
        for (const std::u16string& w : words)
            if (w.size() > best && p + w.size() <= in.size() && in.compare(p, w.size(), w) == 0) best = w.size();
        if (best) {
            out.append(best, u'*');
            p += best;
        } else {
            out.push_back(in[p++]);
        }
    }
    return out;
}

// The filter's case: 1 MB of UTF-16 chat text (512K units) and a 5,000-word list.
struct FilterFixture {
    fs::path folder;
    std::vector<std::u16string> words;
    std::u16string text;
    CHalvec halvec;

    FilterFixture() {
        folder = CopySampleSet("halvec-bench-words");
        LogSetFolder((folder / "log").string());

        std::mt19937 rng(7);
        auto cjk = [&] { return static_cast<char16_t>(0x4E00 + rng() % 3000); };  // common ideographs
        std::string list;
        for (int i = 0; i < 5000; ++i) {
            std::u16string w;
            if (i % 3 == 0) {
                for (int k = 0, n = 4 + rng() % 5; k < n; ++k) w.push_back(static_cast<char16_t>('a' + rng() % 26));
            } else {
                for (int k = 0, n = 2 + rng() % 3; k < n; ++k) w.push_back(cjk());
            }
            words.push_back(w);
            list += (i % 2 ? "0\t" : "2\t") + Charset::Utf16ToUtf8(w) + "\r\n";
        }
        std::ofstream(folder / "res" / "wordfilter.conf", std::ios::binary) << list;

        // Ideographs, ASCII letters and blanks, with a listed word now and then.
        while (text.size() * 2 < (1u << 20)) {
            unsigned r = rng() % 100;
            if (r < 2) text += words[rng() % words.size()];
            else if (r < 60) text.push_back(cjk());
            else if (r < 90) text.push_back(static_cast<char16_t>('a' + rng() % 26));
            else text.push_back(u' ');
        }
        text.resize((1u << 20) / 2);
        halvec.WordFilter().SetYieldBytes(0);
        halvec.Attach(folder.string() + "/");
        if (!halvec.WordFilter().WaitLoaded(std::chrono::seconds(60))) abort();
    }
    ~FilterFixture() {
        halvec.ClearAll();
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

FilterFixture& Filter() {
    static FilterFixture fixture;
    return fixture;
}

// The sample catalogue set as shipped.
struct SampleFixture {
    fs::path folder;
    CHalvec halvec;

    SampleFixture() {
        folder = CopySampleSet("halvec-bench-sample");
        LogSetFolder((folder / "log").string());
        halvec.Attach(folder.string() + "/");
    }
    ~SampleFixture() {
        halvec.ClearAll();
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

SampleFixture& Sample() {
    static SampleFixture fixture;
    return fixture;
}

void BM_FilterWords(benchmark::State& state) {
    FilterFixture& f = Filter();
    for (auto _ : state) {
        std::u16string out;
        f.halvec.FilterWords(f.text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.text.size() * 2);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * f.text.size() * 2);
}
BENCHMARK(BM_FilterWords)->Unit(benchmark::kMillisecond);

// The same list indexed alike, the trie walked from every position; its result must equal the filter's.
void BM_FilterWordsTrieWalk(benchmark::State& state) {
    FilterFixture& f = Filter();
    WordIndex index;
    std::vector<std::u16string> folded = f.words;
    for (auto& w : folded) FoldWord(w);
    WordFilterConfig::Init(folded, index, nullptr);
    std::u16string out;
    for (auto _ : state) {
        out.clear();
        out.reserve(f.text.size());
        for (size_t p = 0, n = f.text.size(); p < n;) {
            const size_t len = index.LongestMatch(f.text.data(), n, p);
            if (len) {
                out.append(len, u'*');
                p += len;
            } else {
                out.push_back(f.text[p++]);
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.text.size() * 2);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * f.text.size() * 2);
    std::u16string filtered;
    f.halvec.FilterWords(f.text, filtered);
    if (filtered != out) state.SkipWithError("the filter and the trie walk disagree");
}
BENCHMARK(BM_FilterWordsTrieWalk)->Unit(benchmark::kMillisecond);

// The same text and list, every word tried at every position; its result must equal the filter's.
void BM_NaiveScan(benchmark::State& state) {
    FilterFixture& f = Filter();
    std::u16string out;
    for (auto _ : state) {
        out = NaiveFilter(f.words, f.text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.text.size() * 2);
    std::u16string filtered;
    f.halvec.FilterWords(f.text, filtered);
    if (filtered != out) state.SkipWithError("the filter and the naive scan disagree");
}
BENCHMARK(BM_NaiveScan)->Unit(benchmark::kMillisecond)->Iterations(1);

// Reload(0xFFF) of the sample set: the call itself (the word list goes on loading on its thread) ...
void BM_ReloadAll(benchmark::State& state) {
    SampleFixture& f = Sample();
    for (auto _ : state) f.halvec.Reload(0xFFF);
    f.halvec.WordFilter().WaitLoaded(std::chrono::seconds(60));
}
BENCHMARK(BM_ReloadAll)->Unit(benchmark::kMillisecond);

// ... and until the word list is in use again.
void BM_ReloadAllUntilWordsLoaded(benchmark::State& state) {
    SampleFixture& f = Sample();
    for (auto _ : state) {
        f.halvec.Reload(0xFFF);
        if (!f.halvec.WordFilter().WaitLoaded(std::chrono::seconds(60)))
            state.SkipWithError("the word list did not load");
    }
}
BENCHMARK(BM_ReloadAllUntilWordsLoaded)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchfig::Figure filter{
        "word filter, 1 MB UTF-16 chat text, 5,000 words, bytes (anchor: trie walked from every position)",
        "BM_FilterWords", "BM_FilterWordsTrieWalk"};
    filter.rate = true;
    return benchfig::Main(argc, argv, {filter});
}
