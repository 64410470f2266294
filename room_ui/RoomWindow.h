// The window of the open room: the three columns (microphones, chat, user lists), the gift-effect window,
// the modal-window stack of the room's popups, and the dispatch of the room notifications.
//
// Creating it: the program constructs one CRoomUI, hands it to CRoomManager as its IRoomUI, and the room
// manager calls SetRoomID, SetRoomLogic and CreateRoomWindow(title) when a room is entered, and
// CloseRoomWindow when it closes.
//
// Threads: GetHWND, GetRoomID, GetDealUI, IsIconic and IsForeground answer from any thread (atomics; the
// columns exist for the object's whole life). Everything else runs on the UI thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChatView.h"
#include "DealMainCenter.h"
#include "DealMainLeft.h"
#include "DealMainRight.h"
#include "FlashWnd.h"
#include "GiftPanel.h"
#include "RichEditCtrlEx.h"
#include "RightColumnTips.h"
#include "RoomModalHost.h"
#include "RoomNotify.h"
#include "RoomUI.h"
#include "UIlib.h"

class CUILuckyGiftTip;
class CUIRoomManager;

namespace roomui {

class CRoomUI : public DuiLib::WindowImplBase, public IRoomUI, public IRoomModalHost {
public:
    static constexpr int kWidth = 1024;
    static constexpr int kHeight = 775;

    CRoomUI();
    ~CRoomUI() override;

    // IRoomUI
    HWND GetHWND() override { return m_hwnd; }
    uint32_t GetRoomID() override { return m_roomId; }
    void SetRoomID(uint32_t roomId) override { m_roomId = roomId; }
    IRoomLogic* GetRoomLogic() override { return m_logic; }
    void SetRoomLogic(IRoomLogic* logic) override { m_logic = logic; }
    bool GetDealUI(int kind, IRoomDealUI** out) override;
    bool CreateRoomWindow(const std::string& title) override;
    void CloseRoomWindow() override;
    bool IsWindowVisible() override;
    bool IsIconic() override { return m_iconic; }
    void RestoreMaximized() override;
    void BringToFront() override;
    bool IsForeground() override { return m_foreground; }
    void OnGiftResourceUpdate(bool after) override { m_gifts.OnGiftResourceUpdate(after); }
    void CreateFacePicker() override;
    void ReloadFaces() override;
    void DestroyFacePicker() override;

    // IRoomModalHost
    void PushModalWnd(HWND hwnd) override;
    void PopModalWnd(HWND hwnd) override;
    HWND TopModalWnd() override { return m_modal.empty() ? nullptr : m_modal.back(); }
    int GetModalWndCount() override { return int(m_modal.size()); }
    void ContinueModalCancel() override;
    void AppendOwnViewHtml(const std::string& html) override { m_center.AppendMsgHtml(html, kOwnView); }

    // Effects on or off (also the configuration's roomset/ShieldFlash at start).
    void ShieldFlash(bool shield) override;
    // Right 17: the level grant, else the role grant in this room.
    bool MayManageRoom();

    // One WM_ROOM_NOTIFY. Heap payloads are freed here exactly once (or handed on, the gift effect to the
    // effect window); plain-number codes and ignored codes never touch lParam.
    void OnRoomNotify(int code, LPARAM lParam);
    // Called with every payload this window frees (tests count them).
    std::function<void(int code, const void* payload)> OnPayloadFreed;

