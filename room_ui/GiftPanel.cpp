#include "GiftPanel.h"

#include <ctime>

#include "GiftRules.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "MsgClientThread.h"
#include "PickerControls.h"
#include "RoomBaseInfo.h"
#include "RoomInfoMgr.h"
#include "UIGiftPopups.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {

constexpr const char* kLog = "RoomUI.txt";
constexpr DWORD kNoActivate = 0x08000000;  // WS_EX_NOACTIVATE
constexpr const char* kGuestTip =
    "游客不能送礼，{a cmdLogin}{c #0c67c1}登录{/c}{/a}或{a cmdRegist}{c #0c67c1}注册{/c}{/a}";

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

CListLabelElementUI* ItemAt(CComboUI* combo, int i) {
    return combo ? dynamic_cast<CListLabelElementUI*>(combo->GetItemAt(i)) : nullptr;
}

}  // namespace

CDealGiftPanel::CDealGiftPanel() = default;

CDealGiftPanel::~CDealGiftPanel() {
    Release();
}

void CDealGiftPanel::Init(IRoomUI* room, CPaintManagerUI* pm) {
    m_room = room;
    m_pm = pm;
    auto find = [&](const char* name) { return pm ? pm->FindControl(name) : nullptr; };
    m_pCategories = dynamic_cast<CContainerUI*>(find("containerGiftCategory"));
    m_pPages = dynamic_cast<CTabLayoutUI*>(find("tablayout_GiftType"));
    m_pReceivers = dynamic_cast<CComboUI*>(find("GiftToPeopleComBo"));
    m_pCountEdit = dynamic_cast<CEditUI*>(find("NumGiftToEdit"));
    m_pCountPresets = dynamic_cast<CComboUI*>(find("NumGiftToComBo"));
    BuildGiftCategories();
    FillCountPresets();
}

void CDealGiftPanel::Release() {
    // A popup window goes at once, its object once no loop runs (a box or drop-down of it may).
    auto close = [](auto& popup) { ReleaseWindow(popup); };
    close(m_pPreview);
    close(m_pStamps);
    close(m_pCheque);
    close(m_pWords);
    close(m_pGroup);
}

HWND CDealGiftPanel::Owner() const {
    return m_pm ? m_pm->GetPaintWindow() : nullptr;
}

void CDealGiftPanel::Tip(const std::string& text) {
    PJ_Log(kLog, LOG_INFO, "CDealMainRight::ShowGiftTip", "%s", text.c_str());
    if (ShowGiftTip) ShowGiftTip(text);
}

// ---- pages ---------------------------------------------------------------------------------------------

int CDealGiftPanel::BuildGiftPage(const CatalogGroupInfo& group, const std::map<uint32_t, GiftItem*>& gifts) {
    std::vector<const GiftItem*> shown = giftrules::VisibleGifts(gifts, int64_t(std::time(nullptr)));
    auto* page = new CControlGiftSelect;
    page->SetTag(group.idx);
    page->SetColumns(4);
    page->SetItemSize(SIZE{59, 57});
    page->EnableScrollBar(true, false);
    std::string folder = Dir::GetZqPath(100);  // where the catalogue and its pictures are installed
    for (const GiftItem* gift : shown) {
        auto* cell = new CControlGiftSelectItem;
        cell->SetName("btnGiftSelectItem");
        cell->SetTag(gift->id);
        cell->m_nGiftId = int(gift->id);
        cell->SetFixedWidth(59);
        cell->SetFixedHeight(57);
        cell->SetAttribute("setcursorhand", "false");
        cell->SetBkImage(giftrules::CellImage(folder, group.path, gift->smallfname, "10,9,50,49").c_str());
        if (!page->Add(cell)) delete cell;
    }
    if (!m_pPages->Add(page)) delete page;
    return int(shown.size());
}

