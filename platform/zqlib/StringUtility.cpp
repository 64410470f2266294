// String formatting, splitting and link detection.
#include "ZqLib.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <locale>
#include <sstream>

namespace StringUtility {

std::string Format(const char* fmt, ...) {
    if (!fmt) return std::string();
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    char small[512];
    int n = std::vsnprintf(small, sizeof(small), fmt, copy);
    va_end(copy);
    std::string out;
    if (n < 0) {
        out.clear();
    } else if (static_cast<size_t>(n) < sizeof(small)) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    }
    va_end(ap);
    return out;
}

void Tokenize(const std::string& text, const std::string& delims, std::vector<std::string>& out) {
    out.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = text.find_first_not_of(delims, pos);
        if (start == std::string::npos) break;
        size_t end = text.find_first_of(delims, start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        pos = end;
    }
}

void TokenizeEx(const std::string& text, const std::string& sep, std::vector<std::string>& out) {
    out.clear();
    if (sep.empty()) {
        out.push_back(text);
        return;
    }
    size_t pos = 0;
    for (;;) {
        size_t hit = text.find(sep, pos);
        if (hit == std::string::npos) {
            out.push_back(text.substr(pos));
            return;
        }
        out.push_back(text.substr(pos, hit - pos));
        pos = hit + sep.size();
    }
}

namespace {

bool HostChar(unsigned char c) {
    return std::isalnum(c) || c == '-';
}

// True when text[i..] starts a host name "label.label...tld" whose last label is a known top-level domain.
bool HostWithKnownTld(const std::string& lower, size_t i) {
    static const char* const kTlds[] = {"com", "net", "org", "cn",  "cc", "tv", "info", "biz", "me", "io",
                                        "hk",  "tw",  "edu", "gov", "co", "us", "uk",   "jp",  "la", "top"};
    std::vector<std::string> labels;
    size_t p = i;
    for (;;) {
        size_t s = p;
        while (p < lower.size() && HostChar(static_cast<unsigned char>(lower[p]))) ++p;
        if (p == s) break;
        labels.push_back(lower.substr(s, p - s));
        if (p < lower.size() && lower[p] == '.' && p + 1 < lower.size() &&
            HostChar(static_cast<unsigned char>(lower[p + 1]))) {
            ++p;
            continue;
        }
        break;
    }
    if (labels.size() < 2) return false;
    for (const char* tld : kTlds)
        if (labels.back() == tld) return true;
    return false;
}

}  // namespace

bool IsContainUrl(const std::string& text) {
    std::string lower;
    lower.reserve(text.size());
    for (unsigned char c : text) lower += static_cast<char>(c < 0x80 ? std::tolower(c) : c);
    if (lower.find("http://") != std::string::npos || lower.find("https://") != std::string::npos ||
        lower.find("www.") != std::string::npos)
        return true;
    // Host names: start at each ASCII alphanumeric that begins a word.
    for (size_t i = 0; i < lower.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(lower[i]);
        if (c >= 0x80) {
            ++i;  // skip the trail byte of a GBK character
            continue;
        }
        if (!std::isalnum(c)) continue;
        if (i > 0 && (HostChar(static_cast<unsigned char>(lower[i - 1])) || lower[i - 1] == '.')) continue;
        if (HostWithKnownTld(lower, i)) return true;
    }
    return false;
}

}  // namespace StringUtility

double StringToDouble(const std::string& text) {
    double value = 0;
    try {
        std::istringstream in(text);
        in.imbue(std::locale::classic());
        if (!(in >> value)) value = 0;
    } catch (...) {
        value = 0;
    }
    return value;
}

int VersionToNumber(const std::string& version) {
    std::string part = version;
    const size_t first = version.find('_');
    if (first != std::string::npos) {
        const size_t second = version.find('_', first + 1);
        part = version.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    }
    std::vector<std::string> fields;
    StringUtility::TokenizeEx(part, ".", fields);
    if (fields.size() != 4) return 0;
    const double v = StringToDouble(fields[0]) * 1000 + StringToDouble(fields[1]) * 100 +
                     StringToDouble(fields[2]) * 10 + StringToDouble(fields[3]);
    if (!(v > INT_MIN && v < INT_MAX)) return 0;
    return static_cast<int>(v);
}
