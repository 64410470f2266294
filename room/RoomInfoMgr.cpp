#include "RoomInfoMgr.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "GlobalData.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

constexpr const char* kLog = "RoomManager.txt";
constexpr int kRead = CReadWriteLock::LOCK_READ;
constexpr int kWrite = CReadWriteLock::LOCK_WRITE;

// LockRoom sections this thread holds.
thread_local int tSections = 0;

bool ChecksOn() {
#if !defined(NDEBUG)
    return true;
#else
    static const bool on = [] {
        const char* v = std::getenv("VARNET_THREAD_CHECKS");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    return on;
#endif
}

// A store call inside a section may wait for the store lock behind a writer that waits for the section's room.
void AssertNoSection(const char* who) {
    if (tSections > 0 && ChecksOn()) {
        std::fprintf(stderr, "CRoomInfoMgr::%s called inside a room section\n", who);
        std::abort();
    }
}

}  // namespace

CRoomInfoMgr& CRoomInfoMgr::GetInstance() {
    static CRoomInfoMgr store;
    return store;
}

CRoomInfoMgr::~CRoomInfoMgr() {
    CLockObject g(&storeLock_, kWrite);
    rooms_.clear();
}

template <class R, class Op>
R CRoomInfoMgr::WithRoom(uint32_t roomId, R absent, Op op) {
    AssertNoSection("store call");
    CLockObject g(&storeLock_, kRead);
    auto it = rooms_.find(roomId);
    if (it == rooms_.end()) return absent;
    return op(*it->second);
}

int CRoomInfoMgr::InsertRoom(uint32_t roomId, const ChatServerInfo& chat) {
    PJ_Log(kLog, LOG_INFO, "CRoomInfoMgr::InsertRoom", "新建房间存储结构");
    AssertNoSection("InsertRoom");
    CLockObject g(&storeLock_, kWrite);
    if (rooms_.count(roomId)) {
        PJ_Log(kLog, LOG_FAILURE, "CRoomInfoMgr::InsertRoom", "新建房间信息时发现已经存在");
        return 0;
    }
    rooms_[roomId] = std::make_unique<CRoomBaseInfo>(chat);
    return 1;
}

void CRoomInfoMgr::RemoveRoom(uint32_t roomId) {
    AssertNoSection("RemoveRoom");
    std::unique_ptr<CRoomBaseInfo> room;
    {
        CLockObject g(&storeLock_, kWrite);
        auto it = rooms_.find(roomId);
        if (it == rooms_.end()) return;
        room = std::move(it->second);
        rooms_.erase(it);
    }
    // Out of the map, so nobody new can reach it: wait for the sections and operations still on it.
    room->lock.Lock(kWrite);
    room->lock.Unlock();
}

int CRoomInfoMgr::AddRoomUser(uint32_t roomId, const RoomUserInfo& user) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.AddUser(user); });
}

int CRoomInfoMgr::SetRoomUserList(uint32_t roomId, const RoomUserMap& users) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.SetUserList(users); });
}

int CRoomInfoMgr::SetRoomUserList(uint32_t roomId, const RoomUserPtrMap& users) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.SetUserList(users); });
}

int CRoomInfoMgr::RemoveRoomUser(uint32_t roomId, uint32_t uid) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.RemoveUser(uid); });
}

bool CRoomInfoMgr::GetRoomUser(uint32_t roomId, uint32_t uid, RoomUserInfo& out) {
    return WithRoom(roomId, false, [&](CRoomBaseInfo& r) { return r.GetUser(uid, out); });
}

bool CRoomInfoMgr::GetRoomUserByBeautyID(uint32_t roomId, uint32_t beautyId, RoomUserInfo& out) {
    return WithRoom(roomId, false, [&](CRoomBaseInfo& r) { return r.GetUserByBeautyID(beautyId, out); });
}

RoomUserInfo CRoomInfoMgr::GetChatSender(uint32_t roomId, uint32_t uid, const std::string& frameName) {
    RoomUserInfo user;
    if (GetRoomUser(roomId, uid, user)) return user;
    user = RoomUserInfo();
    user.uid = uid;
    std::string name = UrlEncode::Decode(frameName);
    if (name.size() > 256) name.resize(256);
    const size_t open = name.rfind('(');
    const size_t digits = open == std::string::npos ? 0 : name.size() - open - 2;
    if (open != std::string::npos && open > 0 && digits >= 1 && digits <= 10 && name.back() == ')' &&
        name.find_first_not_of("0123456789", open + 1) == name.size() - 1) {
        const unsigned long long id = std::strtoull(name.c_str() + open + 1, nullptr, 10);
        if (id <= 0xFFFFFFFFull) {
            user.beautyid = uint32_t(id);
            name.resize(open);
        }
    }
    user.nickname = name;
    return user;
}

