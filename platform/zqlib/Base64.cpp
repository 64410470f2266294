// Base64, plain and keyed (bytes XOR-ed with the repeated key before encoding), and MD5.
#include "ZqLib.h"

#include <glib.h>

#include <cstring>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+' || c == '-') return 62;  // '-' and '_': the URL-safe alphabet
    if (c == '/' || c == '_') return 63;
    return -1;
}

void ApplyKey(std::string& bytes, const char* key) {
    if (!key || !*key) return;
    size_t klen = std::strlen(key);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ key[i % klen]);
}

std::string EncodePlain(const unsigned char* p, size_t len) {
    std::string out;
    out.reserve((len + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= len; i += 3) {
        uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (len - i == 1) {
        uint32_t v = p[i] << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (len - i == 2) {
        uint32_t v = (p[i] << 16) | (p[i + 1] << 8);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

// Blanks and line breaks are skipped; padding is optional but only at the end.
bool DecodePlain(const char* in, size_t len, std::string& out) {
    out.clear();
    out.reserve(len / 4 * 3 + 3);
    uint32_t acc = 0;
    int bits = 0, quads = 0, pad = 0;
    for (size_t i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        if (c == ' ' || c == '\r' || c == '\n' || c == '\t') continue;
        if (c == '=') {
            ++pad;
            continue;
        }
        int v = Value(c);
        if (v < 0 || pad > 0) return false;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        ++quads;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    int rest = quads % 4;
    if (rest == 1 || pad > 2) return false;
    if (pad > 0 && (rest + pad) % 4 != 0) return false;
    return true;
}

}  // namespace

namespace Base64 {

std::string Base64Encode(const void* in, int len, const char* key) {
    if (!in || len <= 0) return std::string();
    std::string bytes(static_cast<const char*>(in), static_cast<size_t>(len));
    ApplyKey(bytes, key);
    return EncodePlain(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

int Base64Encode(std::string& out, const void* in, int len, const char* key) {
    out.clear();
    if (len < 0 || (!in && len > 0)) return -1;
    out = Base64Encode(in, len, key);
    return static_cast<int>(out.size());
}

bool Base64Decode(const std::string& in, std::string& out, const char* key) {
    std::string bytes;
    if (!DecodePlain(in.data(), in.size(), bytes)) {
        out.clear();
        return false;
    }
    ApplyKey(bytes, key);
    out.swap(bytes);
    return true;
}

int Base64Decode(const char* in, char* out, int size) {
    if (!in || !out || size <= 0) return -1;
    out[0] = '\0';
    std::string bytes;
    if (!DecodePlain(in, std::strlen(in), bytes)) return -1;
    if (bytes.size() + 1 > static_cast<size_t>(size)) return -1;
    std::memcpy(out, bytes.data(), bytes.size());
    out[bytes.size()] = '\0';
    return static_cast<int>(bytes.size());
}

}  // namespace Base64

namespace Entrypt {

std::string GenerateMD5(const std::string& text) {
    GChecksum* sum = g_checksum_new(G_CHECKSUM_MD5);
    if (!sum) return std::string();
    // GChecksum takes a signed length; feed big texts in pieces.
    const auto* p = reinterpret_cast<const guchar*>(text.data());
    size_t left = text.size();
    while (left > 0) {
        size_t n = left > (1u << 30) ? (1u << 30) : left;
        g_checksum_update(sum, p, static_cast<gssize>(n));
        p += n;
        left -= n;
    }
    std::string hex = g_checksum_get_string(sum);
    g_checksum_free(sum);
    return hex;
}

}  // namespace Entrypt
