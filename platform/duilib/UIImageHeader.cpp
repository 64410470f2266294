// The sizes that image files declare, read before any decoder runs.
#include <cstring>

#include "UIGif.h"
#include "UIRender.h"

namespace DuiLib {

namespace {

unsigned Be16(const unsigned char* p) {
    return (unsigned)p[0] << 8 | p[1];
}
unsigned Le16(const unsigned char* p) {
    return p[0] | (unsigned)p[1] << 8;
}
uint32_t Be32(const unsigned char* p) {
    return (uint32_t)Be16(p) << 16 | Be16(p + 2);
}
uint32_t Le32(const unsigned char* p) {
    return Le16(p) | (uint32_t)Le16(p + 2) << 16;
}

bool Png(const unsigned char* d, size_t n, TImageHeader& out) {
    if (n < 24 || memcmp(d, "\x89PNG\r\n\x1A\n", 8) != 0 || memcmp(d + 12, "IHDR", 4) != 0) return false;
    out = {"png", Be32(d + 16), Be32(d + 20), 1};
    return true;
}

// The frame header (SOF) that precedes the first scan; markers before it are skipped by their lengths.
bool Jpeg(const unsigned char* d, size_t n, TImageHeader& out) {
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
    size_t i = 2;
    while (i + 1 < n) {
        if (d[i] != 0xFF) return false;
        while (i < n && d[i] == 0xFF) ++i;  // fill bytes
        if (i >= n) return false;
        unsigned char m = d[i++];
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD8)) continue;    // markers without a length
        if (m == 0xD9 || m == 0xDA || i + 2 > n) return false;  // no frame before the image data
        unsigned len = Be16(d + i);
        if (len < 2) return false;
        if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
            if (len < 7 || i + 7 > n) return false;
            out = {"jpeg", Be16(d + i + 5), Be16(d + i + 3), 1};
            return true;
        }
        i += len;
    }
    return false;
}

bool Bmp(const unsigned char* d, size_t n, TImageHeader& out) {
    if (n < 26 || d[0] != 'B' || d[1] != 'M') return false;
    uint32_t info = Le32(d + 14);
    if (info == 12) {
        out = {"bmp", Le16(d + 18), Le16(d + 20), 1};
        return true;
    }
    if (info < 16) return false;
    long long w = (int32_t)Le32(d + 18), h = (int32_t)Le32(d + 22);  // a negative height is a top-down image
    out = {"bmp", w, h < 0 ? -h : h, 1};
    return true;
}

bool Gif(const unsigned char* d, size_t n, TImageHeader& out) {
    if (n < 13 || (memcmp(d, "GIF87a", 6) != 0 && memcmp(d, "GIF89a", 6) != 0)) return false;
    out = {"gif", Le16(d + 6), Le16(d + 8), 0};
    bool frameOk = true;
    out.frames = WalkGifFrames(d, n, [&](int, int w, int h) {
        frameOk = frameOk && w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide;
        out.framePixels += (long long)w * h;
        return true;
    });
    if (!frameOk) out.width = 0;  // refused like an empty picture
    return true;
}

}  // namespace

size_t WalkGifFrames(const unsigned char* d, size_t n, const std::function<bool(int, int, int)>& frame) {
    if (n < 13 || memcmp(d, "GIF", 3) != 0) return 0;
    size_t i = 13, frames = 0;
    if (d[10] & 0x80) i += 3u * (1u << ((d[10] & 7) + 1));
    int pending = 0;
    auto skipSubBlocks = [&](size_t& k) {
        while (k < n && d[k] != 0) k += 1u + d[k];
        ++k;
    };
    while (i < n) {
        unsigned char b = d[i];
        if (b == 0x3B) break;
        if (b == 0x21) {
            if (i + 1 >= n) break;
            if (d[i + 1] == 0xF9 && i + 7 < n && d[i + 2] == 4) pending = (int)Le16(d + i + 4) * 10;
            i += 2;
            skipSubBlocks(i);
        } else if (b == 0x2C) {
            if (i + 10 > n) break;
            int w = (int)Le16(d + i + 5), h = (int)Le16(d + i + 7);
            unsigned char flags = d[i + 9];
            i += 10;
            if (flags & 0x80) i += 3u * (1u << ((flags & 7) + 1));
            ++i;  // minimum code size
            skipSubBlocks(i);
            if (i > n) break;
            ++frames;
            if (!frame(pending, w, h)) break;
            pending = 0;
        } else {
            break;
        }
    }
    return frames;
}

bool ReadImageHeader(const void* data, size_t size, TImageHeader& out) {
    out = TImageHeader();
    if (!data) return false;
    const unsigned char* d = static_cast<const unsigned char*>(data);
    return Png(d, size, out) || Jpeg(d, size, out) || Gif(d, size, out) || Bmp(d, size, out);
}

bool ImageHeaderAllowed(const TImageHeader& h) {
    if (!h.format || h.width <= 0 || h.height <= 0 || h.width > kMaxImageSide || h.height > kMaxImageSide ||
        h.width * h.height > kMaxImagePixels)
        return false;
    // An animation is decoded whole, each frame at the size of its screen.
    return h.frames >= 1 && h.frames <= CGifHandler::kMaxFrames &&
           (long long)h.frames * h.width * h.height <= CGifHandler::kMaxFramePixels &&
           h.framePixels <= CGifHandler::kMaxFramePixels;
}

}  // namespace DuiLib
