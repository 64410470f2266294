// The microphone column of the room window: the three public microphone windows, the eight private ones,
// the join/leave buttons of the microphone queue, the speaker and microphone volume popups and the video
// setup button that opens the settings dialog. The room window forwards its microphone notifications here.
//
// Threads: the UI thread only.
#pragma once

#include <cstdint>
#include <map>

#include "PrivateMicWnd.h"
#include "PublicMicWnd.h"
#include "RoomConfigSetDlg.h"
#include "RoomModalHost.h"
#include "RoomNotify.h"
#include "RoomUI.h"
#include "UIWndMicAudioSlider.h"

namespace roomui {

class CDealMainCenter;

class CDealMainLeft : public IRoomLeftUI, public IWndCallBackMicAudioSlider, public IMicRoomActions {
public:
    CDealMainLeft();
    ~CDealMainLeft() override;

    // Room window start; `pm` null runs the column without windows. False without the join/leave tab.
    bool InitControls(IRoomUI* room, IRoomModalHost* host, CDealMainCenter* center, DuiLib::CPaintManagerUI* pm);
    // The room window closes: the microphone windows, the sliders and the settings dialog go.
    void ReleaseWindows();
    // Clicks and mouse entries of the room window's controls; true when one of the column's.
    bool OnNotify(DuiLib::TNotifyUI& msg);

    // IRoomLeftUI
    void UpdateMicList(const MicUserMap& mics) override;
    void FindPrivateMic(uint32_t uid) override { m_private.RemovePrivateMicByUserId(uid); }

    // The room's microphone notifications.
    void DealGetLiveSig(const RoomMicStream& stream);
    void DealOpMicResult(const RoomMicOpResult& result);
    void LeaveMic(const RoomMicOff& off);
    void DealMicAttrChange(const RoomMicAttr& attr);
    void RefreshMicList(const MicUserMap& mics);
    void OnPlatformSwitch();
    void UpdateUserNickName(uint32_t uid);

    // The entries of the last list (enter reply or refresh), with the attribute changes applied.
    const MicUserMap& Mics() const { return m_mics; }
    CPublicMicWndMgr& Public() { return m_public; }
    CPrivateMicWndMgr& Private() { return m_private; }
    CRoomConfigSetDlg& Settings() { return m_settings; }
    // Kind 1 speaker, 2 microphone.
    CUIWndMicAudioSlider& Slider(int kind) { return m_sliders[kind == 2 ? 1 : 0]; }

    // IWndCallBackMicAudioSlider
    void OnMuteChanged(int kind, bool muted) override;

    // IMicRoomActions
    void SelectGiftTarget(uint32_t uid) override;
    void LocateUser(uint32_t uid) override;
    void SetChatTarget(uint32_t uid) override;
    void OpenStampDialog(uint32_t uid) override;
    void PushModalWnd(HWND wnd) override;
    void PopModalWnd(HWND wnd) override;
    void ContinueModalCancel() override;

    // Opens (once) and shows the settings dialog on a page.
    void OpenSettings(int page);
    void JoinPublicMic();
    void JoinPrivateMic();
    void OnBtnLeaveMicList();

private:
    void ShowJoinMicMenu(DuiLib::CControlUI* button);
    void OnMouseEnter(DuiLib::CControlUI* sender);
    void SelectJoinLeave(int item);
    void AppendOwn(const std::string& html);
    bool HasRight(int right);
    uint32_t RoomId() const { return m_room ? m_room->GetRoomID() : 0; }

    DuiLib::CPaintManagerUI* m_pm = nullptr;
    CPrivateMicWndMgr m_private;
    CPublicMicWndMgr m_public;
    DuiLib::CTabLayoutUI* m_joinLeave = nullptr;
    IRoomUI* m_room = nullptr;
    IRoomModalHost* m_host = nullptr;
    CDealMainCenter* m_center = nullptr;
    CRoomConfigSetDlg m_settings;
    CUIWndMicAudioSlider m_sliders[2];
    MicUserMap m_mics;
};

}  // namespace roomui
