#include "IniFile.h"

#include "ZqLib.h"

#include <cstring>

namespace zqconfig {

namespace {

unsigned char Lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool NeedsEscape(unsigned char c) {
    return c < 0x20 || c >= 0x7F || c == '\\' || c == '=' || c == '[' || c == ']' || c == '#' || c == ';' || c == '"';
}

}  // namespace

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = Lower(static_cast<unsigned char>(a[i])), y = Lower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

std::string EscapeIni(const std::string& raw) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(raw[i]);
        // Blanks at either end would be trimmed by a reader.
        bool edgeBlank = IsBlank(static_cast<char>(c)) && (i == 0 || i + 1 == raw.size());
        if (NeedsEscape(c) || edgeBlank) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string UnescapeIni(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && Hex(text[i + 2]) >= 0 &&
            Hex(text[i + 3]) >= 0) {
            out += static_cast<char>(Hex(text[i + 2]) * 16 + Hex(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

size_t ParseIni(const std::string& input, bool escaped, IniData& out) {
    out.clear();
    std::string converted;
    const std::string* text = &input;
    size_t pos = 0;
    if (input.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        // A UTF-8 file (marked): the system's texts are GBK.
        converted = Charset::Utf8ToGbk(input.substr(3));
        text = &converted;
    }
    size_t skipped = 0, entries = 0;
    IniSection* section = nullptr;
    while (pos < text->size() && entries < kMaxEntries) {
        size_t end = text->find('\n', pos);
        if (end == std::string::npos) end = text->size();
        size_t len = end - pos;
        if (len > kMaxLineBytes) {
            ++skipped;
            pos = end + 1;
            continue;
        }
        std::string line = text->substr(pos, len);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            // Escaped files never hold a raw ']' inside a name: the first one closes it.
            size_t close = line.find(']');
            if (close == std::string::npos || close == 1 ||
                line.find_first_not_of(" \t", close + 1) != std::string::npos) {
                ++skipped;
                section = nullptr;  // keys under a broken header belong nowhere
                continue;
            }
            std::string name = Trim(line.substr(1, close - 1));
            if (escaped) name = UnescapeIni(name);
            if (name.empty()) {
                ++skipped;
                section = nullptr;
                continue;
            }
            section = &out[name];
            continue;
        }
        size_t eq = line.find('=');
        if (!section || eq == std::string::npos || eq == 0) {
            ++skipped;
            continue;
        }
        std::string key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        if (escaped) {
            key = UnescapeIni(key);
            value = UnescapeIni(value);
        }
        if (key.empty()) {
            ++skipped;
            continue;
        }
        if (section->emplace(std::move(key), std::move(value)).second) ++entries;
    }
    return skipped;
}

std::string WriteIni(const IniData& data) {
    std::string out;
    for (const auto& [name, section] : data) {
        if (section.empty()) continue;
        out += '[';
        out += EscapeIni(name);
        out += "]\n";
        for (const auto& [key, value] : section) {
            out += EscapeIni(key);
            out += '=';
            out += EscapeIni(value);
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

}  // namespace zqconfig
