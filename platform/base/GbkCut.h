// Cutting GBK text to a byte limit without splitting a character. A character is a lead byte 0x81-0xFE
// followed by a trail byte 0x40-0xFE other than 0x7F; every other byte stands alone (a lead byte before a
// byte that cannot trail, or at the very end, is one byte of its own).
#pragma once

#include <cstddef>
#include <string>

namespace varnet {

// Bytes of the unit at text[i] (1 or 2); i < len.
size_t GbkUnitLength(const char* text, size_t len, size_t i);

// Length of the longest prefix of at most `maxBytes` bytes that ends on a whole unit.
size_t GbkCut(const char* text, size_t len, size_t maxBytes);
inline size_t GbkCut(const std::string& text, size_t maxBytes) {
    return GbkCut(text.data(), text.size(), maxBytes);
}

// Characters (units) of GBK text, and the byte length of its longest prefix of at most `maxChars` of them.
size_t GbkCharCount(const std::string& text);
size_t GbkCutChars(const std::string& text, size_t maxChars);

// Copies `text` into `buf` of `size` bytes, NUL-terminated, cut on a whole unit. Nothing when size is 0.
void GbkCopy(char* buf, size_t size, const std::string& text);

}  // namespace varnet
