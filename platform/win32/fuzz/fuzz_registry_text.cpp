// The registry store's file format: any text parses, and what is written parses back to the same lines.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../Win32RegistryText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    auto lines = win32_detail::ParseRegistryText(text);
    std::string saved = win32_detail::RegistryText(lines);
    auto again = win32_detail::ParseRegistryText(saved);
    if (again.size() != lines.size()) {
        abort();
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto& a = lines[i];
        const auto& b = again[i];
        if (a.parsed != b.parsed || a.key != b.key || a.value != b.value || a.data != b.data) {
            abort();
        }
    }
    if (win32_detail::RegistryText(again) != saved) {
        abort();
    }
    return 0;
}
