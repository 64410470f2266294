// Feeds arbitrary bytes to the text decoders: URL decoding into every small buffer, Base64, charsets.
#include <cstdint>
#include <cstring>
#include <string>

#include "ZqLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size);
    std::string text = in.c_str();  // the C-string view the sized calls get
    char buf[64];
    for (int n = 0; n <= 64; n += 7) {
        int got = UrlEncode::DecodeEx(text.c_str(), buf, n);
        if (n > 0 && (got >= n || buf[got] != '\0')) __builtin_trap();
        got = UrlEncode::EncodeEx(text.c_str(), buf, n, 0);
        if (n > 0 && (got >= n || buf[got] != '\0')) __builtin_trap();
    }
    std::string out;
    Base64::Base64Decode(in, out, "tobrenk ");
    Base64::Base64Decode(text.c_str(), buf, sizeof(buf));
    std::string u8 = Charset::GbkToUtf8(in);
    Charset::Utf8ToGbk(in);
    Charset::Utf16ToUtf8(Charset::Utf8ToUtf16(in));
    std::u16string w(reinterpret_cast<const char16_t*>(data), size / 2);
    Charset::Utf16ToGbk(w);
    Charset::GbkSafeCut(in.data(), in.size(), size / 2);
    StringUtility::IsContainUrl(in);
    Dir::GetShortFileName(in);
    return 0;
}
