// The word list reader of wordfilter.conf, the index and the filter. The input's first half is the list,
// the second half (as UTF-16 units) the text to filter.
#include <cstddef>
#include <cstdint>
#include <string>

#include "WordFilterConfig.h"

#include <filesystem>

#include "ZqLog.h"

// Log lines go to a scratch folder, not the user's.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder((std::filesystem::temp_directory_path() / "varnet-fuzz-log").string());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t half = size / 2;
    std::string list(reinterpret_cast<const char*>(data), half);
    auto words = WordFilterConfig::ParseWordList(list, nullptr, 0);
    WordIndex index;
    WordFilterConfig::Init(words, index, nullptr);
    std::u16string text;
    for (size_t i = half; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::u16string out;
    index.Filter(text, out);
    if (out.size() != text.size()) __builtin_trap();
    // The filter skips positions no word can start at: it must agree with the trie walked from each.
    for (size_t p = 0; p < text.size();) {
        const size_t len = index.LongestMatch(text.data(), text.size(), p);
        for (size_t i = p; i < p + (len ? len : 1); ++i)
            if (out[i] != (len ? u'*' : text[i])) __builtin_trap();
        p += len ? len : 1;
    }
    return 0;
}
