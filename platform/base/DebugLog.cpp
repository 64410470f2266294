#include "DebugLog.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace varnet {

bool DebugSwitchValue(const char* value) {
    return value && value[0] == '1';
}

bool DebugLogOn() {
    static const bool on = DebugSwitchValue(std::getenv("VARNET_LOG_DEBUG"));
    return on;
}

std::string DebugLine(const char* component, const char* instance, const std::string& text) {
    std::string line = "[";
    line += component && *component ? component : "varnet";
    if (instance && *instance) {
        line += ' ';
        line += instance;
    }
    line += "] ";
    line += text;
    MaskSecrets(line);
    return line;
}

void DebugLog(const char* component, const char* instance, const char* fmt, ...) {
    if (!DebugLogOn()) return;
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof(text), fmt, ap);
    va_end(ap);
    const std::string line = DebugLine(component, instance, text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

DebugId::DebugId() {
    static std::atomic<unsigned> s_next{1};
    std::snprintf(m_text, sizeof(m_text), "%u", s_next.fetch_add(1, std::memory_order_relaxed));
}

std::string MaskStreamUrl(const std::string& url) {
    if (url.empty()) return url;
    const size_t scheme = url.find("://");
    const size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t query = url.find_first_of("?#", hostStart);
    const std::string path = url.substr(0, query);
    const size_t slash = path.find('/', hostStart);
    if (slash == std::string::npos) return query == std::string::npos ? url : path + "?***";
    const size_t last = path.rfind('/');
    return path.substr(0, last + 1) + "***";
}

namespace {

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Whether text[at, at+len) names a secret field (any case).
bool IsSecretKey(const std::string& text, size_t at, size_t len) {
    static const char* const kKeys[] = {"pwd", "password", "passwd", "p", "token", "sid", "sessionid"};
    for (const char* key : kKeys) {
        size_t n = 0;
        while (key[n] && n < len) {
            char c = text[at + n];
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            if (c != key[n]) break;
            ++n;
        }
        if (!key[n] && n == len) return true;
    }
    return false;
}

}  // namespace

void MaskSecrets(std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        // A key: a run of word characters that starts the text or follows another character.
        if (!IsWordChar(text[i]) || (i > 0 && IsWordChar(text[i - 1]))) continue;
        size_t end = i;
        while (end < text.size() && IsWordChar(text[end])) ++end;
        const bool quoted = i > 0 && text[i - 1] == '"' && end < text.size() && text[end] == '"';
        size_t value = end + (quoted ? 1 : 0);
        if (quoted)
            while (value < text.size() && text[value] == ' ') ++value;
        if (value >= text.size() || text[value] != (quoted ? ':' : '=') || !IsSecretKey(text, i, end - i)) {
            i = end;
            continue;
        }
        ++value;
        if (quoted)
            while (value < text.size() && text[value] == ' ') ++value;
        size_t stop = value;
        std::string mask = "***";
        if (quoted && value < text.size() && text[value] == '"') {
            // A JSON string: up to its closing quote.
            for (stop = value + 1; stop < text.size() && text[stop] != '"'; ++stop)
                if (text[stop] == '\\') ++stop;
            stop = std::min(stop + 1, text.size());
            mask = "\"***\"";
        } else {
            const char* ends = quoted ? ",}] \t\r\n" : "&\" \t\r\n";
            stop = text.find_first_of(ends, value);
            if (stop == std::string::npos) stop = text.size();
            if (quoted) mask = "\"***\"";
        }
        const bool empty = stop == value || (quoted && stop - value == 2 && text[value] == '"');
        if (!empty) text.replace(value, stop - value, mask);
        i = (empty ? stop : value + mask.size()) - 1;  // the loop's step lands on the character after it
    }
}

}  // namespace varnet
