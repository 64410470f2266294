#include "FlvBody.h"

#include <algorithm>
#include <cstring>

namespace {

void Put16(BYTE* p, unsigned v) {
    p[0] = BYTE(v >> 8);
    p[1] = BYTE(v);
}
void Put24(BYTE* p, unsigned v) {
    p[0] = BYTE(v >> 16);
    p[1] = BYTE(v >> 8);
    p[2] = BYTE(v);
}
void Put32(BYTE* p, unsigned v) {
    p[0] = BYTE(v >> 24);
    p[1] = BYTE(v >> 16);
    p[2] = BYTE(v >> 8);
    p[3] = BYTE(v);
}
unsigned Get16(const BYTE* p) {
    return (unsigned(p[0]) << 8) | p[1];
}
unsigned Get24(const BYTE* p) {
    return (unsigned(p[0]) << 16) | (unsigned(p[1]) << 8) | p[2];
}
unsigned Get32(const BYTE* p) {
    return (Get16(p) << 16) | Get16(p + 2);
}

constexpr int kMaxTagBody = 0xFFFFFF;
constexpr int kMaxAdtsFrame = 0x1FFF;  // 13-bit frame length

}  // namespace

int FlvWriteAvcSequenceHeader(const BYTE* sps, int spsLen, const BYTE* pps, int ppsLen, BYTE* out, int outSize) {
    if (!sps || !pps || !out || spsLen < 4 || ppsLen < 1 || spsLen > 0xFFFF || ppsLen > 0xFFFF) return -1;
    const int total = 16 + spsLen + ppsLen;
    if (outSize < total) return -1;
    BYTE* p = out;
    *p++ = 0x17;
    *p++ = 0x00;
    *p++ = 0x00;
    *p++ = 0x00;
    *p++ = 0x00;
    *p++ = 0x01;    // configuration version
    *p++ = sps[1];  // profile
    *p++ = sps[2];  // compatibility
    *p++ = sps[3];  // level
    *p++ = 0xFF;    // 4-byte unit lengths
    *p++ = 0xE1;    // one SPS
    Put16(p, unsigned(spsLen));
    p += 2;
    std::memcpy(p, sps, size_t(spsLen));
    p += spsLen;
    *p++ = 0x01;  // one PPS
    Put16(p, unsigned(ppsLen));
    p += 2;
    std::memcpy(p, pps, size_t(ppsLen));
    return total;
}

int FlvWriteVideoFrame(bool keyFrame, const BYTE* nal, int nalLen, BYTE* out, int outSize) {
    if (!nal || !out || nalLen < 1 || nalLen > kMaxTagBody - 9 || outSize < nalLen + 9) return -1;
    out[0] = keyFrame ? 0x17 : 0x27;
    out[1] = 0x01;
    Put24(out + 2, 0);  // composition time
    Put32(out + 5, unsigned(nalLen));
    std::memcpy(out + 9, nal, size_t(nalLen));
    return nalLen + 9;
}

int FlvWriteAacSequenceHeader(int profile, int samplingFrequencyIndex, int channelConfiguration, BYTE* out,
                              int outSize) {
    if (!out || outSize < 4 || profile < 0 || profile > 31 || samplingFrequencyIndex < 0 ||
        samplingFrequencyIndex > 15 || channelConfiguration < 0 || channelConfiguration > 15)
        return -1;
    out[0] = 0xAF;
    out[1] = 0x00;
    out[2] = BYTE((profile << 3) | (samplingFrequencyIndex >> 1));
    out[3] = BYTE(((samplingFrequencyIndex & 1) << 7) | (channelConfiguration << 3));
    return 4;
}

int FlvWriteAacFrame(const BYTE* adts, int adtsLen, BYTE* out, int outSize) {
    if (!adts || !out || adtsLen < ADTS_HEADER_SIZE + 1) return -1;
    if (adts[0] != 0xFF || (adts[1] & 0xF0) != 0xF0) return -1;
    // protection_absent 0: a 2-byte CRC follows the header.
    const int header = (adts[1] & 1) ? ADTS_HEADER_SIZE : ADTS_HEADER_SIZE + 2;
    const int raw = adtsLen - header;
    if (raw < 1 || outSize < raw + 2) return -1;
    out[0] = 0xAF;
    out[1] = 0x01;
    std::memcpy(out + 2, adts + header, size_t(raw));
    return raw + 2;
}

