// An FLV byte stream in pieces: tags are cut and every body goes through the readers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FlvBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = data[0] % 64 + 1;
    FlvTagReader reader(4096);
    FlvAacConfig aac;
    FlvAvcConfig avc;
    std::vector<BYTE> out;
    for (size_t at = 1; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        reader.Feed(data + at, n, [&](const FlvTag& tag) {
            std::vector<BYTE> body(tag.body, tag.body + tag.size);
            const int len = int(body.size());
            switch (FlvClassifyBody(tag.type, body.data(), len)) {
            case FlvBodyKind::AacSequenceHeader:
                FlvReadAacSequenceHeader(body.data(), len, aac);
                break;
            case FlvBodyKind::AacFrame:
                out.assign(size_t(len) + 5, 0);
                FlvBuildAdtsFrame(aac, body.data(), len, out.data(), int(out.size()));
                FlvWriteAacFrame(body.data(), len, out.data(), int(out.size()));
                break;
            case FlvBodyKind::AvcSequenceHeader:
                FlvReadAvcSequenceHeader(body.data(), len, avc);
                break;
            case FlvBodyKind::AvcKeyFrame:
            case FlvBodyKind::AvcFrame:
                out.assign(size_t(len) - 5, 0);
                FlvVideoToStartCode(body.data(), len, out.data(), int(out.size()));
                break;
            default:
                break;
            }
        });
    }
    return 0;
}
