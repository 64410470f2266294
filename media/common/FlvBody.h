// FLV tag bodies and sequence headers, as the publisher writes them and the player reads them,
// and the FLV tag framing. All multi-byte numbers are big-endian. Every reader is bounded by the
// length it is given; every writer by the capacity it is given.
#pragma once

#include <cstddef>
#include <vector>

#include "MediaTypes.h"

enum { FLV_TAG_AUDIO = 8, FLV_TAG_VIDEO = 9, FLV_TAG_SCRIPT = 18 };
constexpr int FLV_FILE_HEADER_SIZE = 13;  // 9-byte header and the first back pointer
constexpr int FLV_TAG_HEADER_SIZE = 11;
constexpr int ADTS_HEADER_SIZE = 7;

// ---- Writers: each returns the body length, or -1 for invalid input or a too small `out`.

// 17 00 00 00 00, then the AVCDecoderConfigurationRecord with one SPS and one PPS (units without start code).
int FlvWriteAvcSequenceHeader(const BYTE* sps, int spsLen, const BYTE* pps, int ppsLen, BYTE* out, int outSize);
// 17 (key) or 27, 01 00 00 00, the 4-byte unit length, the unit (without start code).
int FlvWriteVideoFrame(bool keyFrame, const BYTE* nal, int nalLen, BYTE* out, int outSize);
// AF 00 and the two AudioSpecificConfig bytes; `profile` is the object type minus one.
int FlvWriteAacSequenceHeader(int profile, int samplingFrequencyIndex, int channelConfiguration, BYTE* out,
                              int outSize);
// AF 01 and the raw frame of an ADTS frame (its header dropped).
int FlvWriteAacFrame(const BYTE* adts, int adtsLen, BYTE* out, int outSize);

// Length of the start code (00 00 01 or 00 00 00 01) at the front of `data`, 0 when there is none.
int NalStartCodeLength(const BYTE* data, int len);

// ---- Readers.

enum class FlvBodyKind {
    Ignored,            // not for us, or too short to read
    AacSequenceHeader,  // AF 00 + 2 bytes
    AacFrame,           // AF 01 + raw frame
    AvcSequenceHeader,  // 17 00 ...
    AvcKeyFrame,        // 17 01 ...
    AvcFrame,           // 27 01 ...
    Script,
};
FlvBodyKind FlvClassifyBody(int tagType, const BYTE* body, int len);

struct FlvAacConfig {
    int profile = 0;  // written straight into the ADTS profile field
    int samplingFrequencyIndex = 0;
    int channelConfiguration = 0;
};
// Reads an AAC sequence header body (AF 00 b2 b3). False when it is not one.
bool FlvReadAacSequenceHeader(const BYTE* body, int len, FlvAacConfig& cfg);

// Rebuilds the ADTS frame of an AAC frame body of `len` bytes (AF 01 raw): len + 5 bytes.
// Returns that length, or -1 when the body holds no frame data, the frame is too long for ADTS,
// or `out` is too small.
int FlvBuildAdtsFrame(const FlvAacConfig& cfg, const BYTE* body, int len, BYTE* out, int outSize);

struct FlvAvcConfig {
    int configurationVersion = 0;
    int profile = 0;
    int compatibility = 0;
    int level = 0;
    int lengthSize = 0;  // byte 4 & 3 (the unit lengths are read as 4 bytes whatever it says)
    int spsCount = 0;
    int ppsCount = 0;
    std::vector<BYTE> sps;  // the first SPS, without start code
    std::vector<BYTE> pps;  // the first PPS
};
// Reads an AVC sequence header body (17 00 00 00 00 + record). False, with `cfg` untouched, when the
// record is inconsistent: a length beyond the body, no SPS or no PPS, an empty unit.
bool FlvReadAvcSequenceHeader(const BYTE* body, int len, FlvAvcConfig& cfg);

// Turns a video frame body (17/27 01 cts, then 4-byte length-prefixed units) into start-code form:
// each unit as 00 00 00 01 + unit, len - 5 bytes in all. A length that runs past the body takes the
// rest of the body as one unit. Returns the bytes written, or -1 when the body holds no unit or
// `out` is too small.
int FlvVideoToStartCode(const BYTE* body, int len, BYTE* out, int outSize);

// ---- Tag framing.

// The 13-byte file header: "FLV", version 1, flags (4 audio | 1 video), header size 9, back pointer 0.
int FlvWriteFileHeader(bool audio, bool video, BYTE* out, int outSize);
// One tag: 11-byte header, body, 4-byte back pointer (L + 15 bytes). -1 when the body is too long
// for the 24-bit size or `out` is too small.
int FlvWriteTag(int type, unsigned timestamp, const BYTE* body, int len, BYTE* out, int outSize);

struct FlvTag {
    int type = 0;
    unsigned timestamp = 0;  // ms, 32 bits (extension byte on top)
    const BYTE* body = nullptr;
    int size = 0;
};

// Cuts an FLV byte stream, arriving in pieces of any size, into tags. The first 13 bytes (file header)
// are dropped once 14 bytes are held. Bytes are held in a buffer of `capacity`; a tag that cannot fit
// (L + 15 > capacity) breaks the stream: Feed then returns false and ignores further bytes until Reset.
class FlvTagReader {
public:
    explicit FlvTagReader(size_t capacity = 1048576);

    // Calls onTag(const FlvTag&) for every complete tag; the body is valid during the call only.
    template <class F>
    bool Feed(const BYTE* data, size_t n, F&& onTag) {
        while (!m_broken && n > 0) {
            size_t take = Append(data, n);
            data += take;
            n -= take;
            FlvTag tag;
            while (NextTag(tag)) onTag(static_cast<const FlvTag&>(tag));
            Compact();
        }
        return !m_broken;
    }
    void Reset();
    bool Broken() const { return m_broken; }
    size_t Held() const { return m_end - m_begin; }
    size_t Capacity() const { return m_buf.size(); }

private:
    size_t Append(const BYTE* data, size_t n);
    bool NextTag(FlvTag& tag);
    void Compact();

    std::vector<BYTE> m_buf;
    size_t m_begin = 0;
    size_t m_end = 0;
    bool m_headerPending = true;
    bool m_broken = false;
};
