#include "RightColumnTips.h"

#include <ctime>

#include "GlobalData.h"
#include "RoomWebLinks.h"
#include "UIExchange.h"
#include "Win32Window.h"
#include "ZqLib.h"

using namespace DuiLib;

namespace roomui {

namespace {
constexpr const char* kGuestTip =
    "游客不能送礼，{a cmdLogin}{c #0c67c1}登录{/c}{/a}或{a cmdRegist}{c #0c67c1}注册{/c}{/a}";
constexpr const char* kBalanceTip = "您的余额不足，{a cmdPay}{c #0c67c1}充值{/c}{/a}";
}  // namespace

CRightColumnTips::CRightColumnTips() = default;
CRightColumnTips::~CRightColumnTips() {
    ReleaseWindows();
}

const char* CRightColumnTips::GuestTipText() {
    return kGuestTip;
}
const char* CRightColumnTips::BalanceTipText() {
    return kBalanceTip;
}

void CRightColumnTips::InitControls(IRoomUI* room, CPaintManagerUI* pm, IChatView* trumpet) {
    m_room = room;
    m_pm = pm;
    m_trumpet = trumpet;
    m_tipLayout = pm ? pm->FindControl("SendGiftErrorTipLayout") : nullptr;
    m_tipLabel = pm ? pm->FindControl("SendGiftErrorTipText") : nullptr;
    if (auto* label = dynamic_cast<CLabelUI*>(m_tipLabel)) label->SetTextStyle(DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    m_clock = pm ? pm->FindControl("ServerTimerLabel") : nullptr;
    if (m_pm && m_clock) m_pm->SetTimer(m_clock, kClockTimer, 1000);
    UpdateBalances();
}

void CRightColumnTips::ShowGiftTip(const std::string& text) {
    m_tipText = text;
    if (auto* label = dynamic_cast<CLabelUI*>(m_tipLabel)) {
        // Only the two tips of this column carry links; any other text (a server's too) is shown as it is.
        label->SetShowHtml(text == kGuestTip || text == kBalanceTip);
        label->SetText(text.c_str());
    } else if (m_tipLabel) {
        m_tipLabel->SetText(text.c_str());
    }
    if (!m_tipVisible && m_tipLayout) m_tipLayout->SetVisible(true);
    m_tipVisible = true;
    // A new text gets the whole five seconds.
    if (m_pm && m_tipLayout) {
        m_pm->KillTimer(m_tipLayout, kTipTimer);
        m_pm->SetTimer(m_tipLayout, kTipTimer, kTipMs);
    }
}

void CRightColumnTips::HideGiftTip() {
    if (m_tipLayout) m_tipLayout->SetVisible(false);
    m_tipVisible = false;
    if (m_pm && m_tipLayout) m_pm->KillTimer(m_tipLayout, kTipTimer);
}

void CRightColumnTips::ShowGiftFailTip(const std::string& text) {
    ShowGiftTip(text.find("余额不") != std::string::npos ? std::string(kBalanceTip) : text);
}

void CRightColumnTips::UpdateServerClock() {
    m_serverTime = CGlobalDataApp::GetInstance().GetServerTime();
    time_t t = static_cast<time_t>(m_serverTime);
    struct tm local {};
    if (!localtime_r(&t, &local)) return;
    if (m_clock)
        m_clock->SetText(StringUtility::Format("%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec).c_str());
}

void CRightColumnTips::UpdateBalances() {
    if (!m_pm) return;
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    char buf[100];
    if (CControlUI* c = m_pm->FindControl("OwnerMoneyLabel")) {
        snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(a.xiubi));
        c->SetText(buf);
    }
    if (CControlUI* c = m_pm->FindControl("OwnerCreditsLabel")) {
        snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(a.zebin));
        c->SetText(buf);
    }
}

void CRightColumnTips::OnLink(int index) {
    IRoomLogic* logic = m_room ? m_room->GetRoomLogic() : nullptr;
    if (m_tipText == kGuestTip) {
        if (index == 0 && logic) logic->RequestLogin(m_room);
        else if (index == 1 && logic) logic->RequestRegister(m_room);
    } else if (m_tipText == kBalanceTip && index == 0) {
        OpenPayPage();
    }
}

void CRightColumnTips::OpenPayPage() {
    roompopups::OpenPayPage(m_room ? m_room->GetHWND() : nullptr, m_room ? m_room->GetRoomID() : 0);
}

bool CRightColumnTips::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return false;
    if (msg.sType == DUI_MSGTYPE_TIMER) {
        if (msg.pSender == m_tipLayout && msg.wParam == kTipTimer) {
            HideGiftTip();
            return true;
        }
        if (msg.pSender == m_clock && msg.wParam == kClockTimer) {
            UpdateServerClock();
            return true;
        }
        return false;
    }
    if (msg.sType == DUI_MSGTYPE_LINK && msg.pSender == m_tipLabel) {
        OnLink(int(msg.wParam));
        return true;
    }
    if (msg.sType == "click") {
        CDuiString name = msg.pSender->GetName();
        if (name == "SendGiftErrorTipBTN") {
            HideGiftTip();
            return true;
        }
        if (name == "RoomExchangeBTN") {
            OpenExchange();
            return true;
        }
    }
    return false;
}

void CRightColumnTips::OnDocumentComplete(int view, HWND parent) {
    if (view != 0 || m_hover[0]) return;
    for (int id = 0; id < 3; ++id) {
        auto b = std::make_unique<CHoverBtnWnd>();
        if (b->Create(Dir::GetCurrentPath() + kHoverImages[id], id, this, parent)) m_hover[id] = std::move(b);
    }
}

void CRightColumnTips::PlaceHoverButtons(const RECT& view, int scrollBar) {
    const int w = CHoverBtnWnd::kWidth, h = CHoverBtnWnd::kHeight;
    m_viewOnScreen = view;
    if (m_hover[0]) m_hover[0]->MoveWindow(view.right - 2 * w - scrollBar, view.top, w, h);
    for (int id : {1, 2})
        if (m_hover[id]) m_hover[id]->MoveWindow(view.right - w - scrollBar, view.top, w, h);
}

void CRightColumnTips::ShowHover(int id, bool show) {
    m_hoverShown[id] = show;
    if (m_hover[id]) m_hover[id]->ShowWindow(show, false);
}

void CRightColumnTips::OnWebMouseEnter(int view) {
    if (view != 0) return;
    ShowHover(0, true);
    bool scrolling = !m_trumpet || m_trumpet->IsAutoScroll();
    ShowHover(scrolling ? 1 : 2, true);
}

void CRightColumnTips::OnWebMouseLeave(int view, POINT cursor) {
    if (view != 0) return;
    for (int id = 0; id < 3; ++id)
        if (m_hover[id] && m_hoverShown[id] && m_hover[id]->HitTest(cursor.x, cursor.y)) return;
    bool scrolling = !m_trumpet || m_trumpet->IsAutoScroll();
    ShowHover(0, false);
    ShowHover(scrolling ? 1 : 2, false);
}

void CRightColumnTips::OnHoverBtnLeave(int) {
    POINT p = PointerOnScreen();
    const RECT& rc = m_viewOnScreen;
    if (p.x >= rc.left && p.x < rc.right && p.y >= rc.top && p.y < rc.bottom) return;
    OnWebMouseLeave(0, p);
}

void CRightColumnTips::OnHoverBtnClick(int id) {
    if (id == 0) {
        if (m_trumpet) m_trumpet->RemoveOldNodes(0);
    } else if (id == 1) {
        if (m_trumpet) m_trumpet->SetAutoScroll(false);
        ShowHover(1, false);
        ShowHover(2, true);
    } else if (id == 2) {
        if (m_trumpet) m_trumpet->SetAutoScroll(true);
        ShowHover(1, true);
        ShowHover(2, false);
    }
}

void CRightColumnTips::OpenExchange() {
    if (!m_exchange) {
        m_exchange = std::make_unique<roompopups::CUIExchange>();
        m_exchange->OnExchanged = [this](roompopups::CUIExchange& x) {
            const roompopups::ExchangeAnswer& r = x.LastAnswer();
            CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) {
                if (r.hasCoin) a.xiubi = r.coin;
                if (r.hasShell) a.zebin = r.shell;
            });
            UpdateBalances();
        };
    }
    m_exchange->ShowPopup(m_room ? m_room->GetHWND() : nullptr);
}

void CRightColumnTips::ReleaseWindows() {
    if (m_pm) {
        if (m_tipLayout) m_pm->KillTimer(m_tipLayout);
        if (m_clock) m_pm->KillTimer(m_clock);
    }
    // Their objects go once no loop runs (one of theirs may run under the room's close).
    ReleaseWindow(m_exchange);
    for (auto& b : m_hover) ReleaseWindow(b);
    m_hoverShown[0] = m_hoverShown[1] = m_hoverShown[2] = false;
    m_pm = nullptr;
    m_tipLayout = m_tipLabel = m_clock = nullptr;
}

}  // namespace roomui
