// Datagram framing of the UDP stream-cloud transport, shared by the sender and the test receiver.
//
// Every datagram starts with a 12-byte header: "NB", version 1, kind, session id (4), sequence (4),
// all big-endian. Kinds:
//   OPEN       width (4), height (4), AVC header length (2) + bytes, AAC header length (2) + bytes
//   OPEN_ACK   empty                     KEEPALIVE / KEEPALIVE_ACK   empty
//   DATA       tag type (1: 8 audio, 9 video), flags (1: bit 0 key frame), timestamp (4), message id (4),
//              fragment index (2), fragment count (2), body length (4), then the fragment's bytes
//   CLOSE      empty
// A body is cut into fragments of at most kMaxFragment bytes; a message is whole when every fragment
// of its id has arrived.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace nimbo {

constexpr uint8_t kVersion = 1;
constexpr size_t kHeaderSize = 12;
constexpr size_t kDataHeaderSize = 18;
constexpr size_t kMaxFragment = 1200;
constexpr size_t kMaxDatagram = 1500;
constexpr uint32_t kMaxBody = 4u << 20;  // a larger body is refused by both sides

enum Kind : uint8_t { OPEN = 1, OPEN_ACK = 2, DATA = 3, KEEPALIVE = 4, KEEPALIVE_ACK = 5, CLOSE = 6 };

struct Header {
    uint8_t kind = 0;
    uint32_t session = 0;
    uint32_t sequence = 0;
};

struct DataHeader {
    uint8_t tagType = 0;
    bool key = false;
    uint32_t timestamp = 0;
    uint32_t messageId = 0;
    uint16_t index = 0;
    uint16_t count = 0;
    uint32_t bodyLength = 0;
};

inline void Put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(uint8_t(v >> 8));
    o.push_back(uint8_t(v));
}
inline void Put32(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(uint8_t(v >> 24));
    o.push_back(uint8_t(v >> 16));
    o.push_back(uint8_t(v >> 8));
    o.push_back(uint8_t(v));
}
inline uint32_t Get16(const uint8_t* p) {
    return (uint32_t(p[0]) << 8) | p[1];
}
inline uint32_t Get32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

inline void PutHeader(std::vector<uint8_t>& o, uint8_t kind, uint32_t session, uint32_t sequence) {
    o.push_back('N');
    o.push_back('B');
    o.push_back(kVersion);
    o.push_back(kind);
    Put32(o, session);
    Put32(o, sequence);
}

// False for anything that is not one of our datagrams.
inline bool ParseHeader(const uint8_t* p, size_t n, Header& h) {
    if (!p || n < kHeaderSize || p[0] != 'N' || p[1] != 'B' || p[2] != kVersion) {
        return false;
    }
    h.kind = p[3];
    h.session = Get32(p + 4);
    h.sequence = Get32(p + 8);
    return true;
}

// Parses a DATA datagram's own header; `payload`/`payloadLen` get the fragment. False when inconsistent.
inline bool ParseData(const uint8_t* p, size_t n, DataHeader& d, const uint8_t*& payload, size_t& payloadLen) {
    if (n < kHeaderSize + kDataHeaderSize) {
        return false;
    }
    const uint8_t* q = p + kHeaderSize;
    d.tagType = q[0];
    d.key = (q[1] & 1) != 0;
    d.timestamp = Get32(q + 2);
    d.messageId = Get32(q + 6);
    d.index = uint16_t(Get16(q + 10));
    d.count = uint16_t(Get16(q + 12));
    d.bodyLength = Get32(q + 14);
    payload = q + kDataHeaderSize;
    payloadLen = n - kHeaderSize - kDataHeaderSize;
    if (d.count == 0 || d.index >= d.count || d.bodyLength == 0 || d.bodyLength > kMaxBody ||
        (d.tagType != 8 && d.tagType != 9)) {
        return false;
    }
    const size_t expectedCount = (d.bodyLength + kMaxFragment - 1) / kMaxFragment;
    const size_t offset = size_t(d.index) * kMaxFragment;
    const size_t expectedLen = d.index + 1 < d.count ? kMaxFragment : d.bodyLength - offset;
    return expectedCount == d.count && payloadLen == expectedLen;
}

}  // namespace nimbo
