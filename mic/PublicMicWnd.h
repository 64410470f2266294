// The microphone slots of a room: CMicSlot is the media side every slot window shares (adapter, link,
// pop-out, frame routing); CPublicMicWnd is one of the three public slots, a child of the room window in
// its left column, and CPublicMicWndMgr applies the room's public microphone events to them.
//
// Threads: the windows and the manager live on the UI thread. CMicSlot's IMicPublishReplayCallBack
// operations run on the media libraries' threads: they read only the atomic pop-out flag and hand frames
// and levels to the views, which take them from any thread. The adapter's owner is cleared before a slot
// goes away, and that waits for a callback still running.
#pragma once

#include "MicLink.h"
#include "MicPopWnd.h"
#include "MicPublishReplayAdapter.h"
#include "MicSlotMgr.h"
#include "VideoShowVoiceWnd.h"

#include <atomic>
#include <map>
#include <memory>

class CMicSlot : public IMicPublishReplayCallBack {
public:
    // Media stand-ins of every slot made from now on (tests); empty: the real libraries.
    static void SetMediaFactory(const MicMediaFactory& factory);

    CMicSlot(int index, bool isPublic, CVideoShowVoiceWnd& view);
    ~CMicSlot() override;
    CMicSlot(const CMicSlot&) = delete;
    CMicSlot& operator=(const CMicSlot&) = delete;

    int GetIndex() const { return m_index; }
    uint32_t GetMicUid() const { return m_pop.m_user.uid; }
    const RoomUserInfo& GetMicUser() const { return m_pop.m_user; }
    bool IsOwnStream() const;
    bool IsPoppedOut() const { return m_popped.load(); }
    CMicLink& Link() { return *m_link; }
    CMicPublishReplayAdapter& Adapter() { return *m_adapter; }
    CPublicMicPopWnd& Pop() { return m_pop; }
    CVideoShowVoiceWnd& View() { return m_slotView; }

    void StartLinkThread() { m_link->StartLinkThread(); }
    void StopLinkThread() { m_link->StopLinkThread(); }
    void SetReconnectTimer() { m_link->SetReconnectTimer(); }
    // Adapter only: a fresh address for the same performer.
    void SetStream(const std::string& url, uint32_t micattr);
    // The performer's tag over the view, hidden when there is none; nothing while the view has no window.
    void UpdateTagImage();
    // After a platform switch: asks for fresh signatures of this slot's stream in room `roomId`.
    void RequestSwitchSig(uint32_t roomId) const;
    // The performer's record, in the pop-out and in the link.
    void UpdateUserRecord(const RoomUserInfo& user);
    // The view's picture on the desktop; null headless.
    CVideoGtkPresenter* DesktopPresenter() const { return m_presenter.get(); }
    // The manager lets go of the slot (its window closed already): deleted now, or, while the performer
    // menu runs inside it, dismissed and deleted after that menu's loop and message have returned.
    static void Release(CMicSlot* slot);
    bool InMenu() const { return m_menuDepth > 0; }

    // Media threads.
    void OnLinkChange(int severity, std::string text) override;
    void OnVideoData(BYTE* rgb24, BITMAPINFOHEADER* header) override;
    void OnAudioLevel(short samples[9]) override;

protected:
    // The room the slot belongs to, kept in the pop-out (null before it is bound).
    void BindRoom(IRoomUI* room, IMicRoomActions* actions);
    uint32_t RoomId() const { return m_pop.m_pRoom ? m_pop.m_pRoom->GetRoomID() : 0; }
    HWND RoomHwnd() const { return m_pop.m_pRoom ? m_pop.m_pRoom->GetHWND() : nullptr; }
    void SetPoppedOut(bool on) { m_popped = on; }
    // Shows or hides the pop-out; a shown pop-out takes the frames.
    void PopOutShow(HWND owner, bool show, bool centre);
    void ClosePop();
    // The view over rc in the slot's window `host`, with a presenter when `host` is on the desktop.
    void CreateView(DuiLib::CWindowWnd& host, const DuiLib::RECT& rc, int buttonCount, DWORD exStyle);
    // Takes the stream at url; the meter shows when micattr has audio (bit 1).
    void ApplyStream(const std::string& url, uint32_t micattr);
    // A new micattr: video (bit 2) and audio (bit 1) switched on or off to match.
    void SwitchToAttr(uint32_t attr);
    // The slot's window `host` (handle hWnd) is ending: link, timer, media, pop-out, presenter and view stop.
    void EndWindow(DuiLib::CWindowWnd& host, HWND hWnd);
    // First in a window's destructor: no media callback reaches the slot, and the view goes before the
    // window's members do.
    void DetachMedia(DuiLib::CWindowWnd& host);
    // The performer menu owned by `owner` for its field (screen); its choice acts on the performer it was
    // opened for, and only while he still holds the slot.
    void RunUserMenu(HWND owner, const DuiLib::RECT& field);

