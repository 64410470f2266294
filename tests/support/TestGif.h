// Small animated GIF files for tests.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A GIF of 2x2 pixels with one frame per delay (hundredths of a second); every pixel is written as a literal
// code after a clear code, so the data needs no real compression.
// The logical screen may be larger than the frames.
// A frame may claim another size than the 2x2 pixels it holds.
inline std::string MakeGif(const std::vector<int>& delays, int screenW = 2, int screenH = 2, int frameSide = 2) {
    std::string g = "GIF89a";
    auto u16 = [&](int v) {
        g += (char)(v & 0xFF);
        g += (char)((v >> 8) & 0xFF);
    };
    u16(screenW);
    u16(screenH);
    g += (char)0x80;  // global colour table of 2 entries
    g += (char)0;
    g += (char)0;
    g += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
    g += std::string(
        "\x21\xFF\x0B"
        "NETSCAPE2.0"
        "\x03\x01\x00\x00\x00",
        19);  // loop forever
    for (size_t f = 0; f < delays.size(); ++f) {
        g += std::string("\x21\xF9\x04\x00", 4);
        u16(delays[f]);
        g += std::string("\x00\x00", 2);
        g += (char)0x2C;
        u16(0);
        u16(0);
        u16(frameSide);
        u16(frameSide);
        g += (char)0;
        g += (char)2;  // minimum code size
        // Codes of 3 bits: clear(4) p clear p clear p clear p end(5).
        int px = (int)(f % 2);
        std::vector<int> codes = {4, px, 4, 1 - px, 4, px, 4, 1 - px, 5};
        std::string bytes;
        unsigned acc = 0;
        int bits = 0;
        for (int c : codes) {
            acc |= (unsigned)c << bits;
            bits += 3;
            while (bits >= 8) {
                bytes += (char)(acc & 0xFF);
                acc >>= 8;
                bits -= 8;
            }
        }
        if (bits) bytes += (char)(acc & 0xFF);
        g += (char)bytes.size();
        g += bytes;
        g += (char)0;
    }
    g += (char)0x3B;
    return g;
}

}  // namespace testsupport