void CDealGiftPanel::BuildGiftCategories() {
    if (!m_pCategories || !m_pPages) return;
    m_pCategories->RemoveAll();
    m_pPages->RemoveAll();
    IDataHalvec* h = Halvec();
    GiftCatalogCopy gifts;
    if (h) h->GetGiftMap(gifts);
    COptionUI* first = nullptr;
    int position = 0;
    for (const auto& [group, items] : gifts) {
        if (position >= kMaxCategories) break;
        if (BuildGiftPage(group, items) > 0) {
            auto* spacer = new CControlUI;
            spacer->SetFixedWidth(1);
            m_pCategories->Add(spacer);
            auto* option = new COptionUI;
            option->SetName("optionGiftCategory");
            option->SetGroup("groupGiftCategory");
            option->SetTag(UINT_PTR(position));
            option->SetText(group.name.c_str());
            option->SetFixedWidth(40);
            option->SetFixedHeight(23);
            option->SetPadding(RECT{0, 2, 0, 0});
            option->SetNormalImage("file='option_privatechat.png' source='0,0,58,23' corner='2,2,2,2'");
            option->SetHotImage("file='option_privatechat.png' source='116,0,174,23' corner='2,2,2,2'");
            option->SetSelectedImage("file='option_privatechat.png' source='58,0,116,23' corner='2,2,2,2'");
            if (m_pCategories->Add(option) && !first) first = option;
        }
        ++position;
    }
    FreeCatalogCopy(gifts);
    m_pCategories->Add(new CControlUI);
    if (m_pPages->GetCount() > 0) {
        m_pPages->SelectItem(0);
        if (first) first->Selected(true, false);
    }
}

void CDealGiftPanel::OnGiftResourceUpdate(bool after) {
    if (after) {
        BuildGiftCategories();
        return;
    }
    IDataHalvec* h = Halvec();
    if (!h || !m_pm) return;
    GiftCatalogCopy gifts;
    h->GetGiftMap(gifts);
    std::string folder = Dir::GetZqPath(100);
    for (const auto& [group, items] : gifts) {
        for (const auto& [id, gift] : items) {
            // As the catalogue names them and as the cells loaded them.
            for (const std::string& base : {std::string(), folder}) {
                m_pm->RemoveImage((base + group.path + gift->smallfname).c_str());
                m_pm->RemoveImage((base + group.path + gift->fname).c_str());
            }
        }
    }
    FreeCatalogCopy(gifts);
}

void CDealGiftPanel::ResetCount() {
    if (m_pCountPresets) m_pCountPresets->SelectItem(-1);
    if (m_pCountEdit) {
        m_pCountEdit->SetText("1");
        m_pCountEdit->SetToolTip("1");
    }
}

void CDealGiftPanel::FillCountPresets() {
    if (m_pCountPresets) {
        m_pCountPresets->RemoveAll();
        for (const auto& p : giftrules::kCountPresets) {
            auto* item = new CListLabelElementUI;
            item->SetText(p.text);
            item->SetToolTip(p.text);
            item->SetTag(UINT_PTR(p.count));
            item->SetFixedHeight(15);
            if (!m_pCountPresets->Add(item)) delete item;
        }
    }
    ResetCount();
}

// ---- receivers -----------------------------------------------------------------------------------------

uint32_t CDealGiftPanel::ChosenReceiver() const {
    CListLabelElementUI* item = m_pReceivers ? ItemAt(m_pReceivers, m_pReceivers->GetCurSel()) : nullptr;
    return item ? uint32_t(item->GetTag()) : 0;
}

// ---- sending -------------------------------------------------------------------------------------------

void CDealGiftPanel::OnGiftCellClick(int giftId) {
    if (CGlobalDataApp::GetInstance().GetLevel() <= 100) {
        if (ShowGiftFailTip) ShowGiftFailTip(kGuestTip);
        return;
    }
    IDataHalvec* h = Halvec();
    if (h && h->IsGift21009(giftId)) OpenGroupGift();
    else if (h && h->IsGift21012(giftId)) OpenCheque();
    else SendGift(giftId);
}

