// One open room: its users, chat-server login data, texts, the signed-in user's own state in the room, the
// welcome-word users and the gifts sent and received during the visit.
//
// Threads: any. Every operation holds `lock` for its whole run (shared for readers, exclusive for writers).
// Only the room store (CRoomInfoMgr) creates and destroys records. Code that holds a record through the
// store's hand-out (CRoomInfoMgr::LockRoom) reads or writes the public fields directly under that lock and
// must not call operations of the same record meanwhile (the lock is not re-entrant: a nested shared lock
// deadlocks as soon as a writer waits). The fields are GUARDED_BY(lock); the analysis does not follow a lock
// held from LockRoom to UnlockRoom, so such a section starts with lock.AssertHeld().
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Lock.h"
#include "RoomRecords.h"

// One gift or stamp the signed-in user sent or received in the room (a value record).
struct RoomGiftRecord {
    int kind = -1;           // 1 sent by the signed-in user, 2 received by him
    std::string itemText;    // the gift's or stamp's display text
    std::string otherParty;  // nickname of the receiver (sent) or of the sender (received)
    uint32_t unitPrice = 0;
    uint32_t count = 0;       // 1 for a stamp
    uint32_t receiverId = 0;  // set on sent records
    uint32_t itemId = 0;      // gift or stamp id
    uint32_t extra = 0;       // set by the gift-notice handler on received records
};

using RoomUserMap = std::map<uint32_t, RoomUserInfo>;
// The shape the user-list reply hands over.
using RoomUserPtrMap = std::map<uint32_t, std::unique_ptr<RoomUserInfo>>;

// A room notice split into its three pieces.
struct RoomNoticeInfo {
    std::string text;
    std::string link;
    std::string picture;
};

class CRoomBaseInfo {
public:
    CRoomBaseInfo() = default;
    explicit CRoomBaseInfo(const ChatServerInfo& chat) : chatServer(chat) {}
    virtual ~CRoomBaseInfo();
    CRoomBaseInfo(const CRoomBaseInfo&) = delete;
    CRoomBaseInfo& operator=(const CRoomBaseInfo&) = delete;

    // Users. A user is stored under its own uid whatever key it came with.
    int SetUserList(const RoomUserMap& users);  // 0 for an empty list (users kept), else 1
    int SetUserList(const RoomUserPtrMap& users);
    int AddUser(const RoomUserInfo& user);  // insert or overwrite; 1
    int RemoveUser(uint32_t uid);           // 1, or 0 when absent
    bool GetUser(uint32_t uid, RoomUserInfo& out);
    // The user with the smallest uid among those with this display id.
    bool GetUserByBeautyID(uint32_t beautyId, RoomUserInfo& out);
    bool UpdateUser(const RoomUserInfo& user);  // existing users only
    // The user's chat id; my chat id when the user is absent or has none.
    std::string GetUserChatID(uint32_t uid);
    // For the signed-in user the own role / microphone state is set as well, also when he is not listed.
    int SetUserRole(uint32_t uid, uint32_t role);
    // Absent: my role for the signed-in user, else 0.
    uint32_t GetUserRole(uint32_t uid);
    // States 0 and 2 also stamp the tick count into muteTime.
    int SetUserMuteState(uint32_t uid, uint32_t state);
    uint32_t GetUserMuteState(uint32_t uid);  // 255 when absent
    uint32_t IsUserHide(uint32_t uid);
    int SetUserTag(uint32_t uid, uint32_t tagId);  // 1 only when the stamp changed
    bool SetUserMicState(uint32_t uid, uint32_t state);
    uint32_t GetUserMicState(uint32_t uid);  // absent: my state for the signed-in user, else 0
    // Users in microphone state 1 (flag true) or 2 (flag false).
    int CountMicUsers(bool flag);
    bool HasUser(uint32_t uid);
    // Deletes every user; the caller holds `lock` exclusive.
    void ClearUsers() REQUIRES(lock);

    // Gift and stamp history.
    int AddGiftRecord(const RoomGiftRecord& record);  // 1, 0 when out of memory
    int GetSentGiftRecords(std::vector<RoomGiftRecord>& out);
    int GetRecvGiftRecords(std::vector<RoomGiftRecord>& out);

    uint32_t GetChatJoinID();
    // Chat-pane HTML of notice `type` (1..5); "" for other types and unusable texts.
    std::string GetRoomNoticeHtml(int type);

    void SetWelWordUsers(const std::vector<uint32_t>& uids);
    bool IsSetWelWordSelf();
    bool IsWelWordCoundFull();  // 3 or more users

    // Guards every field below.
    CReadWriteLock lock;

    RoomUserMap users GUARDED_BY(lock);
    ChatServerInfo chatServer GUARDED_BY(lock);                // copied in at creation
    std::vector<RoomGiftRecord> giftRecords GUARDED_BY(lock);  // arrival order, no limit
    std::string logo GUARDED_BY(lock);
    std::string password GUARDED_BY(lock);
    std::string name GUARDED_BY(lock);
    std::string msg[5] GUARDED_BY(lock);  // notices 1..5 in their stored form
    std::string myChatId GUARDED_BY(lock);
    uint32_t myMuteFlag GUARDED_BY(lock) = 0;
    uint32_t favFlag GUARDED_BY(lock) = 0;
    uint32_t myRole GUARDED_BY(lock) = 0;
    uint32_t myMicState GUARDED_BY(lock) = 0;
    std::set<uint32_t> welWordUsers GUARDED_BY(lock);

private:
    int CopyGiftRecords(int kind, std::vector<RoomGiftRecord>& out);
};

// The stored notice form: four digits L, four digits P, then the body; text = body[0, L), link =
// body[L, P), picture = body[P, end). Positions are clamped to the body. A P outside 0..size marks the older
// form "%04d" + text + link, read from offset 4 with an empty picture. False when the text holds no notice.
bool ParseRoomNotice(const std::string& stored, RoomNoticeInfo& out);
// One four-character length field of the stored form at `pos`, read as atoi reads it: leading blanks, a sign,
// digits up to the first other character; what lies past the text counts as absent.
int ReadNoticeField(const std::string& stored, size_t pos);
