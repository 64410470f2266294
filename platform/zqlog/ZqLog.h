// Log files of the programs: one file per area ("Speed.txt", "HttpRequest.txt", ...) in the log folder.
// Thread-safe. Texts given to PJ_Log are the system's GBK; files on disk are UTF-8.
#pragma once

#include <string>

// Levels of PJ_Log.
enum {
    LOG_INFO = 0,       // information
    LOG_DETAIL = 1,     // detail
    LOG_FAILURE = 2,    // a failure
    LOG_IMPOSSIBLE = 3  // a state that cannot occur
};

// Once at start-up, before anything logs; product names the program ("Varnet", "Trenby").
// Logs written before LogInit go to the log folder under the product "Varnet".
void LogInit(const char* product);

// Appends one line "time [thread] level module: text" to the log file `file` (a bare file name).
// Never cuts a line, whatever the length of the arguments.
void PJ_Log(const char* file, int level, const char* module, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Records a client-side error report (product, area, sub-area, text) in "ClientError.txt".
void LogClientErrorMsg(const char* product, const char* area, const char* subarea, const char* text);

// The parameter text that accompanies the request manager's requests of `caller`.
std::string MakeHttpParam(const char* caller, int flag);

// Folder the log files go to (UTF-8); tests point it at a folder of their own.
void LogSetFolder(const std::string& utf8Folder);
std::string LogGetFolder();
// The program version that MakeHttpParam names (set once at start-up; "" until then).
void LogSetVersion(const std::string& version);
// A file grows to at most this many bytes, then moves to "<name>.old" and starts anew (default 16 MiB).
void LogSetMaxFileSize(long long bytes);
// Debug logging: bulk texts (whole reply bodies) are logged only while it is on. Off unless the
// environment has VARNET_LOG_DEBUG=1 at start (the debug switch of DebugLog.h); any thread may switch it.
void LogSetDebug(bool on);
bool LogDebugOn();
