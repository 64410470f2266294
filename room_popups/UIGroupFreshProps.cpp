// The group gift popup and its checkable user list.
#include <algorithm>
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

namespace {

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

constexpr int kMaxGroups = 6;

}  // namespace

// ---- CUIGroupFreshProps --------------------------------------------------------------------------------

CControlUI* CUIGroupFreshProps::CreateControl(const char* pstrClass) {
    if (pstrClass && std::string(pstrClass) == "CGroupUserListUI") return new CGroupUserListUI;
    return CGiftPopupBase::CreateControl(pstrClass);
}

void CUIGroupFreshProps::InitWindow() {
    CenterWindow();
    m_pUsers = dynamic_cast<CGroupUserListUI*>(Find("GroupUserList"));
    for (const char* box : {"AllPeopleChkBox", "AnchorsChkBox", "OnMicUsersChkBox", "ManageUsersChkBox"})
        if (auto* b = dynamic_cast<COptionUI*>(Find(box))) b->Selected(false, false);
    BuildGiftCategories();
    if (auto* combo = dynamic_cast<CComboUI*>(Find("GroupNumGiftToComBo"))) {
        combo->RemoveAll();
        for (const auto& p : giftrules::kCountPresets) {
            auto* item = new CListLabelElementUI;
            item->SetText(p.text);
            item->SetToolTip(p.text);
            item->SetTag(UINT_PTR(p.count));
            item->SetFixedHeight(15);
            if (!combo->Add(item)) delete item;
        }
        combo->SelectItem(-1);
    }
    SetLabel("GroupNumGiftToEdit", "1");
}

void CUIGroupFreshProps::BuildGiftCategories() {
    auto* tabs = dynamic_cast<CTabLayoutUI*>(Find("GiftTypePaneTabLayout"));
    auto* row = dynamic_cast<CContainerUI*>(Find("GiftCategoryContainer"));
    IDataHalvec* h = Halvec();
    if (!tabs || !row || !h) return;
    tabs->RemoveAll();
    row->RemoveAll();
    GiftCatalogCopy gifts;
    h->GetGiftMap(gifts);
    std::string folder = Dir::GetZqPath(100);  // where the catalogue and its pictures are installed
    int64_t now = int64_t(std::time(nullptr));
    auto special = [h](uint32_t id) { return h->IsGift21009(int(id)) || h->IsGift21012(int(id)); };
    COptionUI* first = nullptr;
    int index = 0;
    for (const auto& [group, items] : gifts) {
        if (index >= kMaxGroups) break;
        auto* page = new roomui::CControlGiftSelect;
        page->SetTag(group.idx);
        page->SetColumns(4);
        page->EnableScrollBar(true, false);
        std::vector<const GiftItem*> shown = giftrules::GroupGifts(items, now, special);
        for (const GiftItem* gift : shown) {
            auto* cell = new roomui::CControlGiftSelectItem;
            cell->SetName("btnGiftSelectItem");
            cell->SetTag(gift->id);
            cell->SetFixedWidth(55);
            cell->SetFixedHeight(57);
            cell->SetAttribute("setcursorhand", "false");
            cell->SetBkImage(giftrules::CellImage(folder, group.path, gift->smallfname, "10,9,50,49").c_str());
            cell->SetToolTip(gift->name.c_str());
            if (!page->Add(cell)) delete cell;
        }
        if (!tabs->Add(page)) {
            delete page;
            break;
        }
        if (!shown.empty()) {
            auto* spacer = new CControlUI;
            spacer->SetFixedWidth(1);
            row->Add(spacer);
            auto* option = new COptionUI;
            option->SetName("optionGiftCategory");
            option->SetTag(UINT_PTR(index));
            option->SetFixedWidth(40);
            option->SetFixedHeight(23);
            option->SetGroup("groupGiftCategory");
            option->SetNormalImage("file='option_privatechat.png' source='0,0,58,23' corner='2,2,2,2'");
            option->SetHotImage("file='option_privatechat.png' source='116,0,174,23' corner='2,2,2,2'");
            option->SetSelectedImage("file='option_privatechat.png' source='58,0,116,23' corner='2,2,2,2'");
            option->SetText(group.name.c_str());
            option->SetPadding(RECT{0, 2, 0, 0});
            if (row->Add(option) && !first) first = option;
        }
        ++index;
    }
    FreeCatalogCopy(gifts);
    row->Add(new CControlUI);
    if (tabs->GetCount() > 0) {
        tabs->SelectItem(0);
        if (first) first->Selected(true, false);
    }
}