void CDealGiftPanel::SendGift(int giftId) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    IRoomLogic* logic = m_room ? m_room->GetRoomLogic() : nullptr;
    giftrules::PanelSendInput in;
    in.chatReady = logic && logic->IsChatReady();
    in.stealth = app.GetAccount().stealth == 1;
    if (in.stealth) {
        GiftItem gift;
        CatalogGroupInfo group;
        IDataHalvec* h = Halvec();
        in.giftFound = h && h->GetGiftAndGroup(giftId, gift, group);
        in.groupName = group.name;
    }
    in.receiver = ChosenReceiver();
    in.countText = m_pCountEdit ? m_pCountEdit->GetText().c_str() : "";
    giftrules::PanelSend s = giftrules::CheckPanelSend(in);
    if (!s.error.empty()) {
        Tip(s.error);
        return;
    }
    CZQSendGiftMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = int(m_room ? m_room->GetRoomID() : 0);
    msg.tid = int(in.receiver);
    msg.gid = giftId;
    msg.cnt = s.count;
    msg.ctxInt[0] = msg.rid;
    msg.ctxInt[1] = msg.tid;
    msg.ctxInt[2] = giftId;
    PJ_Log(kLog, LOG_INFO, "CDealMainRight::SendGift", "送礼 gid=%d cnt=%d tid=%u", giftId, s.count, in.receiver);
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

template <class T>
T* CDealGiftPanel::Ensure(std::unique_ptr<T>& popup, const char* caption, int w, int h) {
    if (!popup) popup = std::make_unique<T>();
    if (!popup->GetHWND() && !popup->Create(Owner(), caption, UI_WS_POPUP, 0, 0, 0, w, h)) {
        PJ_Log(kLog, LOG_FAILURE, "CDealMainRight::OpenPopup", "创建窗口失败 %s", caption);
        return nullptr;
    }
    return popup.get();
}

void CDealGiftPanel::OpenGroupGift() {
    CUIGroupFreshProps* dlg = Ensure(m_pGroup, "群刷道具", CUIGroupFreshProps::kWidth, CUIGroupFreshProps::kHeight);
    if (!dlg) return;
    dlg->InitData(m_room, m_room ? m_room->GetRoomID() : 0);
    dlg->CenterWindow();
    dlg->ShowWindow(true);
}

void CDealGiftPanel::OpenCheque() {
    uint32_t receiver = ChosenReceiver();
    if (receiver == 0) {
        Tip("赠予人不能为空!");
        return;
    }
    RoomUserInfo user;
    if (!CRoomInfoMgr::GetInstance().GetRoomUser(m_room ? m_room->GetRoomID() : 0, receiver, user)) {
        Tip("获取赠送人信息失败!");
        return;
    }
    CUICheque* dlg = Ensure(m_pCheque, "支票对话框", CUICheque::kWidth, CUICheque::kHeight);
    if (!dlg) return;
    dlg->SetReceiver(user.uid, m_room, user.nickname);
    dlg->CenterWindow();
    dlg->ShowWindow(true);
}

void CDealGiftPanel::OpenWordsGift(uint32_t uid, const std::string& nickname) {
    CUIWordsProps* dlg = Ensure(m_pWords, "赠言道具", CUIWordsProps::kWidth, CUIWordsProps::kHeight);
    if (!dlg) return;
    dlg->SetReceiver(uid, m_room, nickname);
    dlg->CenterWindow();
    dlg->ShowWindow(true);
}

void CDealGiftPanel::OpenStampDialog(uint32_t uid) {
    if (!m_room || !m_pm || uid == 0) return;
    CUIABStempeln* dlg = Ensure(m_pStamps, "盖章对话框", CUIABStempeln::kWidth, CUIABStempeln::kHeight);
    if (!dlg) return;
    dlg->SetTarget(m_room, uid);
    dlg->LoadStampItems();
    dlg->CenterWindow();
    dlg->ShowWindow(true);
}

// ---- hover card ----------------------------------------------------------------------------------------

