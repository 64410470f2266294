#include "GbkCut.h"

#include <cstring>

namespace varnet {

size_t GbkUnitLength(const char* text, size_t len, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x81 || lead > 0xFE || i + 1 >= len) return 1;
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    return trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
}

size_t GbkCut(const char* text, size_t len, size_t maxBytes) {
    if (!text) return 0;
    if (len <= maxBytes) return len;
    size_t i = 0;
    while (i < maxBytes) {
        const size_t n = GbkUnitLength(text, len, i);
        if (i + n > maxBytes) break;
        i += n;
    }
    return i;
}

size_t GbkCharCount(const std::string& text) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); i += GbkUnitLength(text.data(), text.size(), i)) ++chars;
    return chars;
}

size_t GbkCutChars(const std::string& text, size_t maxChars) {
    size_t i = 0;
    for (size_t chars = 0; i < text.size() && chars < maxChars; ++chars)
        i += GbkUnitLength(text.data(), text.size(), i);
    return i;
}

void GbkCopy(char* buf, size_t size, const std::string& text) {
    if (!buf || size == 0) return;
    const size_t n = GbkCut(text.data(), text.size(), size - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
}

}  // namespace varnet
