#include "RoomNoticeCodec.h"

#include <algorithm>
#include <cstdio>

namespace roompopups {

namespace {

// s[from, from + count) cut to what s holds; empty when from is past the end.
std::string Part(const std::string& s, long from, long count = -1) {
    if (from < 0 || size_t(from) >= s.size()) return std::string();
    return count < 0 ? s.substr(size_t(from)) : s.substr(size_t(from), size_t(count));
}

}  // namespace

bool EncodeRoomNotice(const RoomNoticeInfo& notice, std::string& out) {
    out.clear();
    const size_t both = notice.text.size() + notice.link.size();
    if (both > kMaxNoticeBytes) return false;
    if (notice.text.empty() && notice.picture.empty()) return true;
    char head[16];
    std::snprintf(head, sizeof head, "%04d%04d", int(notice.text.size()), int(both));
    out = head + notice.text + notice.link;
    if (notice.picture.compare(0, 5, "http:") == 0) out += notice.picture;
    return true;
}

RoomNoticeInfo DecodeRoomNotice(const std::string& stored) {
    RoomNoticeInfo n;
    if (stored.size() <= 8) return n;
    const long size = long(stored.size());
    const long a = ReadNoticeField(stored, 0), b = ReadNoticeField(stored, 4);
    if (a <= b && b <= size && b >= 1 && a >= 0) {
        const std::string rest = stored.substr(8);
        if (long(rest.size()) < a) {
            n.text = rest;
        } else {
            n.text = rest.substr(0, size_t(a));
            n.link = Part(rest, a, b - a);
            n.picture = Part(rest, b);  // b may lie past the rest: then there is no picture
        }
    } else if (a < 1) {
        n.picture = stored.substr(8);
    } else {
        const std::string rest = stored.substr(4);
        n.text = rest.substr(0, std::min(rest.size(), size_t(a)));
        n.link = Part(rest, long(n.text.size()));
    }
    return n;
}

}  // namespace roompopups
