// The one open room of the process: the room logic, the room window (through IRoomUI), the room's
// heartbeat, and every room-related reply of the room service.
//
// Threads: Init, ExpectEnter, OnNotifyRoom, DealNotifyCreateRoom, DealNotifyRemoveRoom, RemoveAll, DelFavRoom
// and ActivateRoomWnd on the UI thread; OnZQMessageNotify and its handlers on the request worker (with the
// worker's listener lock held). Entering (enter-room reply), reconnecting (chat-signature reply) and
// closing run under lifecycleLock_, so they never interleave; no handler waits on the UI thread. The room
// window itself is closed after lifecycleLock_ is left (its dialogs take the worker's listener lock).
// currentRoom_ is atomic: replies for a room that is no longer the current one are ignored where they
// would start or change something for it.
//
// Switching rooms: the open room stays while another room's enter request is out. When the service lets
// the user in, the new room becomes the current one at once and its window opens on the enter result, which
// closes the old room then. A close (code 1, RemoveAll) before that result cancels the switch: every room
// the service let the user into is left, and the enter result, or an answer that comes later, opens nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "MsgClientThread.h"
#include "RoomLogic.h"
#include "RoomNotify.h"
#include "RoomUI.h"
#include "ThreadAnnotations.h"

class CZQEnterRoomMsg;
class CZQGetChatSigMsg;
class CZQHeartBeatMsg;

class CRoomManager : public CZQEventListener {
public:
    // `roomUI` is the room window object (owned by the caller, outliving this object); `client` as for
    // CRoomLogic.
    explicit CRoomManager(IRoomUI* roomUI, std::unique_ptr<CPingla> client = nullptr);
    ~CRoomManager() override;
    CRoomManager(const CRoomManager&) = delete;
    CRoomManager& operator=(const CRoomManager&) = delete;

    bool Init(HWND parent);
    // The frame's enter request for `room` is out (UI thread, before it is sent): only its success answer
    // enters a room, unless a close comes first.
    void ExpectEnter(uint32_t room) { asked_ = room; }
    // The frame's calls (virtual so that tests can watch them).
    virtual void ActivateRoomWnd();
    // Every WM_ROOM_NOTIFY of the frame, after its own handling: code 0 takes the EnterRoomResult of lParam
    // (and frees it); code 1 closes the room; any other code does nothing (its record stays the caller's).
    virtual void OnNotifyRoom(int code, LPARAM lParam);
    void DealNotifyCreateRoom(EnterRoomResult* result);
    void DealNotifyRemoveRoom();
    // The room whose window still shows after another room was entered: left at the service, its window
    // closed, its record removed (the room logic already serves the new room).
    void CloseLeftRoom(uint32_t room);
    // Closes the open room and tells the service.
    virtual void RemoveAll();
    // Around a reload of the gift catalogue (false before, true after) and after a reload of the emoticons:
    // handed to the room window's gift column and emoticon picker while a room window exists.
    virtual void OnGiftResourceUpdate(bool reloaded);
    virtual void ReloadFaces();
    // The emoticon picker of the room window, made at the program's start and gone at its end.
    void CreateFacePicker();
    void DestroyFacePicker();
    void DelFavRoom(uint32_t roomId);

    void OnZQMessageNotify(CZQMessage* msg, CZQEventSource* source) override;

    CRoomLogic& Logic() { return logic_; }
    uint32_t CurrentRoom() const { return currentRoom_; }
    // The room window's handle; null while no room window exists.
    HWND GetRoomWnd() const { return RoomHwnd(); }

    // The failure line "<operation>失败(<status text>)[,<hint>]" as code 42 (markup: the status text escaped).
    void ShowHttpError(const std::string& operation, const std::string& statusText, const std::string& hint);
    static std::string FormatHttpError(const std::string& operation, const std::string& statusText,
                                       const std::string& hint);
    bool PostSysText(const std::string& text);

private:
    void DealHttpEnterRoom(CZQEnterRoomMsg* msg);
    void DealHttpGetChatSig(CZQGetChatSigMsg* msg);
    void DealHeartBeatMsgResp(CZQHeartBeatMsg* msg);
    void FillEnterRoomGiftShow(CZQEnterRoomMsg* msg);
    bool DispatchReply(CZQMessage* msg);  // false: no room reply
    void CoinUpdate(int64_t xiubi, uint32_t xiubiver);
    bool IsCurrent(int roomCtx) const;
    HWND RoomHwnd() const;
    bool PostChatLine(std::string html);
    // Tells the service that the user leaves `room` (nothing for room 0).
    static void PostExitRoom(uint32_t room, const std::string& chatId);

    std::atomic<uint32_t> currentRoom_{0};
    std::atomic<uint32_t> asked_{0};  // the room whose enter request is out; 0 when none (or cancelled)
    CRoomLogic logic_;
    IRoomUI* roomUI_;
    std::atomic<HWND> parent_{nullptr};
    // Recursive: the room window may call back while it closes. It orders whole sequences (enter, reconnect,
    // close) rather than guarding fields, so nothing carries GUARDED_BY(lifecycleLock_).
    varnet::RecursiveMutex lifecycleLock_;
    bool listening_ = false;
};
