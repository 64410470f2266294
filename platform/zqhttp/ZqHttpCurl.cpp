#include "ZqHttpCurl.h"

#include "ZqHttp.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <mutex>

namespace zqhttp {

bool GlobalInit() {
    static const bool ok = CurlLibrary() && curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

bool IsHttpUrl(const char* url) {
    if (url == nullptr) return false;
    return strncasecmp(url, "http://", 7) == 0 || strncasecmp(url, "https://", 8) == 0;
}

CURL* NewEasy(const char* url, long connectMs) {
    if (!GlobalInit()) return nullptr;
    CURL* easy = curl_easy_init();
    if (easy == nullptr) return nullptr;
    SetCommonOptions(easy, url, connectMs);
    return easy;
}

void SetCommonOptions(CURL* easy, const char* url, long connectMs) {
    // Loopback never goes through a proxy; the environment's own exceptions still hold.
    static const std::string noProxy = [] {
        std::string s = "localhost,127.0.0.1,::1";
        const char* env = std::getenv("no_proxy");
        if (env == nullptr) env = std::getenv("NO_PROXY");
        if (env != nullptr && *env != '\0') s += std::string(",") + env;
        return s;
    }();
    curl_easy_setopt(easy, CURLOPT_URL, url);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Varnet");
}

int ErrorFromCurl(CURLcode code) {
    switch (code) {
    case CURLE_OK:
        return ZQHTTP_OK;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return ZQHTTP_ERR_ARGUMENT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return ZQHTTP_ERR_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ZQHTTP_ERR_TIMEOUT;
    case CURLE_WRITE_ERROR:
    case CURLE_READ_ERROR:
    case CURLE_FILE_COULDNT_READ_FILE:
        return ZQHTTP_ERR_FILE;
    case CURLE_FILESIZE_EXCEEDED:
        return ZQHTTP_ERR_TOO_LARGE;
    default:
        return ZQHTTP_ERR_TRANSFER;
    }
}

std::string UrlForLog(const char* url) {
    if (url == nullptr) return "(null)";
    std::string s(url);
    size_t q = s.find_first_of("?#");
    if (q != std::string::npos) s.erase(q);
    return s;
}

std::string GbkToUtf8(const std::string& gbk) {
    bool ascii = true;
    for (unsigned char c : gbk) ascii = ascii && c < 0x80;
    if (ascii) return gbk;
    iconv_t cd = iconv_open("UTF-8", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) return gbk;
    std::string out;
    std::string in = gbk;
    char* src = in.data();
    size_t srcLeft = in.size();
    char buf[1024];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, dst - buf);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out += '?';  // invalid or cut-off byte
            ++src;
            --srcLeft;
        }
    }
    iconv_close(cd);
    return out;
}

std::string NativePath(const std::string& gbkPath) {
    std::string p = GbkToUtf8(gbkPath);
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    return p;
}

size_t WriteToMemory(char* ptr, size_t size, size_t nmemb, void* userdata) {
    auto* body = static_cast<MemoryBody*>(userdata);
    size_t n = size * nmemb;
    if (body->data.size() + n > kMaxMemoryBody) {
        body->tooLarge = true;
        return 0;  // aborts the transfer
    }
    body->data.append(ptr, n);
    return n;
}

}  // namespace zqhttp
