#include "PinglaWire.h"

#include <cstring>

namespace pingla {

namespace {

uint32_t ReadBE32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | uint32_t(u[3]);
}

void AppendBE32(std::string& s, uint32_t v) {
    char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    s.append(b, 4);
}

}  // namespace

const std::string& Frame::Field(size_t i) const {
    static const std::string empty;
    return i < fields.size() ? fields[i] : empty;
}

bool Frame::Number(size_t i, uint32_t& out) const {
    if (i >= fields.size()) return false;
    const std::string& f = fields[i];
    if (f.empty() || f.size() > 10) return false;
    uint64_t v = 0;
    for (char c : f) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v > 0xFFFFFFFFull) return false;
    out = uint32_t(v);
    return true;
}

std::string NumberField(uint32_t n) {
    return std::to_string(n);
}

std::string EncodeFrame(uint8_t type, const std::vector<std::string>& fields) {
    uint64_t size = 1;
    for (const std::string& f : fields) size += 4 + uint64_t(f.size());
    if (size > kMaxFrame) return std::string();
    std::string out;
    out.reserve(size_t(size) + 4);
    AppendBE32(out, uint32_t(size));
    out.push_back(char(type));
    for (const std::string& f : fields) {
        AppendBE32(out, uint32_t(f.size()));
        out.append(f);
    }
    return out;
}

bool ParseFrame(const char* data, size_t len, Frame& out) {
    out.fields.clear();
    if (len < 1) return false;
    out.type = uint8_t(data[0]);
    size_t pos = 1;
    while (pos < len) {
        if (len - pos < 4) return false;
        uint32_t n = ReadBE32(data + pos);
        pos += 4;
        if (n > len - pos) return false;
        out.fields.emplace_back(data + pos, n);
        pos += n;
    }
    return true;
}

void FrameReader::Feed(const char* data, size_t len) {
    if (failed_ || len == 0) return;
    if (pos_ > 0 && pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
    } else if (pos_ > 65536 && pos_ * 2 > buf_.size()) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    buf_.append(data, len);
}

FrameReader::Result FrameReader::Next(Frame& out) {
    if (failed_) return kError;
    size_t avail = buf_.size() - pos_;
    if (avail < 4) return kNeedMore;
    uint32_t n = ReadBE32(buf_.data() + pos_);
    if (n == 0 || n > kMaxFrame) {
        failed_ = true;
        buf_.clear();
        pos_ = 0;
        return kError;
    }
    if (avail - 4 < n) return kNeedMore;
    if (!ParseFrame(buf_.data() + pos_ + 4, n, out)) {
        failed_ = true;
        buf_.clear();
        pos_ = 0;
        return kError;
    }
    pos_ += 4 + size_t(n);
    return kFrame;
}

}  // namespace pingla
