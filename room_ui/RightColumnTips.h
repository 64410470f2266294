// The smaller duties of the user-list column: the send-gift tip bar (failures shown for five seconds, with
// login, registration and pay links), the server clock, the own balance labels, the three hover buttons
// over the trumpet view (clear it, auto-scrolling on and off), the pay page, and the exchange popup.
// The room window owns one and hands it the column's "timer" and "link" notifications.
// Threads: the UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ChatView.h"
#include "HoverBtnWnd.h"
#include "RoomUI.h"
#include "UIlib.h"

namespace roompopups {
class CUIExchange;
}

namespace roomui {

// The pointer's screen position; (-1, -1) without a display.
DuiLib::POINT PointerOnScreen();

class CRightColumnTips : public IMsgViewHoverBtnCallBack {
public:
    static constexpr UINT kTipTimer = 1;
    static constexpr UINT kClockTimer = 15;
    static constexpr UINT kTipMs = 5000;

    CRightColumnTips();
    ~CRightColumnTips() override;

    // The controls come from `pm` (null: headless, no controls); starts the clock and shows the balances.
    void InitControls(IRoomUI* room, DuiLib::CPaintManagerUI* pm, IChatView* trumpet);

    void ShowGiftTip(const std::string& text);
    void HideGiftTip();
    // Room notification 11 and the guest tip: a text holding "余额不" becomes the pay tip.
    void ShowGiftFailTip(const std::string& text);
    void UpdateServerClock();
    void UpdateBalances();
    // The tip's links (index = the notification's wParam).
    void OnLink(int index);
    void OpenPayPage();
    // "timer" and "link" notifications of the column's controls, "click" of the tip's close button and the
    // exchange button; false when the notification is not the tips'.
    bool Notify(DuiLib::TNotifyUI& msg);

    // The trumpet view (the column's view 0) has its page: the hover buttons are made over `parent`.
    void OnDocumentComplete(int view, HWND parent);
    void PlaceHoverButtons(const DuiLib::RECT& viewOnScreen, int scrollBarWidth);
    void OnWebMouseEnter(int view);
    // `cursor` is the pointer's screen position.
    void OnWebMouseLeave(int view, DuiLib::POINT cursor);
    void OnHoverBtnClick(int id) override;
    // Off a button and off the view: the buttons hide.
    void OnHoverBtnLeave(int id) override;
    // Opens the exchange popup; on success the new balances go to the account and the labels.
    void OpenExchange();
    // The room window goes: every window of the column is destroyed.
    void ReleaseWindows();

    const std::string& TipText() const { return m_tipText; }
    bool TipVisible() const { return m_tipVisible; }
    int64_t LastServerTime() const { return m_serverTime; }
    bool HoverVisible(int id) const { return id >= 0 && id < 3 && m_hoverShown[id]; }
    // The button's screen rectangle (empty before the trumpet view loaded).
    DuiLib::RECT HoverRect(int id) const {
        return id >= 0 && id < 3 && m_hover[id] ? m_hover[id]->GetWindowRect() : DuiLib::RECT{};
    }
    roompopups::CUIExchange* Exchange() { return m_exchange.get(); }
    // The two tip texts whose links the tip bar answers.
    static const char* GuestTipText();
    static const char* BalanceTipText();

private:
    void ShowHover(int id, bool show);

    IRoomUI* m_room = nullptr;
    DuiLib::CPaintManagerUI* m_pm = nullptr;
    IChatView* m_trumpet = nullptr;
    DuiLib::CControlUI* m_tipLayout = nullptr;
    DuiLib::CControlUI* m_tipLabel = nullptr;
    DuiLib::CControlUI* m_clock = nullptr;
    std::string m_tipText;
    bool m_tipVisible = false;
    int64_t m_serverTime = 0;
    std::unique_ptr<CHoverBtnWnd> m_hover[3];
    bool m_hoverShown[3] = {false, false, false};
    DuiLib::RECT m_viewOnScreen{};  // the trumpet view when its buttons were placed
    std::unique_ptr<roompopups::CUIExchange> m_exchange;
};

}  // namespace roomui
