// The chunk-stream reader and the AMF check take any bytes from a server: fed in pieces whose size the
// first byte chooses, every message must come out bounded, and every body must be checked without
// deep recursion.
#include "AmfCheck.h"
#include "RtmpChunks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const size_t piece = 1 + data[0] % 64;
    RtmpChunkReader reader;
    for (size_t at = 1; at < size; at += piece) {
        reader.Feed(data + at, std::min(piece, size - at));
        RtmpMessage m;
        RtmpChunkReader::Result r;
        while ((r = reader.Next(&m)) == RtmpChunkReader::Result::Message) {
            if (m.type == 1 && m.body.size() >= 4) {
                const auto* b = reinterpret_cast<const uint8_t*>(m.body.data());
                reader.SetChunkSize((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]);
            }
            AmfCheck(reinterpret_cast<const uint8_t*>(m.body.data()), m.body.size());
        }
        if (r == RtmpChunkReader::Result::Error) {
            break;
        }
    }
    AmfCheck(data + 1, size - 1);
    return 0;
}
