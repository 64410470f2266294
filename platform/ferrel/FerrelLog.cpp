#include "FerrelLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void FerrelLog(const char* fmt, ...) {
    static const bool on = getenv("VARNET_MEDIA_LOG") != nullptr;
    if (!on) {
        return;
    }
    char line[1024];
    va_list args;
    va_start(args, fmt);
    vsnprintf(line, sizeof(line), fmt, args);
    va_end(args);
    fprintf(stderr, "[ferrel] %s\n", line);
}
