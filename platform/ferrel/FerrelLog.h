// Diagnostics of the RTMP client: one line "[ferrel] text" on standard error when VARNET_MEDIA_LOG is set.
#pragma once

void FerrelLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
