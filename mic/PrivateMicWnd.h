// The eight private microphone slots: each performance is shown in a popup of its own over the room
// window (CPrivateMicWnd); CPrivateMicWndMgr makes the windows when a private performance starts and
// applies the room's private microphone events. Threads as in PublicMicWnd.h.
#pragma once

#include "PublicMicWnd.h"

class IPrivateMicWndCallBack {
public:
    virtual ~IPrivateMicWndCallBack() = default;
    virtual void CloseAllPrivateMic() = 0;
};

class CPrivateMicWnd : public CMicSlotWnd {
public:
    CPrivateMicWnd(int index, IPrivateMicWndCallBack* mgr);
    ~CPrivateMicWnd() override;

    void Bind(IRoomUI* room, IMicRoomActions* actions);
    bool HasWindow() const { return m_hWnd != nullptr; }
    // The popup owned by the room window at rc (screen coordinates); false when it cannot be made.
    bool CreateSlot(const DuiLib::RECT& rc);

    void SetMicUser(const RoomUserInfo& user, const std::string& url, uint32_t micattr);
    void ApplyMicAttr(uint32_t attr);
    void UpdateButtons();
    void UpdateControlContent();
    void PopOut();
    void DealClickClose();

    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hWnd) override;

protected:
    DuiLib::CDuiString GetSkinFile() override { return "VideoShowPrivateMic.xml"; }

private:
    void SendMicAttr(bool video, bool open);
    void SelectTab(const char* name, int item);
    void ShowUserMenu();

    CVideoShowVoiceWnd m_view;
    IPrivateMicWndCallBack* m_pMgr;
};

class CPrivateMicWndMgr : public CMicSlotMgr<CPrivateMicWnd, kPrivateMicSlots>, public IPrivateMicWndCallBack {
public:
    CPrivateMicWndMgr() : CMicSlotMgr<CPrivateMicWnd, kPrivateMicSlots>("CPrivateMicWndMgr") {}
    ~CPrivateMicWndMgr() override { UnInit(); }

    void Init(IRoomUI* room, IMicRoomActions* actions);
    void UnInit();
    void AddPrivateMic(int index, const RoomUserInfo& user, const std::string& url, uint32_t micattr, bool keepPos);
    void DealGetLiveSig(const RoomMicStream* stream);
    void DealMicAttrChange(uint32_t attr, int index);
    void RemovePrivateMicByIndex(int index);
    void RemovePrivateMicByUserId(uint32_t uid);
    void UpdatePrivateMicList(const std::map<int, MicUserInfo>& mics);
    void OnPlatformSwitch();
    void CloseAllPrivateMic() override;

    // How many windows were made so far (each slot's window is made at most once at a time).
    int WindowsCreated() const { return m_created; }

private:
    // Makes the slot's window when it has none: restores the room window and shifts rc by its corner
    // unless keepPos. False when there is no window afterwards.
    bool EnsureWindow(int index, bool keepPos);

    int m_created = 0;
};
