#include "MediaDebug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

bool MediaDebugEnabled() {
    static const bool enabled = std::getenv("VARNET_MEDIA_DEBUG") != nullptr;
    return enabled;
}

void MediaDebugOut(const char* component, const char* fmt, ...) {
    if (!MediaDebugEnabled())
        return;
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof(line), fmt, ap);
    va_end(ap);
    std::fprintf(stderr, "[%s] %s\n", component ? component : "media", line);
}