int NalStartCodeLength(const BYTE* data, int len) {
    if (!data) return 0;
    if (len >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1) return 4;
    if (len >= 3 && data[0] == 0 && data[1] == 0 && data[2] == 1) return 3;
    return 0;
}

FlvBodyKind FlvClassifyBody(int tagType, const BYTE* body, int len) {
    if (tagType == FLV_TAG_SCRIPT) return FlvBodyKind::Script;
    if (!body || len < 2) return FlvBodyKind::Ignored;
    if (tagType == FLV_TAG_AUDIO) {
        if (body[0] != 0xAF) return FlvBodyKind::Ignored;
        if (body[1] == 0 && len >= 4) return FlvBodyKind::AacSequenceHeader;
        if (body[1] == 1 && len >= 3) return FlvBodyKind::AacFrame;
        return FlvBodyKind::Ignored;
    }
    if (tagType == FLV_TAG_VIDEO) {
        if (body[0] == 0x17 && body[1] == 0) return FlvBodyKind::AvcSequenceHeader;
        if ((body[0] == 0x17 || body[0] == 0x27) && body[1] == 1 && len > 9)
            return body[0] == 0x17 ? FlvBodyKind::AvcKeyFrame : FlvBodyKind::AvcFrame;
    }
    return FlvBodyKind::Ignored;
}

bool FlvReadAacSequenceHeader(const BYTE* body, int len, FlvAacConfig& cfg) {
    if (FlvClassifyBody(FLV_TAG_AUDIO, body, len) != FlvBodyKind::AacSequenceHeader) return false;
    cfg.profile = body[2] >> 3;
    cfg.samplingFrequencyIndex = ((body[2] << 1) & 0x0F) | (body[3] >> 7);
    cfg.channelConfiguration = (body[3] >> 3) & 0x0F;
    return true;
}

int FlvBuildAdtsFrame(const FlvAacConfig& cfg, const BYTE* body, int len, BYTE* out, int outSize) {
    if (FlvClassifyBody(FLV_TAG_AUDIO, body, len) != FlvBodyKind::AacFrame || !out) return -1;
    const int n = len + 5;
    if (n > kMaxAdtsFrame || outSize < n) return -1;
    // The profile is the sequence header's value as it stands (object type minus one).
    out[0] = 0xFF;
    out[1] = 0xF1;
    out[2] = BYTE(((cfg.profile & 3) << 6) | ((cfg.samplingFrequencyIndex & 0x0F) << 2) |
                  ((cfg.channelConfiguration >> 2) & 1));
    out[3] = BYTE(((cfg.channelConfiguration & 3) << 6) | (n >> 11));
    out[4] = BYTE((n >> 3) & 0xFF);
    out[5] = BYTE(((n & 7) << 5) | 0x1F);
    out[6] = 0xFC;
    std::memcpy(out + 7, body + 2, size_t(len - 2));
    return n;
}

namespace {
bool ReadAvcRecord(const BYTE* body, int len, FlvAvcConfig& cfg) {
    if (!body || len < 5 || body[0] != 0x17 || body[1] != 0) return false;
    const BYTE* rec = body + 5;
    const int recLen = len - 5;
    if (recLen < 8)  // 6 fixed bytes and the first SPS length
        return false;
    FlvAvcConfig c;
    c.configurationVersion = rec[0];
    c.profile = rec[1];
    c.compatibility = rec[2];
    c.level = rec[3];
    c.lengthSize = rec[4] & 3;
    c.spsCount = rec[5] & 0x1F;
    if (c.spsCount == 0) return false;
    int pos = 6;
    const int spsLen = int(Get16(rec + pos));
    pos += 2;
    if (spsLen == 0 || spsLen > recLen - pos) return false;
    c.sps.assign(rec + pos, rec + pos + spsLen);
    pos += spsLen;
    // Further SPSs are skipped, each checked against the record.
    for (int i = 1; i < c.spsCount; ++i) {
        if (recLen - pos < 2) return false;
        const int l = int(Get16(rec + pos));
        pos += 2;
        if (l > recLen - pos) return false;
        pos += l;
    }
    if (recLen - pos < 3) return false;
    c.ppsCount = rec[pos++];
    if (c.ppsCount == 0) return false;
    const int ppsLen = int(Get16(rec + pos));
    pos += 2;
    if (ppsLen == 0 || ppsLen > recLen - pos) return false;
    c.pps.assign(rec + pos, rec + pos + ppsLen);
    cfg = std::move(c);
    return true;
}
}  // namespace

