// The stored form of a room notice as the room management dialog writes it: "%04d%04d" with the byte length
// of the text and of text and link together, then text, link and the picture address (kept only when it
// is an "http:" address); the older form "%04d" + text + link is read too. Lengths are GBK bytes. Reading
// never goes past the stored text and never throws. No state; any thread.
#pragma once

#include <string>

#include "RoomBaseInfo.h"

namespace roompopups {

// Text and link together stay below this many bytes, so that both lengths keep their four digits.
constexpr size_t kMaxNoticeBytes = 9999;

// False (and `out` empty) when text and link are longer than kMaxNoticeBytes: a longer length would take a
// fifth digit and the stored notice could no longer be split. A notice without text and picture is "".
bool EncodeRoomNotice(const RoomNoticeInfo& notice, std::string& out);
// The stored form read back; empty pieces for text that holds none.
RoomNoticeInfo DecodeRoomNotice(const std::string& stored);

}  // namespace roompopups
