// libcurl helpers shared by the sessions and the request manager (internal to the layer).
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <string>

namespace zqhttp {

// Bodies kept in memory (sessions, request results, upload replies) are refused beyond this size.
constexpr size_t kMaxMemoryBody = 32u << 20;

// curl_global_init once per process (thread-safe).
void GlobalInit();

// A new easy handle for `url` with the options every request shares: no signals, http/https only,
// redirects (5 at most), loopback never through a proxy, connect time-out. Null when curl fails.
CURL* NewEasy(const char* url, long connectMs);
// The same options on an existing handle (after curl_easy_reset, which keeps its open connections).
void SetCommonOptions(CURL* easy, const char* url, long connectMs);

// True when the URL is an http:// or https:// address.
bool IsHttpUrl(const char* url);

// The layer's error code for a curl result.
int ErrorFromCurl(CURLcode code);

// URL without its query, for logs (queries may carry signatures).
std::string UrlForLog(const char* url);

// A GBK path of the system ('\\' or '/' separators) as a native UTF-8 path.
std::string NativePath(const std::string& gbkPath);

// GBK text as UTF-8 for the terminal; invalid bytes become '?'.
std::string GbkToUtf8(const std::string& gbk);

// Body collector for write callbacks: appends up to kMaxMemoryBody bytes, then refuses.
struct MemoryBody {
    std::string data;
    bool tooLarge = false;
};
size_t WriteToMemory(char* ptr, size_t size, size_t nmemb, void* userdata);

}  // namespace zqhttp