void CUIGroupFreshProps::InitData(IRoomUI* room, uint32_t roomId) {
    m_pRoom = room;
    m_roomId = roomId;
    m_gift = 0;
    m_price = 0;
    for (const char* box : {"AllPeopleChkBox", "AnchorsChkBox", "OnMicUsersChkBox", "ManageUsersChkBox"})
        if (auto* b = dynamic_cast<COptionUI*>(Find(box))) b->Selected(false, false);
    SetLabel("SelGiftNameLabel", "");
    m_filters = 0;
    FillUsers();
    if (auto* combo = dynamic_cast<CComboUI*>(Find("GroupNumGiftToComBo"))) combo->SelectItem(-1);
    SetLabel("GroupNumGiftToEdit", "1");
    SetLabel("SelectedPeopleLabel", "已选人数: 0 人");
    UpdateTotal();
}

void CUIGroupFreshProps::FillUsers() {
    if (!m_pUsers) return;
    m_pUsers->RemoveAll();
    uint32_t me = CGlobalDataApp::GetInstance().GetUid();
    std::vector<RoomUserInfo> users;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    if (CRoomBaseInfo* info = store.LockRoom(m_roomId, 1)) {
        info->lock.AssertHeld();
        for (const auto& [uid, user] : info->users) users.push_back(user);
        store.UnlockRoom(m_roomId);
    }
    IDataHalvec* h = Halvec();
    for (const RoomUserInfo& u : users) {
        if (u.uid == me || u.level <= 100 || u.hide == 1) continue;
        roomui::UserListItemInfo row;
        row.uid = u.uid;
        row.role = int(u.role);
        row.levelCode = u.level;
        row.beautyId = u.beautyid;
        row.micState = int(u.mic);
        row.photoId = int(u.photoid);
        row.nickname = u.nickname;
        if (h) {
            UserPhotoItem photo;
            if (h->GetUserPhoto(-1, int(u.photoid), photo)) row.photoIcon = photo.fname;
            CatalogItem role;
            LevelItem level;
            if ((u.role == 30 || u.role == 40) && h->GetRole(int(u.role), role)) row.levelIcon = role.fname;
            else if (h->GetLevel(int(u.level), level)) row.levelIcon = level.fname;
        }
        if (u.role == 10 || u.role == 20 || u.role == 30 || u.role == 40) row.nameColour = 0xFF0000;
        m_pUsers->UpdateUser(row);
    }
    m_pUsers->SortUserList();
}

void CUIGroupFreshProps::ApplyFilters() {
    if (!m_pUsers) return;
    if (m_filters & kAll) {
        m_pUsers->CheckAll(true);
    } else {
        m_pUsers->CheckAll(false);
        for (int i = 0; i < m_pUsers->GetCount(); ++i) {
            int level = m_pUsers->GetLevelAt(i);
            if (((m_filters & kAnchors) && level >= 400 && level <= 900) ||
                ((m_filters & kOnMic) && m_pUsers->GetMicStateAt(i) != 0) ||
                ((m_filters & kManagers) && m_pUsers->GetRoleAt(i) != 0))
                m_pUsers->CheckAt(i);
        }
    }
    SetLabel("SelectedPeopleLabel", StringUtility::Format("已选人数: %d 人", m_pUsers->GetCheckedCount()));
    UpdateTotal();
}

void CUIGroupFreshProps::SelectGift(uint32_t giftId) {
    m_gift = giftId;
    GiftItem gift;
    IDataHalvec* h = Halvec();
    if (h && h->GetGift(-1, int(giftId), gift)) {
        m_price = gift.price;
        SetLabel("SelGiftNameLabel", gift.name);
    } else {
        m_price = 0;
        SetLabel("SelGiftNameLabel", "");
    }
    UpdateTotal();
}