bool CRoomInfoMgr::UpdateRoomUser(uint32_t roomId, const RoomUserInfo& user) {
    return WithRoom(roomId, false, [&](CRoomBaseInfo& r) { return r.UpdateUser(user); });
}

CRoomBaseInfo* CRoomInfoMgr::LockRoom(uint32_t roomId, int mode) {
    if (mode != kRead && mode != kWrite) return nullptr;
    CRoomBaseInfo* held = WithRoom(roomId, static_cast<CRoomBaseInfo*>(nullptr), [&](CRoomBaseInfo& r) {
        r.lock.Lock(mode);
        // Registered while the store lock is still held, so a removal cannot slip in between.
        varnet::MutexLock g(sectionMutex_);
        sections_.push_back({roomId, std::this_thread::get_id(), &r});
        return &r;
    });
    if (held) ++tSections;
    return held;
}

int CRoomInfoMgr::UnlockRoom(uint32_t roomId) {
    CRoomBaseInfo* room = nullptr;
    {
        varnet::MutexLock g(sectionMutex_);
        const std::thread::id self = std::this_thread::get_id();
        for (auto it = sections_.rbegin(); it != sections_.rend(); ++it) {
            if (it->roomId == roomId && it->thread == self) {
                room = it->room;
                sections_.erase(std::next(it).base());
                break;
            }
        }
    }
    if (!room) {
        PJ_Log(kLog, LOG_IMPOSSIBLE, "CRoomInfoMgr::UnlockRoom", "no section open on room %u", roomId);
        return 0;
    }
    --tSections;
    // A removal may be waiting for this: the record is not touched after the release.
    room->lock.Unlock();
    return 1;
}

uint32_t CRoomInfoMgr::GetChatJoinID(uint32_t roomId) {
    return WithRoom(roomId, 0u, [&](CRoomBaseInfo& r) { return r.GetChatJoinID(); });
}

std::string CRoomInfoMgr::GetUserChatID(uint32_t roomId, uint32_t uid) {
    return WithRoom(roomId, std::string(), [&](CRoomBaseInfo& r) { return r.GetUserChatID(uid); });
}

int CRoomInfoMgr::CountMicUsers(uint32_t roomId, bool flag) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.CountMicUsers(flag); });
}

bool CRoomInfoMgr::SetUserMicState(uint32_t roomId, uint32_t uid, uint32_t state) {
    return WithRoom(roomId, false, [&](CRoomBaseInfo& r) { return r.SetUserMicState(uid, state); });
}

uint32_t CRoomInfoMgr::GetUserMicState(uint32_t roomId, uint32_t uid) {
    return WithRoom(roomId, 0u, [&](CRoomBaseInfo& r) { return r.GetUserMicState(uid); });
}

int CRoomInfoMgr::AddGiftRecord(uint32_t roomId, const RoomGiftRecord& record) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.AddGiftRecord(record); });
}

int CRoomInfoMgr::GetSentGiftRecords(uint32_t roomId, std::vector<RoomGiftRecord>& out) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.GetSentGiftRecords(out); });
}

int CRoomInfoMgr::GetRecvGiftRecords(uint32_t roomId, std::vector<RoomGiftRecord>& out) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.GetRecvGiftRecords(out); });
}

int CRoomInfoMgr::SetUserRole(uint32_t roomId, uint32_t uid, uint32_t role) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.SetUserRole(uid, role); });
}

uint32_t CRoomInfoMgr::GetUserRole(uint32_t roomId, uint32_t uid) {
    return WithRoom(roomId, 0u, [&](CRoomBaseInfo& r) { return r.GetUserRole(uid); });
}

uint32_t CRoomInfoMgr::IsUserHide(uint32_t roomId, uint32_t uid) {
    return WithRoom(roomId, 0u, [&](CRoomBaseInfo& r) { return r.IsUserHide(uid); });
}

int CRoomInfoMgr::SetUserMuteState(uint32_t roomId, uint32_t uid, uint32_t state) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.SetUserMuteState(uid, state); });
}

uint32_t CRoomInfoMgr::GetUserMuteState(uint32_t roomId, uint32_t uid) {
    return WithRoom(roomId, 255u, [&](CRoomBaseInfo& r) { return r.GetUserMuteState(uid); });
}

