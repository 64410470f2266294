// Wire format of the chat/notice connection, shared by the client and the test chat server.
//
// A frame is a 4-byte big-endian length N (1 <= N <= kMaxFrame), then N bytes: one type byte and the
// fields. A field is a 4-byte big-endian length and that many bytes. Numbers travel as decimal text;
// every other field is opaque bytes (GBK or URL-encoded text), never transformed.
//
// No locks: a reader or writer belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pingla {

constexpr uint32_t kMaxFrame = 1u << 20;  // a larger announced frame ends the connection

enum FrameType : uint8_t {
    kLogin = 0x01,     // loginSig, tm, chatId, chatNameEnc
    kJoin = 0x02,      // joinId, joinSig, tm, chatId
    kPub = 0x03,       // joinId, toChatId, textEnc
    kPri = 0x04,       // kind, toChatId, textEnc
    kPing = 0x05,      // -
    kLoginAck = 0x81,  // status ("1" accepted)
    kJoinAck = 0x82,   // status ("1" accepted)
    kSys = 0x83,       // cmd, body
    kPubMsg = 0x84,    // senderName, receiverName, senderChatId, receiverChatId, textEnc
    kPriMsg = 0x85,    // senderName, senderChatId, textEnc
    kNomMsg = 0x86,    // a, b
    kPong = 0x87,      // -
};

struct Frame {
    uint8_t type = 0;
    std::vector<std::string> fields;

    // Field i, or "" when the frame has fewer fields.
    const std::string& Field(size_t i) const;
    // Field i read as a decimal unsigned 32-bit number; false when absent or not a plain number.
    bool Number(size_t i, uint32_t& out) const;
};

// The bytes of one frame. Fields longer than the frame limit make the result empty.
std::string EncodeFrame(uint8_t type, const std::vector<std::string>& fields);
std::string NumberField(uint32_t n);

// Reads frames from a byte stream fed in pieces of any size. It never holds more than one frame's
// bytes plus one fed piece; an announced length beyond kMaxFrame or a malformed frame is an error,
// after which the stream cannot be trusted and the reader stays in error.
class FrameReader {
public:
    enum Result { kNeedMore, kFrame, kError };

    void Feed(const char* data, size_t len);
    // Takes the next complete frame out of the buffered bytes.
    Result Next(Frame& out);
    bool Failed() const { return failed_; }
    size_t Buffered() const { return buf_.size() - pos_; }

private:
    std::string buf_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// Splits a frame's N bytes (type and fields) into out; false when a field runs past the end.
bool ParseFrame(const char* data, size_t len, Frame& out);

}  // namespace pingla
