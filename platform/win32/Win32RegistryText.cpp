// The registry store's file format: one line a value, key TAB value-name TAB data, each escaped.
#include "Win32RegistryText.h"

namespace win32_detail {

namespace {

const char kHeader[] = "# Varnet registry 1";

std::string LowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

std::string Escape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool Unescape(const std::string& s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size()) {
            return false;
        }
        switch (s[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '0':
            out += '\0';
            break;
        default:
            return false;
        }
    }
    return true;
}

RegLine ParseLine(const std::string& raw) {
    RegLine l;
    l.raw = raw;
    if (raw.empty() || raw[0] == '#') {
        return l;
    }
    size_t t1 = raw.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : raw.find('\t', t1 + 1);
    if (t2 == std::string::npos || raw.find('\t', t2 + 1) != std::string::npos) {
        return l;
    }
    std::string key, value;
    if (Unescape(raw.substr(0, t1), key) && Unescape(raw.substr(t1 + 1, t2 - t1 - 1), value) &&
        Unescape(raw.substr(t2 + 1), l.data)) {
        l.key = LowerAscii(key);
        l.value = LowerAscii(value);
        l.parsed = true;
    }
    return l;
}

}  // namespace

std::vector<RegLine> ParseRegistryText(const std::string& text) {
    std::vector<RegLine> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string raw = text.substr(start, end - start);
        if (!raw.empty() && raw != kHeader) {
            lines.push_back(ParseLine(raw));
        }
        start = end + 1;
    }
    return lines;
}

std::string RegistryText(const std::vector<RegLine>& lines) {
    std::string text = std::string(kHeader) + "\n";
    for (const RegLine& l : lines) {
        text += l.parsed ? Escape(l.key) + '\t' + Escape(l.value) + '\t' + Escape(l.data) : l.raw;
        text += '\n';
    }
    return text;
}

}  // namespace win32_detail
