// The gift panel's hover card and the lucky-gift banner.
#include "IDataHalvec.h"
#include "PickerControls.h"
#include "RoomInfoMgr.h"
#include "UIGiftPopups.h"
#include "Win32Window.h"
#include "ZqLib.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace {

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

}  // namespace

// ---- CUIGiftPreview ------------------------------------------------------------------------------------

LRESULT CUIGiftPreview::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    DisarmHide();
    return WindowImplBase::OnClose(uMsg, wParam, lParam, bHandled);
}

void CUIGiftPreview::ShowGift(const GiftCard& card) {
    if (card.giftId == m_nGift) return;
    if (auto* gif = dynamic_cast<roomui::CControlGifBk*>(Find("gifbkGiftBk"))) gif->SetGifFile(card.image.c_str());
    SetLabel("labelGiftName", card.name);
    SetLabel("labelGiftCost", StringUtility::Format("礼物价值：%u Z币", card.price));
    SetLabel("labelGiftTargetReceive",
             StringUtility::Format(card.inCoins ? "收礼人获得：%u Z币" : "收礼人获得：%u Z豆", card.receiverGets));
    m_nGift = card.giftId;
}

void CUIGiftPreview::ArmHide() {
    if (m_bHideArmed || !GetHWND()) return;
    m_bHideArmed = true;
    ::SetTimer(GetHWND(), kHideTimer, kHideDelayMs);
}

void CUIGiftPreview::DisarmHide() {
    if (!m_bHideArmed) return;
    m_bHideArmed = false;
    if (GetHWND()) ::KillTimer(GetHWND(), kHideTimer);
}

LRESULT CUIGiftPreview::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_MOUSEMOVE) {
        if (lParam == LPARAM(-1)) ArmHide();
        else DisarmHide();
    } else if (uMsg == WM_TIMER && wParam == kHideTimer) {
        ShowWindow(false, false);
        DisarmHide();
        return 0;
    }
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

// ---- CUILuckyGiftTip -----------------------------------------------------------------------------------

CUILuckyGiftTip::~CUILuckyGiftTip() = default;  // queued notices go with the tip

void CUILuckyGiftTip::InitWindow() {
    m_roomWnd = nullptr;
    m_roomId = 0;
}

LRESULT CUILuckyGiftTip::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NCHITTEST) return HTTRANSPARENT;
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

LRESULT CUILuckyGiftTip::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    // Hidden, not destroyed: the room window keeps showing notices through this window.
    if (CControlUI* label = Find("UserInfoLabel")) m_PaintManager.KillTimer(label, kTimer);
    ShowWindow(false, false);
    bHandled = TRUE;
    return 0;
}

void CUILuckyGiftTip::ShowTip(HWND roomWnd, uint32_t roomId, RoomLuckyGift* notice) {
    std::unique_ptr<RoomLuckyGift> owned(notice);
    if (!roomWnd || roomId == 0 || !owned) return;
    m_roomWnd = roomWnd;
    m_roomId = roomId;
    if (IsWindowVisible()) {
        if (m_queue.size() >= kMaxQueued) m_queue.pop_front();
        m_queue.push_back(std::move(owned));
        return;
    }
    if (!FillTip(*owned)) return;
    ShowWindow(true, false);
    if (CControlUI* label = Find("UserInfoLabel")) {
        m_PaintManager.KillTimer(label, kTimer);
        m_PaintManager.SetTimer(label, kTimer, kPeriodMs);
    }
}

void CUILuckyGiftTip::OnTimer() {
    while (!m_queue.empty()) {
        std::unique_ptr<RoomLuckyGift> next = std::move(m_queue.front());
        m_queue.pop_front();
        if (FillTip(*next)) return;  // the timer keeps its period
    }
    if (CControlUI* label = Find("UserInfoLabel")) m_PaintManager.KillTimer(label, kTimer);
    ShowWindow(false, false);
}

void CUILuckyGiftTip::FitLabel(const char* name, const std::string& text, bool tooltip) {
    CControlUI* label = Find(name);
    if (!label) return;
    label->SetText(text.c_str());
    if (tooltip) label->SetToolTip(text.c_str());
    SIZE size = CRenderEngine::GetTextSize(&m_PaintManager, text.c_str(), -1, DT_SINGLELINE);
    label->SetFixedWidth(int(size.cx) + 5);
}

bool CUILuckyGiftTip::FillTip(const RoomLuckyGift& notice) {
    RoomUserInfo winner;
    IDataHalvec* h = Halvec();
    LevelItem level;
    GiftItem gift;
    if (!CRoomInfoMgr::GetInstance().GetRoomUser(m_roomId, notice.uid, winner) || !h ||
        !h->GetLevel(int(winner.level), level) || !h->GetGift(-1, int(notice.giftId), gift))
        return false;
    if (CControlUI* c = Find("UserLevelControl"))
        c->SetBkImage(StringUtility::Format("file='%s' dest='7,7,23,23'", level.fname.c_str()).c_str());
    FitLabel("UserInfoLabel", StringUtility::Format("%s(%u)", winner.nickname.c_str(), winner.beautyid), true);
    const char* times = notice.multiple == 10    ? "10.png"
                        : notice.multiple == 50  ? "50.png"
                        : notice.multiple == 500 ? "500.png"
                                                 : "";
    if (CControlUI* c = Find("RewardTimesControl")) c->SetBkImage(StringUtility::Format("file='%s'", times).c_str());
    FitLabel("GiftInfoLabel", StringUtility::Format("倍%s", gift.name.c_str()), false);
    if (CControlUI* c = Find("GiftImageControl"))
        c->SetBkImage(StringUtility::Format("file='%s'", gift.fname.c_str()).c_str());
    FitLabel("BonusLabel", StringUtility::Format("%dZ币", notice.income), false);
    return true;
}

void CUILuckyGiftTip::Notify(TNotifyUI& msg) {
    if (msg.sType == "timer" && msg.pSender && msg.pSender->GetName() == "UserInfoLabel" && msg.wParam == kTimer) {
        OnTimer();
        return;
    }
    WindowImplBase::Notify(msg);
}
