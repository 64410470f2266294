// The process-wide store of open rooms: room id -> CRoomBaseInfo. Every call names the room by id; a room
// that is not open is no error and yields the fixed "absent" value noted beside each operation.
//
// Threads: any (UI thread, request worker, room-logic threads). Lock order: store lock, then one room's lock;
// no operation takes two room locks. Lookups hold the store lock shared; InsertRoom and the erase step of
// RemoveRoom hold it exclusive.
//
// Hand-out: LockRoom returns the record with its own lock held (1 shared, 2 exclusive) and the store lock
// released; the caller reads or writes the record's fields, then calls UnlockRoom with the same id on the
// same thread. Inside a section call no store operation at all, on any room (a lookup waits for the store
// lock behind a writer that may wait for the section's room: a deadlock); debug builds and the tests
// (VARNET_THREAD_CHECKS) abort on such a call. A section may overlap a RemoveRoom on
// another thread: the removal takes the room out of the map at once, then waits for the record's lock before
// it destroys the record, and UnlockRoom releases through the handed-out record without the map. So neither
// side waits for the other's store lock and the holder's record stays valid until it unlocks.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Lock.h"
#include "RoomBaseInfo.h"
#include "ThreadAnnotations.h"

class CRoomInfoMgr {
public:
    static CRoomInfoMgr& GetInstance();

    CRoomInfoMgr() = default;
    ~CRoomInfoMgr();
    CRoomInfoMgr(const CRoomInfoMgr&) = delete;
    CRoomInfoMgr& operator=(const CRoomInfoMgr&) = delete;

    // 1 inserted, 0 already open (the open room is kept as it is).
    int InsertRoom(uint32_t roomId, const ChatServerInfo& chat);
    // Takes the room out of the store and destroys it once no section or operation holds it. Must not be
    // called by a thread that holds a section on this room.
    void RemoveRoom(uint32_t roomId);

    // Operations forwarded to the room's record; the value after "absent:" is returned for a room not open.
    int AddRoomUser(uint32_t roomId, const RoomUserInfo& user);                         // absent: 0
    int SetRoomUserList(uint32_t roomId, const RoomUserMap& users);                     // absent: 0
    int SetRoomUserList(uint32_t roomId, const RoomUserPtrMap& users);                  // absent: 0
    int RemoveRoomUser(uint32_t roomId, uint32_t uid);                                  // absent: 0
    bool GetRoomUser(uint32_t roomId, uint32_t uid, RoomUserInfo& out);                 // absent: false
    bool GetRoomUserByBeautyID(uint32_t roomId, uint32_t beautyId, RoomUserInfo& out);  // absent: false
    // The sender of a chat line: the stored user, or one the store does not know yet with the name the chat
    // frame carries ("nickname(display id)" URL-encoded, or a bare nickname).
    RoomUserInfo GetChatSender(uint32_t roomId, uint32_t uid, const std::string& frameName);
    bool UpdateRoomUser(uint32_t roomId, const RoomUserInfo& user);  // absent: false

    // The record with its lock held in `mode` (1 shared, 2 exclusive), or null (room absent or bad mode;
    // nothing is held then and UnlockRoom is not called). Until UnlockRoom this thread calls no other store
    // operation.
    CRoomBaseInfo* LockRoom(uint32_t roomId, int mode);
    // Releases this thread's latest section on the room: 1, or 0 when it holds none.
    int UnlockRoom(uint32_t roomId);

    uint32_t GetChatJoinID(uint32_t roomId);                                    // absent: 0
    std::string GetUserChatID(uint32_t roomId, uint32_t uid);                   // absent: ""
    int CountMicUsers(uint32_t roomId, bool flag);                              // absent: 0
    bool SetUserMicState(uint32_t roomId, uint32_t uid, uint32_t state);        // absent: 0
    uint32_t GetUserMicState(uint32_t roomId, uint32_t uid);                    // absent: 0
    int AddGiftRecord(uint32_t roomId, const RoomGiftRecord& record);           // absent: 0
    int GetSentGiftRecords(uint32_t roomId, std::vector<RoomGiftRecord>& out);  // absent: 0
    int GetRecvGiftRecords(uint32_t roomId, std::vector<RoomGiftRecord>& out);  // absent: 0
    int SetUserRole(uint32_t roomId, uint32_t uid, uint32_t role);              // absent: 0
    uint32_t GetUserRole(uint32_t roomId, uint32_t uid);                        // absent: 0
    uint32_t IsUserHide(uint32_t roomId, uint32_t uid);                         // absent: 0
    int SetUserMuteState(uint32_t roomId, uint32_t uid, uint32_t state);        // absent: 0
    uint32_t GetUserMuteState(uint32_t roomId, uint32_t uid);                   // absent: 255
    int SetUserTag(uint32_t roomId, uint32_t uid, uint32_t tagId);              // absent: 0
    bool HasUser(uint32_t roomId, uint32_t uid);                                // absent: 0
    uint32_t GetMyMuteFlag(uint32_t roomId);                                    // absent: 0
    void UpdateFavFlag(uint32_t roomId, uint32_t flag);
    int ClearFavFlag(uint32_t roomId);                           // 1; absent: 0
    uint32_t GetFavFlag(uint32_t roomId);                        // absent: 0
    void SetRoomName(uint32_t roomId, const std::string& name);  // an empty name is ignored
    std::string GetRoomName(uint32_t roomId);                    // absent: ""
    // Stores a non-empty text as notice `type` (1..5); other types are ignored.
    void SetRoomNotice(uint32_t roomId, const std::string& text, int type);
    std::string GetRoomNoticeHtml(uint32_t roomId, int type);                      // absent: ""
    std::string GetRoomPassword(uint32_t roomId);                                  // absent: ""
    bool IsSetWelWordSelf(uint32_t roomId);                                        // absent: 0, logged
    bool IsWelWordCoundFull(uint32_t roomId);                                      // absent: 1, logged
    void UpdateWelWordUserID(uint32_t roomId, const std::vector<uint32_t>& uids);  // absent: logged
    // 1 when the signed-in user's role here is 20..40 and his level 400..900.
    int CanSetWelWord(uint32_t roomId);

private:
    struct Section {
        uint32_t roomId;
        std::thread::id thread;
        CRoomBaseInfo* room;
    };

    // Runs `op` on the room under the store lock held shared; `absent` when the room is not open.
    template <class R, class Op>
    R WithRoom(uint32_t roomId, R absent, Op op);

    CReadWriteLock storeLock_ ACQUIRED_BEFORE(sectionMutex_);
    std::map<uint32_t, std::unique_ptr<CRoomBaseInfo>> rooms_ GUARDED_BY(storeLock_);

    varnet::Mutex sectionMutex_;
    std::vector<Section> sections_ GUARDED_BY(sectionMutex_);  // open LockRoom sections
};
