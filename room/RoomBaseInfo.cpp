#include "RoomBaseInfo.h"

#include <algorithm>
#include <cctype>
#include <new>

#include "ChatHtml.h"
#include "GlobalData.h"
#include "Win32Sync.h"

namespace {

using Guard = CLockObject;
constexpr int kRead = CReadWriteLock::LOCK_READ;
constexpr int kWrite = CReadWriteLock::LOCK_WRITE;

uint32_t SelfUid() {
    return CGlobalDataApp::GetInstance().GetUid();
}

// body[start, end) with both clamped to the body; an end before the start runs to the end of the body.
std::string Piece(const std::string& body, long start, long end) {
    const long size = static_cast<long>(body.size());
    start = std::clamp(start, 0L, size);
    if (end < start) end = size;
    end = std::min(end, size);
    return body.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

}  // namespace

int ReadNoticeField(const std::string& s, size_t pos) {
    size_t i = pos, end = std::min(s.size(), pos + 4);
    while (i < end && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < end && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int value = 0;
    for (; i < end && s[i] >= '0' && s[i] <= '9'; ++i) value = value * 10 + (s[i] - '0');
    return negative ? -value : value;
}

bool ParseRoomNotice(const std::string& stored, RoomNoticeInfo& out) {
    out = RoomNoticeInfo();
    if (stored.size() <= 8) return false;
    const long size = static_cast<long>(stored.size());
    const long length = ReadNoticeField(stored, 0);
    const long position = ReadNoticeField(stored, 4);
    if (length < 0 || length > size) return false;
    if (position >= 0 && position <= size) {
        const std::string body = stored.substr(8);
        out.text = Piece(body, 0, length);
        out.link = Piece(body, length, position);
        out.picture = Piece(body, position, size);
    } else {
        const std::string body = stored.substr(4);
        out.text = Piece(body, 0, length);
        out.link = Piece(body, length, size);
    }
    return true;
}

CRoomBaseInfo::~CRoomBaseInfo() {
    ClearUsers();
}

int CRoomBaseInfo::SetUserList(const RoomUserMap& list) {
    if (list.empty()) return 0;
    Guard g(&lock, kWrite);
    ClearUsers();
    for (const auto& item : list) users[item.second.uid] = item.second;
    return 1;
}

int CRoomBaseInfo::SetUserList(const RoomUserPtrMap& list) {
    if (list.empty()) return 0;
    Guard g(&lock, kWrite);
    ClearUsers();
    for (const auto& item : list)
        if (item.second) users[item.second->uid] = *item.second;
    return 1;
}

int CRoomBaseInfo::AddUser(const RoomUserInfo& user) {
    Guard g(&lock, kWrite);
    users[user.uid] = user;
    return 1;
}

int CRoomBaseInfo::RemoveUser(uint32_t uid) {
    Guard g(&lock, kWrite);
    return users.erase(uid) ? 1 : 0;
}

bool CRoomBaseInfo::GetUser(uint32_t uid, RoomUserInfo& out) {
    Guard g(&lock, kRead);
    auto it = users.find(uid);
    if (it == users.end()) return false;
    out = it->second;
    return true;
}

bool CRoomBaseInfo::GetUserByBeautyID(uint32_t beautyId, RoomUserInfo& out) {
    Guard g(&lock, kRead);
    for (const auto& item : users) {
        if (item.second.beautyid == beautyId) {
            out = item.second;
            return true;
        }
    }
    return false;
}

bool CRoomBaseInfo::UpdateUser(const RoomUserInfo& user) {
    Guard g(&lock, kWrite);
    auto it = users.find(user.uid);
    if (it == users.end()) return false;
    it->second = user;
    return true;
}

std::string CRoomBaseInfo::GetUserChatID(uint32_t uid) {
    Guard g(&lock, kRead);
    auto it = users.find(uid);
    if (it == users.end() || it->second.chatid.empty()) return myChatId;
    return it->second.chatid;
}

int CRoomBaseInfo::SetUserRole(uint32_t uid, uint32_t role) {
    Guard g(&lock, kWrite);
    if (uid == SelfUid()) myRole = role;
    auto it = users.find(uid);
    if (it == users.end()) return 0;
    it->second.role = role;
    return 1;
}

uint32_t CRoomBaseInfo::GetUserRole(uint32_t uid) {
    Guard g(&lock, kRead);
    auto it = users.find(uid);
    if (it != users.end()) return it->second.role;
    return uid == SelfUid() ? myRole : 0;
}

int CRoomBaseInfo::SetUserMuteState(uint32_t uid, uint32_t state) {
    Guard g(&lock, kWrite);
    auto it = users.find(uid);
    if (it == users.end()) return 0;
    it->second.mute = state;
    if (state == 0 || state == 2) it->second.muteTime = GetTickCount();
    return 1;
}

uint32_t CRoomBaseInfo::GetUserMuteState(uint32_t uid) {
    Guard g(&lock, kRead);
    auto it = users.find(uid);
    return it == users.end() ? 255 : it->second.mute;
}

uint32_t CRoomBaseInfo::IsUserHide(uint32_t uid) {
    Guard g(&lock, kRead);
    auto it = users.find(uid);
    return it == users.end() ? 0 : it->second.hide;
}

int CRoomBaseInfo::SetUserTag(uint32_t uid, uint32_t tagId) {
    Guard g(&lock, kWrite);
    auto it = users.find(uid);
    if (it == users.end() || it->second.tagid == tagId) return 0;
    it->second.tagid = tagId;
    return 1;
}

bool CRoomBaseInfo::SetUserMicState(uint32_t uid, uint32_t state) {
    Guard g(&lock, kWrite);
    if (uid == SelfUid()) myMicState = state;
    auto it = users.find(uid);
    if (it == users.end()) return false;
    it->second.mic = state;
    return true;
}

uint32_t CRoomBaseInfo::GetUserMicState(uint32_t uid) {
    Guard g(&lock, kRead);
    auto it = users.find(uid);
    if (it != users.end()) return it->second.mic;
    return uid == SelfUid() ? myMicState : 0;
}

int CRoomBaseInfo::CountMicUsers(bool flag) {
    const uint32_t wanted = flag ? 1 : 2;
    Guard g(&lock, kRead);
    int count = 0;
    for (const auto& item : users)
        if (item.second.mic == wanted) ++count;
    return count;
}

bool CRoomBaseInfo::HasUser(uint32_t uid) {
    Guard g(&lock, kRead);
    return users.count(uid) != 0;
}

void CRoomBaseInfo::ClearUsers() {
    users.clear();
}

int CRoomBaseInfo::AddGiftRecord(const RoomGiftRecord& record) {
    Guard g(&lock, kWrite);
    try {
        giftRecords.push_back(record);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int CRoomBaseInfo::CopyGiftRecords(int kind, std::vector<RoomGiftRecord>& out) {
    out.clear();
    Guard g(&lock, kRead);
    for (const RoomGiftRecord& record : giftRecords)
        if (record.kind == kind) out.push_back(record);
    return 1;
}

int CRoomBaseInfo::GetSentGiftRecords(std::vector<RoomGiftRecord>& out) {
    return CopyGiftRecords(1, out);
}

int CRoomBaseInfo::GetRecvGiftRecords(std::vector<RoomGiftRecord>& out) {
    return CopyGiftRecords(2, out);
}

uint32_t CRoomBaseInfo::GetChatJoinID() {
    Guard g(&lock, kRead);
    return chatServer.joinId;
}

std::string CRoomBaseInfo::GetRoomNoticeHtml(int type) {
    if (type < 1 || type > 5) return std::string();
    RoomNoticeInfo notice;
    {
        Guard g(&lock, kRead);
        if (!ParseRoomNotice(msg[type - 1], notice)) return std::string();
    }
    return BuildLinkNoticeHtml(notice);
}

void CRoomBaseInfo::SetWelWordUsers(const std::vector<uint32_t>& uids) {
    Guard g(&lock, kWrite);
    welWordUsers.clear();
    welWordUsers.insert(uids.begin(), uids.end());
}

bool CRoomBaseInfo::IsSetWelWordSelf() {
    const uint32_t self = SelfUid();
    Guard g(&lock, kRead);
    return welWordUsers.count(self) != 0;
}

bool CRoomBaseInfo::IsWelWordCoundFull() {
    Guard g(&lock, kRead);
    return welWordUsers.size() > 2;
}