int CRoomInfoMgr::SetUserTag(uint32_t roomId, uint32_t uid, uint32_t tagId) {
    return WithRoom(roomId, 0, [&](CRoomBaseInfo& r) { return r.SetUserTag(uid, tagId); });
}

bool CRoomInfoMgr::HasUser(uint32_t roomId, uint32_t uid) {
    return WithRoom(roomId, false, [&](CRoomBaseInfo& r) { return r.HasUser(uid); });
}

uint32_t CRoomInfoMgr::GetMyMuteFlag(uint32_t roomId) {
    return WithRoom(roomId, 0u, [](CRoomBaseInfo& r) {
        CLockObject g(&r.lock, kRead);
        return r.myMuteFlag;
    });
}

void CRoomInfoMgr::UpdateFavFlag(uint32_t roomId, uint32_t flag) {
    WithRoom(roomId, 0, [&](CRoomBaseInfo& r) {
        CLockObject g(&r.lock, kWrite);
        r.favFlag = flag;
        return 0;
    });
}

int CRoomInfoMgr::ClearFavFlag(uint32_t roomId) {
    return WithRoom(roomId, 0, [](CRoomBaseInfo& r) {
        CLockObject g(&r.lock, kWrite);
        r.favFlag = 0;
        return 1;
    });
}

uint32_t CRoomInfoMgr::GetFavFlag(uint32_t roomId) {
    return WithRoom(roomId, 0u, [](CRoomBaseInfo& r) {
        CLockObject g(&r.lock, kRead);
        return r.favFlag;
    });
}

void CRoomInfoMgr::SetRoomName(uint32_t roomId, const std::string& name) {
    if (name.empty()) return;
    WithRoom(roomId, 0, [&](CRoomBaseInfo& r) {
        CLockObject g(&r.lock, kWrite);
        r.name = name;
        return 0;
    });
}

std::string CRoomInfoMgr::GetRoomName(uint32_t roomId) {
    return WithRoom(roomId, std::string(), [](CRoomBaseInfo& r) {
        CLockObject g(&r.lock, kRead);
        return r.name;
    });
}

void CRoomInfoMgr::SetRoomNotice(uint32_t roomId, const std::string& text, int type) {
    if (text.empty() || type < 1 || type > 5) return;
    WithRoom(roomId, 0, [&](CRoomBaseInfo& r) {
        CLockObject g(&r.lock, kWrite);
        r.msg[type - 1] = text;
        return 0;
    });
}

std::string CRoomInfoMgr::GetRoomNoticeHtml(uint32_t roomId, int type) {
    return WithRoom(roomId, std::string(), [&](CRoomBaseInfo& r) { return r.GetRoomNoticeHtml(type); });
}

std::string CRoomInfoMgr::GetRoomPassword(uint32_t roomId) {
    return WithRoom(roomId, std::string(), [](CRoomBaseInfo& r) {
        CLockObject g(&r.lock, kRead);
        return r.password;
    });
}

bool CRoomInfoMgr::IsSetWelWordSelf(uint32_t roomId) {
    bool found = false;
    bool self = WithRoom(roomId, false, [&](CRoomBaseInfo& r) {
        found = true;
        return r.IsSetWelWordSelf();
    });
    if (!found) PJ_Log(kLog, LOG_IMPOSSIBLE, "CRoomInfoMgr::IsSetWelWordSelf", "查找房间结构失败");
    return self;
}

bool CRoomInfoMgr::IsWelWordCoundFull(uint32_t roomId) {
    bool found = false;
    bool full = WithRoom(roomId, true, [&](CRoomBaseInfo& r) {
        found = true;
        return r.IsWelWordCoundFull();
    });
    if (!found) PJ_Log(kLog, LOG_IMPOSSIBLE, "CRoomInfoMgr::IsWelWordCoundFull", "查找房间结构失败");
    return full;
}

void CRoomInfoMgr::UpdateWelWordUserID(uint32_t roomId, const std::vector<uint32_t>& uids) {
    bool found = WithRoom(roomId, false, [&](CRoomBaseInfo& r) {
        r.SetWelWordUsers(uids);
        return true;
    });
    if (!found) PJ_Log(kLog, LOG_IMPOSSIBLE, "CRoomInfoMgr::UpdateWelWordUserID", "查找房间结构失败");
}

int CRoomInfoMgr::CanSetWelWord(uint32_t roomId) {
    CGlobalDataApp& state = CGlobalDataApp::GetInstance();
    const uint32_t role = GetUserRole(roomId, state.GetUid());
    const uint32_t level = state.GetLevel();
    return role >= 20 && role <= 40 && level >= 400 && level <= 900 ? 1 : 0;
}
