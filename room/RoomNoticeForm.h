// Writing the stored notice form that ParseRoomNotice reads (RoomBaseInfo.h): four decimal digits L (the
// text's length), four digits P (L + the link's length), then text, link and picture. Any thread.
#pragma once

#include <cstddef>
#include <string>

#include "RoomBaseInfo.h"

// The largest offset four digits hold: text + link may be at most this long.
constexpr size_t kMaxRoomNoticeOffset = 9999;

// False (out untouched) when text + link do not fit the four digits; nothing is ever cut.
bool FormatRoomNotice(const RoomNoticeInfo& notice, std::string& out);