bool FlvReadAvcSequenceHeader(const BYTE* body, int len, FlvAvcConfig& cfg) {
    try {
        return ReadAvcRecord(body, len, cfg);
    } catch (...) {  // allocation of the copies
        return false;
    }
}

int FlvVideoToStartCode(const BYTE* body, int len, BYTE* out, int outSize) {
    const FlvBodyKind kind = FlvClassifyBody(FLV_TAG_VIDEO, body, len);
    if ((kind != FlvBodyKind::AvcKeyFrame && kind != FlvBodyKind::AvcFrame) || !out || outSize < len - 5) return -1;
    int in = 5;
    int written = 0;
    while (len - in > 4) {
        unsigned unit = Get32(body + in);
        in += 4;
        const unsigned left = unsigned(len - in);
        if (unit == 0) continue;
        if (unit > left) unit = left;
        Put32(out + written, 1);
        std::memcpy(out + written + 4, body + in, unit);
        written += 4 + int(unit);
        in += int(unit);
    }
    return written > 0 ? written : -1;
}

int FlvWriteFileHeader(bool audio, bool video, BYTE* out, int outSize) {
    if (!out || outSize < FLV_FILE_HEADER_SIZE) return -1;
    const BYTE header[FLV_FILE_HEADER_SIZE] = {'F', 'L', 'V', 1, BYTE((audio ? 4 : 0) | (video ? 1 : 0)), 0, 0, 0, 9,
                                               0,   0,   0,   0};
    std::memcpy(out, header, sizeof(header));
    return FLV_FILE_HEADER_SIZE;
}

int FlvWriteTag(int type, unsigned timestamp, const BYTE* body, int len, BYTE* out, int outSize) {
    if (!out || len < 0 || len > kMaxTagBody || (len > 0 && !body) || outSize < len + 15) return -1;
    out[0] = BYTE(type);
    Put24(out + 1, unsigned(len));
    Put24(out + 4, timestamp & 0xFFFFFF);
    out[7] = BYTE(timestamp >> 24);
    Put24(out + 8, 0);  // stream id
    if (len > 0) std::memcpy(out + FLV_TAG_HEADER_SIZE, body, size_t(len));
    Put32(out + FLV_TAG_HEADER_SIZE + len, unsigned(len + FLV_TAG_HEADER_SIZE));
    return len + 15;
}

// ---- FlvTagReader

FlvTagReader::FlvTagReader(size_t capacity) : m_buf(std::max<size_t>(capacity, 64)) {}

void FlvTagReader::Reset() {
    m_begin = m_end = 0;
    m_headerPending = true;
    m_broken = false;
}

size_t FlvTagReader::Append(const BYTE* data, size_t n) {
    const size_t take = std::min(n, m_buf.size() - m_end);
    std::memcpy(m_buf.data() + m_end, data, take);
    m_end += take;
    return take;
}

bool FlvTagReader::NextTag(FlvTag& tag) {
    if (m_broken) return false;
    if (m_headerPending) {
        if (Held() < FLV_FILE_HEADER_SIZE + 1) return false;
        m_begin += FLV_FILE_HEADER_SIZE;
        m_headerPending = false;
    }
    if (Held() <= FLV_TAG_HEADER_SIZE) return false;
    const BYTE* p = m_buf.data() + m_begin;
    const size_t bodyLen = Get24(p + 1);
    const size_t whole = bodyLen + 15;
    if (whole > m_buf.size()) {
        m_broken = true;
        return false;
    }
    if (Held() < whole) return false;
    tag.type = p[0];
    tag.timestamp = Get24(p + 4) | (unsigned(p[7]) << 24);
    tag.body = p + FLV_TAG_HEADER_SIZE;
    tag.size = int(bodyLen);
    m_begin += whole;
    return true;
}

void FlvTagReader::Compact() {
    if (m_begin == 0) return;
    const size_t held = Held();
    if (held > 0) std::memmove(m_buf.data(), m_buf.data() + m_begin, held);
    m_begin = 0;
    m_end = held;
}
