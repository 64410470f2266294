// Page calls and the addresses of the pages that make them: the handler parser never accepts what it cannot
// give back as a plain call, and the page check finds one host or none.
#include <strings.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "WebView.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string name;
    std::vector<std::string> args;
    if (webview::ParseHandlerCall(text, name, args)) {
        if (name.empty() || name.size() > webview::kMaxExternalNameBytes || args.size() > webview::kMaxExternalArgs)
            __builtin_trap();
        for (char c : name)
            if (!(isalnum(static_cast<unsigned char>(c)) || c == '_')) __builtin_trap();
        for (const std::string& a : args)
            if (a.find_first_of("'\"\\") != std::string::npos) __builtin_trap();
    }
    const std::string host = webview::HttpHostOf(text);
    if (host.find_first_of("/?#\\@") != std::string::npos) __builtin_trap();
    // A page is trusted for a host only when that host is its own.
    const bool file = text.size() >= 5 && strncasecmp(text.c_str(), "file:", 5) == 0;
    if (webview::IsTrustedPage(text, {"web.test"}) && host != "web.test" && !file) __builtin_trap();
    return 0;
}
