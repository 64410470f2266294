// Charset conversions. GBK goes through two tables: the way to Unicode written at build time from iconv, the
// way back built from it with the first conversion to GBK; UTF-8 and UTF-16 are coded here so that every
// invalid byte is handled the same way and nothing is read past the input.
#include "ZqLib.h"

#include "GbkCut.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

// Two-byte GBK code -> BMP code point: a read-only table written at build time from iconv (gbk_table_gen).
// Index of a two-byte code: (lead - 0x81) * 191 + (trail - 0x40); 0 = no character.
extern const char16_t kGbkToUnicode[126 * 191];

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

bool IsLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}
bool IsTrail(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// The way back, built with the first conversion to GBK: the first code of a character wins.
struct GbkReverse {
    std::array<uint16_t, 0x10000> fromUni{};  // 0 = not in GBK (for code points >= 0x80)
    GbkReverse() {
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const char16_t u = kGbkToUnicode[(lead - 0x81) * 191 + (trail - 0x40)];
                if (u != 0 && fromUni[u] == 0) fromUni[u] = static_cast<uint16_t>((lead << 8) | trail);
            }
    }
};

const GbkReverse& Reverse() {
    static const GbkReverse reverse;
    return reverse;
}

// Decoders: each returns the next code point (kInvalid for a bad unit) and advances `i`.
char32_t NextGbk(const std::string& s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    if (c == 0x80) {
        ++i;
        return 0x20AC;
    }  // the euro sign, one byte in code page 936
    if (IsLead(c) && i + 1 < s.size() && IsTrail(static_cast<unsigned char>(s[i + 1]))) {
        unsigned char t = static_cast<unsigned char>(s[i + 1]);
        char16_t u = kGbkToUnicode[(c - 0x81) * 191 + (t - 0x40)];
        if (u != 0) {
            i += 2;
            return u;
        }
    }
    ++i;
    return kInvalid;
}

char32_t NextUtf8(const std::string& s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    int n;
    char32_t cp, min;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 1;
        cp = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 2;
        cp = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 3;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return kInvalid;
    }
    size_t j = i + 1;
    for (int k = 0; k < n; ++k, ++j) {
        if (j >= s.size()) {
            i = j;
            return kInvalid;
        }
        unsigned char t = static_cast<unsigned char>(s[j]);
        if ((t & 0xC0) != 0x80) {
            i = j;
            return kInvalid;
        }
        cp = (cp << 6) | (t & 0x3F);
    }
    i = j;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kInvalid;
    return cp;
}

char32_t NextUtf16(const std::u16string& s, size_t& i) {
    char16_t c = s[i++];
    if (c < 0xD800 || c > 0xDFFF) return c;
    if (c <= 0xDBFF && i < s.size() && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
        char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i] - 0xDC00);
        ++i;
        return cp;
    }
    return kInvalid;
}

void PutGbk(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
        return;
    }
    if (cp == 0x20AC) {
        out += '\x80';
        return;
    }
    uint16_t code = cp <= 0xFFFF ? Reverse().fromUni[cp] : 0;
    if (code == 0) {
        out += '?';
        return;
    }
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
}

void PutUtf8(std::string& out, char32_t cp) {
    if (cp == kInvalid) {
        out += '?';
        return;
    }
    char b[4];
    size_t n;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
        return;
    } else if (cp < 0x800) {
        b[0] = static_cast<char>(0xC0 | (cp >> 6));
        b[1] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        b[0] = static_cast<char>(0xE0 | (cp >> 12));
        b[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[2] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        b[0] = static_cast<char>(0xF0 | (cp >> 18));
        b[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        b[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        b[3] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 4;
    }
    out.append(b, n);
}

void PutUtf16(std::u16string& out, char32_t cp) {
    if (cp == kInvalid) {
        out += u'\uFFFD';
        return;
    }
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
        return;
    }
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
}

}  // namespace

namespace Charset {

void AppendGbkAsUtf8(std::string& out, const char* gbk, size_t len) {
    if (!gbk || len == 0) return;
    out.reserve(out.size() + len + len / 2);
    size_t i = 0;
    while (i < len) {
        // Copy a run of ASCII bytes at once, eight at a time where possible.
        size_t j = i;
        while (j + 8 <= len) {
            uint64_t w;
            std::memcpy(&w, gbk + j, 8);
            if (w & 0x8080808080808080ULL) break;
            j += 8;
        }
        while (j < len && static_cast<unsigned char>(gbk[j]) < 0x80) ++j;
        if (j > i) {
            out.append(gbk + i, j - i);
            i = j;
            if (i >= len) break;
        }
        unsigned char c = static_cast<unsigned char>(gbk[i]);
        char32_t cp = kInvalid;
        if (c == 0x80) {
            cp = 0x20AC;  // the euro sign, one byte in code page 936
            ++i;
        } else if (IsLead(c) && i + 1 < len && IsTrail(static_cast<unsigned char>(gbk[i + 1]))) {
            char16_t u = kGbkToUnicode[(c - 0x81) * 191 + (static_cast<unsigned char>(gbk[i + 1]) - 0x40)];
            if (u != 0) {
                cp = u;
                i += 2;
            } else {
                ++i;
            }
        } else {
            ++i;
        }
        PutUtf8(out, cp);
    }
}

std::string GbkToUtf8(const std::string& gbk) {
    std::string out;
    AppendGbkAsUtf8(out, gbk.data(), gbk.size());
    return out;
}

std::string Utf8ToGbk(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) PutGbk(out, NextUtf8(utf8, i));
    return out;
}

std::u16string GbkToUtf16(const std::string& gbk) {
    std::u16string out;
    out.reserve(gbk.size());
    for (size_t i = 0; i < gbk.size();) PutUtf16(out, NextGbk(gbk, i));
    return out;
}

std::string Utf16ToGbk(const std::u16string& utf16) {
    std::string out;
    out.reserve(utf16.size() * 2);
    for (size_t i = 0; i < utf16.size();) PutGbk(out, NextUtf16(utf16, i));
    return out;
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) PutUtf16(out, NextUtf8(utf8, i));
    return out;
}

std::string Utf16ToUtf8(const std::u16string& utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (size_t i = 0; i < utf16.size();) PutUtf8(out, NextUtf16(utf16, i));
    return out;
}

bool IsValidGbk(const std::string& text) {
    for (size_t i = 0; i < text.size();)
        if (NextGbk(text, i) == kInvalid) return false;
    return true;
}

size_t GbkSafeCut(const char* text, size_t len, size_t maxBytes) {
    return varnet::GbkCut(text, len, maxBytes);
}

void GbkCopy(char* buf, size_t size, const std::string& text) {
    varnet::GbkCopy(buf, size, text);
}

}  // namespace Charset
