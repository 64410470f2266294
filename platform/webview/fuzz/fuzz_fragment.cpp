// Fragment parsing of untrusted markup (chat lines): never crashes, and every byte lands in one node at most.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "DocModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string html(reinterpret_cast<const char*>(data), size);
    size_t total = 0;
    for (const auto& n : webview::ParseFragment(html)) total += n.markup.size();
    if (total > html.size()) abort();
    return 0;
}
