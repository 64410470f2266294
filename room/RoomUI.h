// The contract between the room logic and the room window: what the window offers the logic (IRoomUI and
// its columns) and what the logic offers the window (IRoomLogic).
//
// Threads:
// - IRoomUI::GetHWND, GetRoomID, GetDealUI, IsIconic and IsForeground are called from any thread (the chat client's receive thread,
//   the detection thread, the request worker); the window answers them without waiting on the UI thread.
// - IRoomCenterUI's banner accessors and IsChatViewReady are called from the detection thread while the UI
//   thread changes the banner: the window keeps that state atomic or under a lock of its own.
// - Everything else of IRoomUI, IRoomLeftUI and IRoomCenterUI, and every IRoomLogic operation, runs on the
//   UI thread.
// Messages to the window go as WM_ROOM_NOTIFY to GetHWND() (RoomNotify.h), never as calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RoomRecords.h"
#include "Win32Types.h"

class IRoomUI;

class IRoomLogic {
public:
    virtual ~IRoomLogic() = default;
    virtual IRoomUI* GetRoomUI() = 0;
    virtual uint32_t GetRoomID() = 0;
    virtual std::string GetMyChatID() = 0;
    // Target 0 = none. True when handed to the chat connection (or nothing to send); false with a tip line
    // when the chat is not connected.
    virtual bool SendChatMsg(uint32_t targetUid, const std::string& text, bool isPublic) = 0;
    // Posts the close notification of this room to the main frame.
    virtual bool CloseRoom() = 0;
    virtual bool IsUserInRoom(uint32_t uid) = 0;
    virtual void SetShieldBrushGift(bool shield) = 0;
    virtual void UnInit() = 0;
    virtual bool IsChatReady() = 0;
    // Ask the main frame to log in (then enter again) or to register.
    virtual bool RequestLogin(IRoomUI* ui = nullptr) = 0;
    virtual bool RequestRegister(IRoomUI* ui = nullptr) = 0;
};

// A column of the room window.
class IRoomDealUI {
public:
    virtual ~IRoomDealUI() = default;
};

// Kind 0: the microphone column.
class IRoomLeftUI : public IRoomDealUI {
public:
    virtual void UpdateMicList(const MicUserMap& mics) = 0;
    // Closes the private microphone window showing that user.
    virtual void FindPrivateMic(uint32_t uid) { (void)uid; }
};

// Kind 1: the chat column.
// A whisper that came before the room window was there: its sender and its text (decoded, not yet checked).
struct PendingPrivateMsg {
    uint32_t senderUid = 0;
    std::string text;
    std::string senderName;  // as the chat frame carries it (URL-encoded)
};

class IRoomCenterUI : public IRoomDealUI {
public:
    // Banner (any thread, see above).
    virtual uint32_t GetGiftBannerPriority() = 0;
    virtual uint32_t GetGiftBannerElapsed() = 0;  // ms since the banner started its item
    virtual bool IsGiftBannerIdle() = 0;
    virtual int GetGiftBannerSpeed() = 0;  // 1..3, 3 the fastest
    virtual void SetGiftBannerSpeed(int mode) = 0;
    // The chat views are ready to take paced gift and cheque lines (any thread).
    virtual bool IsChatViewReady() = 0;
    // UI thread.
    virtual void SetMyEnterShowText(std::string text) = 0;
    virtual void SetWelWordUsers(const std::vector<uint32_t>& uids) = 0;
    // Whispers to show once the own view and the user list are there (replaces the list).
    virtual void SetPendingPrivateMsgs(std::vector<PendingPrivateMsg> msgs) = 0;
};

// Kind 2: the user-list column.
class IRoomRightUI : public IRoomDealUI {
public:
    // UI thread. The user becomes the gift target; the lists show the user's row.
    virtual void SelectGiftTarget(uint32_t uid) { (void)uid; }
    virtual void LocateUser(uint32_t uid) { (void)uid; }
    // The stamp popup for the user.
    virtual void OpenStampDialog(uint32_t uid) { (void)uid; }
};

class IRoomUI {
public:
    virtual ~IRoomUI() = default;
    // Null before the window exists and after it is closed.
    virtual HWND GetHWND() = 0;
    virtual uint32_t GetRoomID() = 0;
    virtual void SetRoomID(uint32_t roomId) = 0;
    virtual IRoomLogic* GetRoomLogic() = 0;
    virtual void SetRoomLogic(IRoomLogic* logic) = 0;
    // Kind 0 IRoomLeftUI, 1 IRoomCenterUI, 2 IRoomRightUI; false and null for another kind.
    virtual bool GetDealUI(int kind, IRoomDealUI** out) = 0;

    // Window lifecycle (UI thread): creates the top-level window (no owner, the title, 1024 x 775, styles
    // 0x10CF0000 / 0x60000), centres and shows it; false when it cannot be created.
    virtual bool CreateRoomWindow(const std::string& title) = 0;
    // Sends WM_CLOSE to the window and returns when it has been handled.
    virtual void CloseRoomWindow() = 0;
    virtual bool IsWindowVisible() = 0;
    virtual bool IsIconic() = 0;
    // Restores a minimised window maximised; brings the window and its last active popup to the front.
    virtual void RestoreMaximized() = 0;
    virtual void BringToFront() = 0;
    // True when the window is the desktop's active window.
    virtual bool IsForeground() = 0;
    // Around a reload of the gift catalogue (UI thread): false before, true after.
    virtual void OnGiftResourceUpdate(bool after) { (void)after; }
    // The emoticon picker (UI thread; windows without one ignore these): made at the program's start,
    // rebuilt after the emoticon catalogue was reloaded, its loader stopped and its window gone at the end.
    virtual void CreateFacePicker() {}
    virtual void ReloadFaces() {}
    virtual void DestroyFacePicker() {}
};

// The column of `kind` as its type, or null.
template <class T>
T* GetRoomDealUI(IRoomUI* ui, int kind) {
    IRoomDealUI* deal = nullptr;
    if (!ui || !ui->GetDealUI(kind, &deal) || !deal) return nullptr;
    return dynamic_cast<T*>(deal);
}
