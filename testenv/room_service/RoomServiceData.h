// What the local room service holds: accounts, sessions, rooms, microphones, gifts and balances.
// Guarded by RoomService's data lock.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testenv {

struct SvcUser {
    uint32_t uid = 0;
    uint32_t sid = 0;            // current session, 0 = signed out
    std::string name, password;  // GBK
    std::string nickname;
    uint32_t beautyid = 0, level = 1, photoid = 31000, sex = 0, attr = 0;
    std::string prov, city, birth;
    uint64_t xiubi = 0, zebin = 0, upgradeleft = 0;
    uint32_t xiubiver = 1, zebinver = 1;
    std::string chatid;
    bool guest = false;
};

struct SvcMic {
    uint32_t idx = 0;
    uint32_t attr = 0;
    std::string op = "publish";
    uint32_t type = 1;  // 1 a public microphone, 2 a private one
};

struct SvcGift {
    uint32_t gid = 0, from = 0, to = 0, cnt = 0, tm = 0;
};

struct SvcRoom {
    int rid = 0;
    std::string name, pwd;
    int logo = 0, maxcnt = 100;
    std::string msg[5];
    std::set<uint32_t> users;
    std::map<uint32_t, SvcMic> mics;  // holder uid -> mic
    std::set<uint32_t> black, muted;
    std::map<uint32_t, uint32_t> roles;       // uid -> role
    std::map<uint32_t, std::string> welcome;  // uid -> word
    std::vector<SvcGift> gifts;
    std::vector<std::string> notices;
    std::set<uint32_t> favouredBy;
    std::map<uint32_t, int> heartbeats;  // uid -> count
};

struct SvcData {
    std::map<uint32_t, SvcUser> users;
    std::map<int, SvcRoom> rooms;
    std::map<uint32_t, uint32_t> giftPrices;                                            // gid -> price
    std::map<uint32_t, uint32_t> tagPrices = {{1, 100}, {2, 200}, {3, 500}, {4, 100}};  // the sample catalogue's
    std::set<uint32_t> luckyGifts = {20001, 20002};  // every third one sent wins ten times its price back
    uint32_t luckySends = 0;
    uint32_t nextUid = 500000;
    uint32_t nextSid = 730001;  // distinctive, so that a test can look for it in logs
    uint32_t onlineCount = 0;
    std::string rtmpBase = "rtmp://127.0.0.1:1935/vstar";  // where the microphones' streams live
    std::string chatIp = "127.0.0.1";                      // the chat server handed out with its signatures
    int chatPort = 0;
};

}  // namespace testenv
