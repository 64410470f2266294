#include "RoomNoticeForm.h"

#include <cstdio>

bool FormatRoomNotice(const RoomNoticeInfo& notice, std::string& out)
{
    const size_t length = notice.text.size();
    if (length > kMaxRoomNoticeOffset || notice.link.size() > kMaxRoomNoticeOffset - length)
        return false;
    char head[24];
    std::snprintf(head, sizeof head, "%04zu%04zu", length, length + notice.link.size());
    out = head + notice.text + notice.link + notice.picture;
    return true;
}