    // The columns and their views; without a window they run headless (tests).
    void InitColumns();
    CDealMainLeft& Left() { return m_left; }
    CDealMainCenter& Center() { return m_center; }
    CDealMainRight& Right() { return m_right; }
    CDealGiftPanel& Gifts() { return m_gifts; }
    CUILuckyGiftTip* LuckyTip() { return m_luckyTip.get(); }
    CHeadlessChatView& OwnView() { return m_ownView; }
    CHeadlessChatView& PublicView() { return m_publicView; }
    CHeadlessChatView& TrumpetView() { return m_trumpetView; }
    // The panes the column writes to: web views while the window is on the desktop, else the headless ones.
    IChatView& OwnPane() { return m_ownWeb ? static_cast<IChatView&>(*m_ownWeb) : m_ownView; }
    IChatView& PublicPane() { return m_publicWeb ? static_cast<IChatView&>(*m_publicWeb) : m_publicView; }
    CWebChatView* PublicWebPane() { return m_publicWeb.get(); }
    IChatView& TrumpetPane() { return m_trumpetWeb ? static_cast<IChatView&>(*m_trumpetWeb) : m_trumpetView; }
    CWebChatView* TrumpetWebPane() { return m_trumpetWeb.get(); }
    // Lines from the network wait for the UI thread's next turn and go into each pane as one batch.
    static constexpr UINT WM_FLUSH_CHAT_LINES = 0x0400 + 130;
    static constexpr size_t kMaxQueuedLines = 500;  // a longer burst is put in at once
    // Batches follow each other at least this far apart (each costs the web engine a layout and a repaint of
    // the pane): a line after a quiet spell goes in at once, lines that come closer wait for the next batch.
    static constexpr UINT kLineFlushGapMs = 200;
    static constexpr UINT_PTR kLineFlushTimer = 0x0FF0;  // below the paint manager's timer ids
    void FlushChatLines();
    // The user-list column's tip bar, clock, balances and trumpet buttons.
    CRightColumnTips& Tips() { return m_tips; }
    CFlashWnd* Flash() { return m_flash.get(); }
    void SetFlash(std::unique_ptr<CFlashWnd> flash) { m_flash = std::move(flash); }
    CRichEditCtrlEx& Input() { return m_input; }
    CUIRoomManager* RoomManagerDialog() { return m_roomManager.get(); }

    const char* GetWindowClassName() const override { return "VarnetRoomUI"; }
    void InitWindow() override;
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnFinalMessage(HWND hWnd) override;

protected:
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::CDuiString GetSkinFile() override { return "RoomSkin.xml"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }

private:
    template <class T>
    void Free(int code, T* payload);
    void RequestUserList();
    void RequestExit();
    void RequestRoomInfo();
    void OpenRoomManager();
    void RefreshNameLabel();
    // WM_UPDATE_MY_INFO from the settings dialog: the own record, list row, labels and chat target follow.
    void OnOwnInfoUpdated(int flags);
    void RefreshRoomName();
    void RefreshLevelGif();
    void UpdateRoomManagerButton();
    void UpdateFavTab();
    void OpFavourite(bool add);
    void PlaceChildren();
    void CreateEffectWindow();
    void CreateWebPanes();
    void DestroyWebPanes();
    void ShowLuckyGift(RoomLuckyGift* notice);
    // The lucky-gift tip over "GlobalGiftInform" (client coordinates: it is a child of the window).
    void PlaceLuckyTip();
    static constexpr int kLuckyTipHeight = 50;
    void PlaceHoverButtons();
    void LogPaneWidths();
    void ScheduleLineFlush();
    // The program's message box over the room window, on the modal stack (a log line without a window).
    void ShowMessage(const char* text, const char* title);

    std::atomic<HWND> m_hwnd{nullptr};
    std::atomic<uint32_t> m_roomId{0};
    std::atomic<IRoomLogic*> m_logic{nullptr};
    std::atomic<bool> m_iconic{false};
    std::atomic<bool> m_foreground{false};
    std::vector<HWND> m_modal;  // newest last; UI thread

    CDealMainLeft m_left;
    CDealMainCenter m_center;
    CDealMainRight m_right;
    CDealGiftPanel m_gifts;
    std::unique_ptr<CUILuckyGiftTip> m_luckyTip;  // over "GlobalGiftInform", made on the first notice
    CHeadlessChatView m_ownView;
    CHeadlessChatView m_publicView;
    CHeadlessChatView m_trumpetView;
    // The chat column's panes on the desktop; their widgets sit over the skin's places.
    std::unique_ptr<CWebChatView> m_ownWeb;
    std::unique_ptr<CWebChatView> m_publicWeb;
    std::unique_ptr<CWebChatView> m_trumpetWeb;
    CChatPaneFeed m_trumpetFeed;  // the trumpet pane's line path
    bool m_flushPosted = false;   // a WM_FLUSH_CHAT_LINES or the flush timer is on its way
    bool m_flushTimer = false;    // that flush is the timer's
    bool m_flushedOnce = false;   // m_lastFlushTick holds the tick of the last batch
    DWORD m_lastFlushTick = 0;
    size_t m_queuedLines = 0;  // lines queued since the last flush
    CRightColumnTips m_tips;
    CRichEditCtrlEx m_input;
    std::unique_ptr<CFlashWnd> m_flash;
    CGlobalGiftBannerUI* m_bannerUI = nullptr;  // owned by the control tree
    bool m_closing = false;
    std::unique_ptr<CUIRoomManager> m_roomManager;  // the management dialog, made on first use
};

}  // namespace roomui
