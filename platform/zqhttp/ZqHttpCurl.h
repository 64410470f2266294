// libcurl helpers shared by the sessions and the request manager (internal to the layer).
#pragma once

#include <curl/curl.h>
#include <dlfcn.h>

#include <cstddef>
#include <string>

namespace zqhttp {

// libcurl, opened with the first request, not at start-up: the program starts without it and the TLS and
// protocol libraries it brings (nullptr when it cannot be opened). Its functions are looked up there when
// first called; nothing calls them before GlobalInit succeeded.
inline void* CurlLibrary() {
    static void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

inline void* CurlSymbol(const char* name) {
    void* lib = CurlLibrary();
    return lib ? dlsym(lib, name) : nullptr;
}

}  // namespace zqhttp

#define VARNET_CURL_CALL(name)                                                                     \
    ([] {                                                                                          \
        static const auto call = reinterpret_cast<decltype(&::name)>(::zqhttp::CurlSymbol(#name)); \
        return call;                                                                               \
    }())
#undef curl_easy_setopt
#undef curl_easy_getinfo
#define curl_easy_cleanup VARNET_CURL_CALL(curl_easy_cleanup)
#define curl_easy_getinfo VARNET_CURL_CALL(curl_easy_getinfo)
#define curl_easy_init VARNET_CURL_CALL(curl_easy_init)
#define curl_easy_perform VARNET_CURL_CALL(curl_easy_perform)
#define curl_easy_reset VARNET_CURL_CALL(curl_easy_reset)
#define curl_easy_setopt VARNET_CURL_CALL(curl_easy_setopt)
#define curl_easy_strerror VARNET_CURL_CALL(curl_easy_strerror)
#define curl_global_init VARNET_CURL_CALL(curl_global_init)
#define curl_mime_addpart VARNET_CURL_CALL(curl_mime_addpart)
#define curl_mime_filedata VARNET_CURL_CALL(curl_mime_filedata)
#define curl_mime_free VARNET_CURL_CALL(curl_mime_free)
#define curl_mime_init VARNET_CURL_CALL(curl_mime_init)
#define curl_mime_name VARNET_CURL_CALL(curl_mime_name)
#define curl_mime_type VARNET_CURL_CALL(curl_mime_type)
#define curl_slist_append VARNET_CURL_CALL(curl_slist_append)
#define curl_slist_free_all VARNET_CURL_CALL(curl_slist_free_all)

namespace zqhttp {

// Bodies kept in memory (sessions, request results, upload replies) are refused beyond this size.
constexpr size_t kMaxMemoryBody = 32u << 20;

// curl_global_init once per process (thread-safe); false when libcurl cannot be opened or initialised.
bool GlobalInit();

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