void CUIGroupFreshProps::UpdateTotal() {
    CControlUI* edit = Find("GroupNumGiftToEdit");
    SetLabel("MoneyAmountsLabel",
             giftrules::GroupTotalText(m_gift, m_price, m_pUsers ? size_t(m_pUsers->GetCheckedCount()) : 0,
                                       edit ? edit->GetText().c_str() : ""));
}

void CUIGroupFreshProps::Send() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    GiftItem gift;
    IDataHalvec* h = Halvec();
    bool known = m_gift != 0 && h && h->GetGift(-1, int(m_gift), gift);
    CControlUI* edit = Find("GroupNumGiftToEdit");
    giftrules::GroupSend s = giftrules::CheckGroupSend(
        m_gift, app.GetAccount().stealth == 1, known, known ? gift.price : 0,
        m_pUsers ? size_t(m_pUsers->GetCheckedCount()) : 0, edit ? edit->GetText().c_str() : "");
    if (!s.error.empty()) {
        ShowBox(s.error);
        return;
    }
    CZQSendMultiGiftMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.cnt = s.count;
    msg.rid = int(m_roomId);
    std::vector<uint32_t> ids;
    m_pUsers->GetCheckedUserIDs(ids);
    msg.tidList.assign(ids.begin(), ids.end());
    msg.gid = int(m_gift);
    msg.ctxInt[0] = msg.rid;
    msg.ctxInt[1] = msg.gid;
    CMsgClientThread::GetInstance().PostRequest(&msg);
    CloseWith(1);
}

void CUIGroupFreshProps::Notify(TNotifyUI& msg) {
    std::string name = msg.pSender ? msg.pSender->GetName().c_str() : "";
    if (msg.sType == "selectchanged") {
        PJ_Log("VarnetFrame.txt", LOG_INFO, "CUIGroupFreshProps::OnSelectChangeMsg", "群刷道具");
        static const struct {
            const char* box;
            int flag;
        } kBoxes[] = {{"AllPeopleChkBox", kAll},
                      {"AnchorsChkBox", kAnchors},
                      {"OnMicUsersChkBox", kOnMic},
                      {"ManageUsersChkBox", kManagers}};
        for (const auto& b : kBoxes) {
            if (name != b.box) continue;
            auto* option = dynamic_cast<COptionUI*>(msg.pSender);
            if (option && option->IsSelected()) m_filters |= b.flag;
            else m_filters &= ~b.flag;
            ApplyFilters();
            return;
        }
        if (name == "ChkUserContainer") {
            SetLabel("SelectedPeopleLabel",
                     StringUtility::Format("已选人数: %d 人", m_pUsers ? m_pUsers->GetCheckedCount() : 0));
            UpdateTotal();
            return;
        }
        if (name == "optionGiftCategory") {
            auto* tabs = dynamic_cast<CTabLayoutUI*>(Find("GiftTypePaneTabLayout"));
            int n = int(msg.pSender->GetTag());
            if (tabs && n < tabs->GetCount()) tabs->SelectItem(n);
            return;
        }
    } else if (msg.sType == "click") {
        if (name == "GroupRefreshCloseBTN") {
            CloseWith(2);
            return;
        }
        if (name == "GroupRefreshGiftBTN") {
            Send();
            return;
        }
        if (name == "btnGiftSelectItem") {
            SelectGift(uint32_t(msg.pSender->GetTag()));
            return;
        }
    } else if (msg.sType == "itemselect" && name == "GroupNumGiftToComBo") {
        auto* combo = dynamic_cast<CComboUI*>(msg.pSender);
        if (combo && combo->GetCurSel() >= 0) SetLabel("GroupNumGiftToEdit", combo->GetText().c_str());
        UpdateTotal();
        return;
    } else if (msg.sType == "textchanged" && name == "GroupNumGiftToEdit") {
        if (auto* combo = dynamic_cast<CComboUI*>(Find("GroupNumGiftToComBo"))) combo->SelectItem(-1);
        UpdateTotal();
        return;
    }
    WindowImplBase::Notify(msg);
}
