// Reassembly of RTMP messages from the chunk stream, with bounds: an announced length is checked
// before anything is buffered for it, a body grows only as its bytes arrive, and a header that makes
// no sense (a continuation of an unknown chunk stream, an unknown message type, a size over the cap)
// is an error, after which the reader refuses everything.
//
// Threads: one thread at a time (the session's I/O thread, or a test peer's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct RtmpMessage {
    int csid = 0;
    uint8_t type = 0;
    uint32_t timestamp = 0;  // absolute, milliseconds
    uint32_t streamId = 0;
    std::string body;
};

class RtmpChunkReader {
public:
    static constexpr uint32_t kMaxMediaMessage = 4u << 20;  // audio, video, aggregate
    static constexpr uint32_t kMaxOtherMessage = 1u << 20;  // commands, metadata, control
    static constexpr size_t kMaxPendingBytes = 8u << 20;    // incomplete bodies of all chunk streams
    static constexpr size_t kMaxChunkStreams = 64;

    enum class Result { Message, NeedMore, Error };

    // Appends received bytes.
    void Feed(const uint8_t* data, size_t n);
    // Takes the next complete message out of the fed bytes. After Error, always Error (see error()).
    Result Next(RtmpMessage* out);
    // The peer's chunk size (set-chunk-size message); false for nonsense (0 or over 2^31-1).
    bool SetChunkSize(uint32_t size);
    // Drops the incomplete message of a chunk stream (abort message).
    void Abort(int csid);
    // Bytes fed but not yet taken as messages, plus incomplete bodies.
    size_t BufferedBytes() const { return in_.size() - pos_ + pending_; }
    const std::string& error() const { return error_; }

private:
    struct Stream {
        uint32_t timestamp = 0;  // of the last message
        uint32_t delta = 0;
        uint32_t length = 0;
        uint8_t type = 0;
        uint32_t streamId = 0;
        bool extended = false;   // the last header carried an extended timestamp
        bool inMessage = false;  // body incomplete
        std::string body;
    };
    Result Fail(const std::string& why);
    static bool KnownType(uint8_t type);
    static uint32_t MaxLength(uint8_t type);

    std::vector<uint8_t> in_;
    size_t pos_ = 0;
    size_t pending_ = 0;
    uint32_t chunkSize_ = 128;
    std::map<int, Stream> streams_;
    std::string error_;
};
