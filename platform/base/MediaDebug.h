// Progress lines of the media libraries (the debugger output of the original platform).
// They go to standard error when VARNET_MEDIA_DEBUG is set, and nowhere otherwise.
#pragma once

// One line prefixed with its component, e.g. MediaDebugOut("Korvid", "encoder open %dx%d", w, h).
void MediaDebugOut(const char* component, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Whether progress lines are written at all.
bool MediaDebugEnabled();
