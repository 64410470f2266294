// Value records of what the room service says about people, microphones, streams, gifts, welcome words and
// the chat server. Texts are GBK.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct RoomUserInfo {
    uint32_t uid = 0;
    uint32_t beautyid = 0;
    std::string nickname;
    uint32_t level = 0;
    uint32_t photoid = 0;
    uint32_t hide = 0;
    std::string chatid;
    uint32_t role = 0;
    uint32_t camera = 0;
    uint32_t mic = 0;
    uint32_t mute = 0;
    uint32_t muteTime = 0;  // filled by the room logic, never by a reply
    uint32_t tagid = 0;
};

struct LiveStreamInfo {
    uint32_t micattr = 0;
    int live = 0;     // 1 when the reply's "type" is 1
    std::string url;  // the complete connection text
    int publish = 1;  // 1 when the reply's "op" is "publish" (or absent)
    uint32_t idx = 0;
};

struct MicUserInfo {
    LiveStreamInfo stream;
    RoomUserInfo user;
};

using MicUserMap = std::map<uint32_t, MicUserInfo>;

struct GiftHistoryInfo {
    RoomUserInfo sender;
    RoomUserInfo receiver;
    uint32_t gid = 0;
    uint32_t cnt = 0;
    uint32_t hiscnt = 0;
    uint32_t tm = 0;
};

struct WelcomeWordInfo {
    uint32_t uid = 0;
    std::string word;
};

struct ChatServerInfo {
    std::string ip;
    uint32_t port = 0;
    uint32_t tm = 0;
    uint32_t loginId = 0;
    uint32_t loginSig = 0;
    uint32_t joinId = 0;
    uint32_t joinSig = 0;
    std::string chatname;
};
