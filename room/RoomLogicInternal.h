// Helpers of the notice handlers (not part of the library's interface).
#pragma once

#include <string>
#include <vector>

#include <json/value.h>

#include "GlobalData.h"
#include "NoticeReader.h"
#include "RoomInfoMgr.h"
#include "ZqLib.h"

namespace roomlogic {

inline const char* kLog = "RoomLogic.txt";

// The member URL-decoded into a buffer of `size` bytes (cut on a whole character).
inline std::string Decoded(const Json::Value& doc, const char* key, int size) {
    std::string in = NoticeText(doc, key);
    std::vector<char> out(size_t(size), 0);
    UrlEncode::DecodeEx(in.c_str(), out.data(), size);
    return std::string(out.data());
}

inline uint32_t U32(const Json::Value& doc, const char* key) {
    return static_cast<uint32_t>(NoticeInt(doc, key));
}

inline uint32_t Me() {
    return CGlobalDataApp::GetInstance().GetUid();
}

// The user's record; when absent a record that holds only the id (found = false).
inline RoomUserInfo UserOrId(uint32_t room, uint32_t uid, bool* found = nullptr) {
    RoomUserInfo user;
    bool ok = CRoomInfoMgr::GetInstance().GetRoomUser(room, uid, user);
    if (!ok) {
        user = RoomUserInfo();
        user.uid = uid;
    }
    if (found) *found = ok;
    return user;
}

inline bool GetUser(uint32_t room, uint32_t uid, RoomUserInfo& out) {
    return CRoomInfoMgr::GetInstance().GetRoomUser(room, uid, out);
}

}  // namespace roomlogic
