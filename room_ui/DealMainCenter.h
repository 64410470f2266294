// The chat column of the room window: the public view (1) and the own view (0), the input with its sending
// rules, the chat-target combo, the private check box and the global-gift banner.
//
// Threads: the banner accessors and IsChatViewReady are called by the room logic's detection thread (the
// banner's fields and the ready flag are atomics); everything else runs on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChatView.h"
#include "GlobalGiftShow.h"
#include "HoverBtnWnd.h"
#include "RichEditCtrlEx.h"
#include "RoomModalHost.h"
#include "RoomUI.h"
#include "UIlib.h"
#include "UIMenu.h"

namespace roomui {

// Views are counted 0 (own) and 1 (public).
constexpr int kOwnView = 0;
constexpr int kPublicView = 1;
class CChatColumnPopups;

class CDealMainCenter : public IRoomCenterUI, public IWebCallBack, public IMsgViewHoverBtnCallBack {
public:
    CDealMainCenter();
    ~CDealMainCenter() override;

    // Takes the views (either may be null: the column then shows nothing there), the input (null: no input),
    // the chat-target combo and the private check box from the room window.
    void InitControls(IRoomUI* room, IRoomModalHost* modal, IChatView* ownView, IChatView* publicView,
                      CRichEditCtrlEx* input, DuiLib::CComboUI* combo, DuiLib::COptionUI* privateBox,
                      DuiLib::CPaintManagerUI* pm);
    // The page of a view has loaded.
    void OnDocumentComplete(int view);
    // Points the column at other panes (the window's web panes going away).
    void SetViews(IChatView* ownView, IChatView* publicView);
    // The user list arrived (code 2).
    void UpdateUserList();
    // Runs the sending rules; true when the line was handed to the room logic.
    bool SendChat();
    // The private check box became checked: refusals for guests and registered users.
    void OnPrivateBoxChecked();
    // A user's nickname changed: the combo item of that user shows it.
    void RenameChatTarget(uint32_t uid, const std::string& nickname);
    void SetPendingPrivateMsgs(std::vector<PendingPrivateMsg> msgs) override { m_pending = std::move(msgs); }
    // The room closes: the views are no longer ready, the caches are dropped.
    void ResetViews();
    // The hover buttons of the two views (ids 0-2 public, 3-5 own: clear, auto-scroll off, auto-scroll on):
    // made over `parent` once the view's page is there, placed at the view's top right (screen), shown while
    // the pointer is over the view or over them.
    void PlaceHoverButtons(int view, const DuiLib::RECT& viewOnScreen, int scrollBarWidth);
    void OnWebMouseEnter(int view);
    void OnWebMouseLeave(int view, DuiLib::POINT cursor);
    void OnHoverBtnClick(int id) override;
    // Off a button and off its view: the view's buttons hide.
    void OnHoverBtnLeave(int id) override;
    bool HoverVisible(int id) const { return id >= 0 && id < 6 && m_hoverShown[id]; }
    CHoverBtnWnd* HoverButton(int id) const { return id >= 0 && id < 6 ? m_hover[id].get() : nullptr; }
    // The room window goes: the hover buttons with it.
    void ReleaseHoverButtons();
    // Clicks of the column's buttons and the check box's change.
    void Notify(DuiLib::TNotifyUI& msg);

    // IRoomCenterUI
    void SetChatTarget(uint32_t uid);
    uint32_t GetGiftBannerPriority() override { return m_banner.GetPriority(); }
    uint32_t GetGiftBannerElapsed() override;
    bool IsGiftBannerIdle() override { return m_banner.IsIdle(); }
    int GetGiftBannerSpeed() override { return m_banner.GetSpeed(); }
    void SetGiftBannerSpeed(int mode) override { m_banner.SetSpeed(mode); }
    bool IsChatViewReady() override { return m_chatReady; }
    void SetMyEnterShowText(std::string text) override { m_enterShow = std::move(text); }
    void SetWelWordUsers(const std::vector<uint32_t>& uids) override { m_welWordUsers = uids; }

    // A line for a view (0 own, 1 public; others dropped): appended when the view is ready, cached otherwise.
    void AppendMsgHtml(const std::string& html, int view);
    // The same, but a ready view takes it with the others at the next FlushLines (lines from the network,
    // one batch per UI wake-up). True when the caller must schedule a flush.
    bool QueueMsgHtml(const std::string& html, int view);
    void FlushLines();
    void SetGift(const GlobalGiftItem& item);