    const int m_index;
    const bool m_public;
    CVideoShowVoiceWnd& m_slotView;
    CPublicMicPopWnd m_pop;
    std::shared_ptr<CMicPublishReplayAdapter> m_adapter;
    std::unique_ptr<CMicLink> m_link;
    std::atomic<bool> m_popped{false};
    std::shared_ptr<CVideoGtkPresenter> m_presenter;
    int m_menuDepth = 0;      // performer menus running inside this slot (UI thread)
    HWND m_menu = nullptr;    // the innermost of them
    bool m_released = false;  // the manager let go while a menu ran
};

// A slot's window: the window class, the controls and the skin package both slot windows share.
class CMicSlotWnd : public DuiLib::WindowImplBase, public CMicSlot {
public:
    CMicSlotWnd(int index, bool isPublic, CVideoShowVoiceWnd& view) : CMicSlot(index, isPublic, view) {}

    const char* GetWindowClassName() const override { return "VarnetVideoShowMic"; }
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;

protected:
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }
};

class CPublicMicWnd : public CMicSlotWnd, public IVideoShowControlCallBack {
public:
    static constexpr int kWidth = 236, kHeight = 208;

    explicit CPublicMicWnd(int index);
    ~CPublicMicWnd() override;

    void Bind(IRoomUI* room, IMicRoomActions* actions);
    // Child of the room window at (2, 55 + 208 index); false when it cannot be made.
    bool CreateSlot();

    void SetMicUser(const RoomUserInfo& user, const std::string& url, uint32_t micattr);
    void ApplyMicAttr(uint32_t attr);
    void UpdateControlContent();
    // Platform switch: the link and the media stop before a fresh signature is asked for.
    void StopForSwitch();

    CVideoShowControlWnd& ControlView() { return m_view; }

    // IVideoShowControlCallBack
    bool IsControlActive(int index) override;
    void OnClickControl(int index) override;
    void OnDblClickControl(int) override {}
    void OnPaintControl(DuiLib::HDC dc, int width, int height, int hoverIndex, bool pressed) override;

    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hWnd) override;

protected:
    DuiLib::CDuiString GetSkinFile() override { return "VideoShowPublicMic.xml"; }

private:
    void ShowUserMenu();
    void ToggleAudio();
    void ToggleVideo();
    void TogglePopOut();

    CVideoShowControlWnd m_view;
    // The strip's images, read by the render thread while the window lives.
    std::atomic<const DuiLib::TImageInfo*> m_imageA{nullptr}, m_imageB{nullptr};
    std::atomic<bool> m_imageLogged{false};  // a missing image is logged once
};

class CPublicMicWndMgr : public CMicSlotMgr<CPublicMicWnd, kPublicMicSlots> {
public:
    CPublicMicWndMgr() : CMicSlotMgr<CPublicMicWnd, kPublicMicSlots>("CPublicMicWndMgr") {}
    ~CPublicMicWndMgr() { UnInit(); }

    void Init(IRoomUI* room, IMicRoomActions* actions);
    void UnInit();
    void AddPublicMic(int index, const RoomUserInfo& user, const std::string& url, uint32_t micattr);
    void LeaveMic(int index);
    void DealMicAttrChange(uint32_t attr, int index);
    void DealGetLiveSig(const RoomMicStream* stream);
    void UpdatePublicMicList(const std::map<int, MicUserInfo>& mics);
    void OnPlatformSwitch();
};
