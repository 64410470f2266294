#include "DebugLog.h"

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

}  // namespace varnet