    CGlobalGiftShowWnd& Banner() { return m_banner; }
    IChatView* View(int view) const {
        return view == kOwnView ? m_feeds[0].View() : view == kPublicView ? m_feeds[1].View() : nullptr;
    }
    size_t CachedLines(int view) const { return view == 0 || view == 1 ? m_cache[view].size() : 0; }
    const std::vector<uint32_t>& WelWordUsers() const { return m_welWordUsers; }
    const std::string& EnterShowText() const { return m_enterShow; }

    // Rights check: the level grant, else the role grant in this room.
    bool HasRoomRight(int right) const;
    static constexpr int kRightTempNotice = 18;
    // The temporary-notice and trumpet buttons follow the stealth state and the rights (enabled, tooltip).
    void UpdateStealthButtons();

    // Page calls of the chat lines (window.external; DealMainCenterActions.cpp).
    void SelectUser(const std::string& uid, std::string& result) override;
    void SelectRUser(const std::string& uid, std::string& result) override;
    void WelcomeUser(const std::string& uid, bool withGift, std::string& result) override;
    void ThanksSendGift(int uid, int giftId, int count, bool withGift, std::string& result) override;
    void GetMicInfo() override {}
    void CallFuncEx(const std::string& cmd, std::string& result) override;

    // The column's other buttons.
    void OnWelcomeMenu();
    void OnShieldMenu();
    void OnTempNotice();
    void OnTrumpet();
    void OnRecharge();
    void OnColorBar();
    // The temporary notice's reply arrived (code 14).
    void OnTmpNoticeReply();
    // The chat popups (trumpet, temporary notice, welcome words); created on first use, gone with the room.
    CChatColumnPopups& Popups();
    void DestroyPopups();
    // The chat font changed: the trumpet and the welcome editor take it.
    void ApplyChatFontToPopups();
    // Runs a popup menu for a button (at its top-left corner) on the modal stack: the chosen id, -1 none, -2 dismissed (then the
    // modal cancel goes on). Tests replace it.
    std::function<int(const std::vector<DuiLib::ZqMenuItem>& items, DuiLib::POINT at)> RunMenu;
    // The clock of the colour-bar interval (GetTickCount when empty; tests set it).
    std::function<uint32_t()> Tick;

private:
    void Refuse(const std::string& text);
    void CreateHoverButtons(int view);
    void ShowHover(int id, bool show);
    void AppendToView(int view, const std::string& html);
    void ShowPendingLines();
    void FlushCache(int view);
    void PickFace();
    // A menu for the button (above it, else under it): the chosen id.
    int PopupMenu(const std::vector<DuiLib::ZqMenuItem>& items, const char* button);
    DuiLib::RECT ScreenRectOf(const char* control) const;
    bool RefuseUnlessChatReady();
    uint32_t RoomId() const;
    IRoomLogic* Logic() const;

    IRoomUI* m_room = nullptr;
    IRoomModalHost* m_modal = nullptr;
    DuiLib::CPaintManagerUI* m_pm = nullptr;
    CChatPaneFeed m_feeds[2];  // own, public
    bool m_ready[2] = {false, false};
    std::deque<std::string> m_cache[2];
    CRichEditCtrlEx* m_input = nullptr;
    DuiLib::CComboUI* m_combo = nullptr;
    DuiLib::COptionUI* m_privateBox = nullptr;
    std::vector<PendingPrivateMsg> m_pending;
    bool m_userListLoaded = false;
    std::string m_enterShow;
    std::vector<uint32_t> m_welWordUsers;
    CGlobalGiftShowWnd m_banner;
    std::atomic<bool> m_chatReady{false};
    uint32_t m_lastColorBarTick = 0;
    bool m_colorBarSent = false;
    std::unique_ptr<CChatColumnPopups> m_popups;
    std::unique_ptr<CHoverBtnWnd> m_hover[6];
    bool m_hoverShown[6] = {};
    DuiLib::RECT m_viewOnScreen[2] = {};  // own, public: where the views were when their buttons were placed
};

}  // namespace roomui