bool CDealGiftPanel::FillCard(CControlUI* cell, GiftCard& card) {
    IDataHalvec* h = Halvec();
    if (!cell || !h) return false;
    CControlUI* page = cell->GetParent();
    int group = page ? int(page->GetTag()) : -1;
    int id = int(cell->GetTag());
    GiftItem gift;
    if (!h->GetGift(group, id, gift)) return false;
    card.giftId = id;
    card.name = gift.name;
    card.image = gift.fname;
    card.price = gift.price;
    card.receiverGets = gift.ratio;
    card.inCoins = id == kChequeGift;
    return true;
}

void CDealGiftPanel::OnGiftItemHover(CControlUI* cell) {
    if (!m_pPreview) {
        m_pPreview = std::make_unique<CUIGiftPreview>();
        if (!m_pPreview->Create(Owner(), "", UI_WS_POPUP, kNoActivate)) {
            m_pPreview.reset();
            return;
        }
    }
    GiftCard card;
    if (!FillCard(cell, card)) return;
    m_pPreview->ShowGift(card);
    m_pPreview->DisarmHide();
    if (!m_pPreview->IsWindowVisible() && m_pPages && m_room && m_room->GetHWND()) {
        CWindowWnd* wnd = CWindowWnd::FromHandle(m_room->GetHWND());
        RECT rc = wnd ? wnd->GetWindowRect() : RECT{0, 0, 0, 0};
        const RECT& pages = m_pPages->GetPos();
        RECT size = m_pPreview->GetWindowRect();
        int x = rc.left + pages.left - 236, y = rc.top + pages.top - 1;
        m_pPreview->MoveWindow(x, y, size.right - size.left, size.bottom - size.top);
        m_pPreview->ShowWindow(true, false);
        PJ_Log(kLog, LOG_INFO, "CDealMainRight::OnGiftItemHover", "礼物预览 gid=%d (%d,%d)", card.giftId, x, y);
    }
}

void CDealGiftPanel::OnGiftItemEnter(CControlUI* cell) {
    if (!m_pPreview || !m_pPreview->IsWindowVisible()) return;
    GiftCard card;
    if (FillCard(cell, card)) {
        m_pPreview->ShowGift(card);
        m_pPreview->DisarmHide();
    }
}

void CDealGiftPanel::OnGiftItemLeave(CControlUI*, POINT pt) {
    CControlUI* under = m_pm ? m_pm->FindControl(pt) : nullptr;
    if (under && std::string(under->GetClass()) == "CControlGiftSelectItem") return;
    if (m_pPreview) m_pPreview->ArmHide();
}

// ---- notifications -------------------------------------------------------------------------------------

bool CDealGiftPanel::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return false;
    std::string name = msg.pSender->GetName().c_str();
    if (msg.sType == "click" && name == "btnGiftSelectItem") {
        // Cells of the popups notify their own windows; only the panel's pages reach here.
        OnGiftCellClick(int(msg.pSender->GetTag()));
        return true;
    }
    if (msg.sType == "selectchanged" && name == "optionGiftCategory") {
        int n = int(msg.pSender->GetTag());
        if (m_pPages && n >= 0 && n < m_pPages->GetCount()) {
            m_pPages->SelectItem(n);
            ResetCount();
        }
        return true;
    }
    if (msg.sType == "itemselect" && msg.pSender == m_pCountPresets) {
        if (m_pCountEdit && m_pCountPresets->GetCurSel() >= 0) {
            std::string text = m_pCountPresets->GetText().c_str();
            m_pCountEdit->SetText(text.c_str());
            m_pCountEdit->SetToolTip(text.c_str());
        }
        return true;
    }
    if (msg.sType == "textchanged" && msg.pSender == m_pCountEdit) {
        // A typed count is no preset any more.
        if (m_pCountPresets) m_pCountPresets->SelectItem(-1);
        return true;
    }
    if (msg.sType == "uinotifyGiftItemEnter") {
        OnGiftItemEnter(msg.pSender);
        return true;
    }
    if (msg.sType == "uinotifyGiftItemLeave") {
        OnGiftItemLeave(msg.pSender, msg.ptMouse);
        return true;
    }
    if (msg.sType == "uinotifyGiftItemHover") {
        OnGiftItemHover(msg.pSender);
        return true;
    }
    return false;
}

}  // namespace roomui
