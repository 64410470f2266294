// The client's frame reader over arbitrary server bytes, fed in pieces whose sizes the input picks.
#include <cstddef>
#include <cstdint>

#include "PinglaWire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t step = size_t(data[0] % 7) + 1;
    pingla::FrameReader reader;
    size_t frames = 0;
    for (size_t pos = 1; pos < size; pos += step) {
        size_t n = size - pos < step ? size - pos : step;
        reader.Feed(reinterpret_cast<const char*>(data + pos), n);
        pingla::Frame f;
        pingla::FrameReader::Result r;
        while ((r = reader.Next(f)) == pingla::FrameReader::kFrame) {
            uint32_t v;
            f.Number(0, v);
            (void)f.Field(9);
            ++frames;
        }
        if (r == pingla::FrameReader::kError) break;
    }
    // What was read encodes back to a frame the reader takes again.
    pingla::Frame f;
    if (pingla::ParseFrame(reinterpret_cast<const char*>(data + 1), size - 1, f)) {
        std::string bytes = pingla::EncodeFrame(f.type, f.fields);
        pingla::FrameReader again;
        again.Feed(bytes.data(), bytes.size());
        pingla::Frame g;
        if (!bytes.empty() && (again.Next(g) != pingla::FrameReader::kFrame || g.fields != f.fields)) __builtin_trap();
    }
    (void)frames;
    return 0;
}
