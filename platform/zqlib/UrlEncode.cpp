// Percent encoding and decoding into sized buffers.
#include "ZqLib.h"

#include "GbkCut.h"

#include <cstring>

namespace {

const char kHex[] = "0123456789ABCDEF";

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendEncoded(std::string& out, unsigned char c, bool blankAsPlus) {
    if (Unreserved(c)) {
        out += static_cast<char>(c);
    } else if (c == ' ' && blankAsPlus) {
        out += '+';
    } else {
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
}

std::string EncodeAll(const std::string& in, bool blankAsPlus) {
    std::string out;
    out.reserve(in.size() * 3);
    for (unsigned char c : in) AppendEncoded(out, c, blankAsPlus);
    return out;
}

}  // namespace

namespace UrlEncode {

int EncodeEx(const char* in, char* out, int size, int /*flag*/) {
    if (!out || size <= 0) return 0;
    out[0] = '\0';
    if (!in) return 0;
    size_t len = std::strlen(in);
    size_t room = static_cast<size_t>(size) - 1;
    size_t written = 0;
    std::string piece;
    for (size_t i = 0; i < len;) {
        // One unit: a whole GBK character (two bytes) or one byte.
        const size_t n = varnet::GbkUnitLength(in, len, i);
        piece.clear();
        for (size_t k = 0; k < n; ++k) AppendEncoded(piece, static_cast<unsigned char>(in[i + k]), false);
        if (written + piece.size() > room) break;
        std::memcpy(out + written, piece.data(), piece.size());
        written += piece.size();
        i += n;
    }
    out[written] = '\0';
    return static_cast<int>(written);
}

std::string Encode(const std::string& in) {
    return EncodeAll(in, false);
}

std::string EncodeQuery(const std::string& in) {
    return EncodeAll(in, true);
}

std::string Decode(const char* in, size_t len) {
    std::string out;
    if (!in) return out;
    out.resize(len);
    char* o = out.data();
    size_t w = 0;
    for (size_t i = 0; i < len; ++i) {
        char c = in[i];
        int hi, lo;
        if (c == '+') {
            o[w++] = ' ';
        } else if (c == '%' && i + 2 < len && (hi = HexValue(in[i + 1])) >= 0 && (lo = HexValue(in[i + 2])) >= 0) {
            o[w++] = static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            o[w++] = c;  // a malformed escape stays as it is
        }
    }
    out.resize(w);
    return out;
}

std::string Decode(const std::string& in) {
    return Decode(in.data(), in.size());
}

int DecodeEx(const char* in, char* out, int size) {
    if (!out || size <= 0) return 0;
    out[0] = '\0';
    if (!in) return 0;
    std::string decoded = Decode(in, std::strlen(in));
    size_t n = Charset::GbkSafeCut(decoded.data(), decoded.size(), static_cast<size_t>(size) - 1);
    std::memcpy(out, decoded.data(), n);
    out[n] = '\0';
    return static_cast<int>(n);
}

}  // namespace UrlEncode
