#include "RtmpChunks.h"

#include <algorithm>

namespace {

uint32_t Be(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

}  // namespace

void RtmpChunkReader::Feed(const uint8_t* data, size_t n) {
    if (pos_ > 0 && pos_ >= in_.size() / 2) {
        in_.erase(in_.begin(), in_.begin() + long(pos_));
        pos_ = 0;
    }
    in_.insert(in_.end(), data, data + n);
}

bool RtmpChunkReader::SetChunkSize(uint32_t size) {
    if (size == 0 || size > 0x7FFFFFFFu) {
        return false;
    }
    chunkSize_ = std::min<uint32_t>(size, 0xFFFFFF);
    return true;
}

void RtmpChunkReader::Abort(int csid) {
    auto it = streams_.find(csid);
    if (it != streams_.end() && it->second.inMessage) {
        pending_ -= it->second.body.size();
        it->second.body = std::string();
        it->second.inMessage = false;
    }
}

bool RtmpChunkReader::KnownType(uint8_t type) {
    return (type >= 1 && type <= 6) || type == 8 || type == 9 || (type >= 15 && type <= 20) || type == 22;
}

uint32_t RtmpChunkReader::MaxLength(uint8_t type) {
    return (type == 8 || type == 9 || type == 22) ? kMaxMediaMessage : kMaxOtherMessage;
}

RtmpChunkReader::Result RtmpChunkReader::Fail(const std::string& why) {
    if (error_.empty()) {
        error_ = why;
    }
    for (auto& s : streams_) {
        s.second.body = std::string();
    }
    streams_.clear();
    pending_ = 0;
    in_.clear();
    pos_ = 0;
    return Result::Error;
}

RtmpChunkReader::Result RtmpChunkReader::Next(RtmpMessage* out) {
    if (!error_.empty()) {
        return Result::Error;
    }
    for (;;) {
        const uint8_t* p = in_.data() + pos_;
        const size_t avail = in_.size() - pos_;
        if (avail < 1) {
            return Result::NeedMore;
        }
        const int fmt = p[0] >> 6;
        int csid = p[0] & 0x3F;
        size_t used = 1;
        if (csid == 0) {
            if (avail < 2) return Result::NeedMore;
            csid = 64 + p[1];
            used = 2;
        } else if (csid == 1) {
            if (avail < 3) return Result::NeedMore;
            csid = 64 + p[1] + 256 * p[2];
            used = 3;
        }
        static const size_t kMsgHeader[4] = {11, 7, 3, 0};
        if (avail < used + kMsgHeader[fmt]) return Result::NeedMore;
        auto it = streams_.find(csid);
        Stream* s = it == streams_.end() ? nullptr : &it->second;
        if (!s) {
            if (fmt != 0) return Fail("a chunk of an unknown chunk stream");
            if (streams_.size() >= kMaxChunkStreams) return Fail("too many chunk streams");
        }
        // The header, decoded without touching the stream until the whole chunk is here.
        const uint8_t* h = p + used;
        uint32_t length = s ? s->length : 0;
        uint8_t type = s ? s->type : 0;
        uint32_t streamId = s ? s->streamId : 0;
        uint32_t ts = 0;
        if (fmt != 3) {
            ts = Be(h, 3);
            if (fmt <= 1) {
                length = Be(h + 3, 3);
                type = h[6];
            }
            if (fmt == 0) {
                streamId = h[7] | (uint32_t(h[8]) << 8) | (uint32_t(h[9]) << 16) | (uint32_t(h[10]) << 24);
            }
        }
        used += kMsgHeader[fmt];
        const bool ext = fmt == 3 ? s->extended : ts == 0xFFFFFF;
        if (ext) {
            if (avail < used + 4) return Result::NeedMore;
            ts = Be(p + used, 4);
            used += 4;
        }
        const bool starts = !(s && s->inMessage);
        if (!starts && fmt != 3) {
            return Fail("a new message header while a message is incomplete");
        }
        uint32_t timestamp = s ? s->timestamp : 0;
        uint32_t delta = s ? s->delta : 0;
        if (starts) {
            if (!KnownType(type)) return Fail("unknown message type " + std::to_string(type));
            if (length > MaxLength(type)) {
                return Fail("message of " + std::to_string(length) + " bytes over the cap");
            }
            if (pending_ + length > kMaxPendingBytes) return Fail("too much incomplete data");
            if (fmt == 0) {
                timestamp = ts;
                delta = ts;
            } else if (fmt == 3) {
                timestamp += delta;  // a new message with the previous header
            } else {
                delta = ts;
                timestamp += ts;
            }
        }
        const size_t have = starts ? 0 : s->body.size();
        const size_t take = std::min<size_t>(chunkSize_, length - have);
        if (avail < used + take) return Result::NeedMore;

        Stream& st = s ? *s : streams_[csid];
        if (starts) {
            st.length = length;
            st.type = type;
            st.streamId = streamId;
            st.timestamp = timestamp;
            st.delta = delta;
            if (fmt != 3) st.extended = ext;
            st.body.clear();
        }
        st.body.append(reinterpret_cast<const char*>(p + used), take);
        pending_ += take;
        pos_ += used + take;
        if (st.body.size() < st.length) {
            st.inMessage = true;
            continue;
        }
        st.inMessage = false;
        pending_ -= st.body.size();
        out->csid = csid;
        out->type = st.type;
        out->timestamp = st.timestamp;
        out->streamId = st.streamId;
        out->body = std::move(st.body);
        st.body = std::string();
        return Result::Message;
    }
}
