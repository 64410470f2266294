#include "DealMainRight.h"

#include <cstdio>

#include "DealMainCenter.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "PickerControls.h"
#include "RoomBaseInfo.h"
#include "RoomInfoMgr.h"
#include "UIChkUserInfo.h"
#include "UIConsumeDetail.h"
#include "ZqLib.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {

constexpr uint32_t kManagerColour = 0xFFFF0000;
constexpr const char* kListNames[3] = {"UserManagerList", "UserMemberList", "UserMicOrderList"};
constexpr const char* kOptionNames[3] = {"UserListManagerOption", "UserListMemberOption", "UserListMicOrderOption"};
constexpr const char* kSearchNames[3] = {"UserManagerFindEdit", "UserMemberFindEdit", "UserMicOrderFindEdit"};
constexpr const char* kSearchBarNames[3] = {"UserManagerFindLayout", "UserMemberFindLayout", "UserMicOrderFindLayout"};
constexpr const char* kCountFormats[3] = {"管理/%u", "成员/%u", "麦序/%u"};

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

bool IsManagerRank(uint32_t role) {
    return role == 10 || role == 20 || role == 30 || role == 40;
}

std::string StatusIcon(const RoomUserInfo& u, IDataHalvec* h) {
    int id = u.mic == 1 ? 61001 : u.mic != 0 ? 61002 : u.camera == 1 ? 61000 : 0;
    CatalogItem icon;
    return id && h && h->GetIcon(id, icon) ? icon.fname : std::string();
}

// True when the user is listed: not hidden, or the own user.
bool Listed(const RoomUserInfo& u, uint32_t me) {
    return u.hide != 1 || u.uid == me;
}

bool Matches(const RoomUserInfo& u, const std::string& text) {
    if (text.empty()) return true;
    char id[16];
    std::snprintf(id, sizeof id, "%u", u.beautyid);
    return u.nickname.find(text) != std::string::npos || std::string(id).find(text) != std::string::npos;
}

}  // namespace

CDealMainRight::CDealMainRight()
    : m_userInfo(std::make_unique<roompopups::CUIChkUserInfo>()),
      m_consume(std::make_unique<roompopups::CUIConsumeDetail>()) {
    m_userInfo->m_createControl = [](const char* cls) -> CControlUI* {
        return cls && std::string(cls) == "CControlGifBk" ? new CControlGifBk : nullptr;
    };
}

CDealMainRight::~CDealMainRight() {
    // Reverse order of construction.
    m_consume.reset();
    m_userInfo.reset();
}

void CDealMainRight::Init(IRoomUI* room, CUserListUI* managers, CUserListUI* members, CUserListUI* micOrder,
                          IChatView* trumpet) {
    m_room = room;
    m_managers = managers;
    m_members = members;
    m_micOrder = micOrder;
    m_trumpet = trumpet;
}

void CDealMainRight::InitControls(IRoomUI* room, IRoomModalHost* host, CPaintManagerUI* pm, IChatView* trumpet) {
    m_host = host;
    m_pm = pm;
    auto find = [pm](const char* name) { return pm ? pm->FindControl(name) : nullptr; };
    Init(room, dynamic_cast<CUserListUI*>(find(kListNames[0])), dynamic_cast<CUserListUI*>(find(kListNames[1])),
         dynamic_cast<CUserListUI*>(find(kListNames[2])), trumpet);
    m_tab = dynamic_cast<CTabLayoutUI*>(find("RightUserListTab"));
    for (int i = 0; i < 3; ++i) {
        m_options[i] = dynamic_cast<COptionUI*>(find(kOptionNames[i]));
        m_search[i] = dynamic_cast<CEditUI*>(find(kSearchNames[i]));
        m_searchBars[i] = find(kSearchBarNames[i]);
    }
    m_giftTargets = dynamic_cast<CComboUI*>(find("GiftToPeopleComBo"));
    ShowTab(1);
    UpdateListCounts();
}

void CDealMainRight::ReleaseWindows() {
    for (WindowImplBase* popup :
         {static_cast<WindowImplBase*>(m_consume.get()), static_cast<WindowImplBase*>(m_userInfo.get())})
        if (HWND h = popup->GetHWND()) ::DestroyWindow(h);
    m_pm = nullptr;
    m_host = nullptr;
    m_managers = m_members = m_micOrder = nullptr;
    m_tab = nullptr;
    for (int i = 0; i < 3; ++i) m_options[i] = nullptr, m_search[i] = nullptr, m_searchBars[i] = nullptr;
    m_giftTargets = nullptr;
}

uint32_t CDealMainRight::RoomId() const {
    return m_room ? m_room->GetRoomID() : 0;
}

UserListItemInfo CDealMainRight::ToItem(const RoomUserInfo& user) {
    UserListItemInfo item;
    item.uid = user.uid;
    item.role = int(user.role);
    item.levelCode = user.level;
    item.micState = int(user.mic);
    item.photoId = int(user.photoid);
    item.nickname = user.nickname;
    item.beautyId = user.beautyid;
    IDataHalvec* h = Halvec();
    if (user.role == 40 || user.role == 30) {
        CatalogItem role;
        if (h && h->GetRole(int(user.role), role)) item.levelIcon = role.fname;
        item.nameColour = kManagerColour;
    } else {
        LevelItem level;
        if (h && h->GetLevel(int(user.level), level)) item.levelIcon = level.fname;
        item.nameColour = user.role == 20 || user.role == 10 ? kManagerColour : 0;
    }
    item.statusIcon = StatusIcon(user, h);
    UserPhotoItem photo;
    if (h && h->GetUserPhoto(-1, int(user.photoid), photo)) item.photoIcon = photo.fname;
    GiftItem tag;
    if (user.tagid != 0 && h && h->GetTag(-1, int(user.tagid), tag)) item.stampIcon = tag.smallfname;
    return item;
}

void CDealMainRight::Place(CUserListUI* list, const UserListItemInfo& item, bool belongs) {
    if (!list) return;
    if (belongs) list->UpdateUser(item);
    else list->RemoveUser(item.uid);
    list->SortUserList();
}

void CDealMainRight::RebuildUserLists() {
    if (!m_managers || !m_members || !m_micOrder) return;
    if (m_giftTargets) m_giftTargets->RemoveAll();
    for (CUserListUI* list : {m_managers, m_members, m_micOrder}) list->RemoveAll();
    const uint32_t room = RoomId(), me = CGlobalDataApp::GetInstance().GetUid();
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    std::vector<RoomUserInfo> users;
    CRoomBaseInfo* info = store.LockRoom(room, 1);
    if (!info) return;
    info->lock.AssertHeld();
    for (const auto& [uid, user] : info->users)
        if (Listed(user, me)) users.push_back(user);
    store.UnlockRoom(room);
    // Rows are built outside the room's lock (the catalogue is asked for each).
    for (const RoomUserInfo& u : users) {
        UserListItemInfo item = ToItem(u);
        m_members->AddUser(item);
        if (u.role != 0) m_managers->AddUser(item);
        if (u.mic != 0) m_micOrder->AddUser(item);
        if (u.mic == 1) AddGiftTarget(u.nickname, u.uid);
    }
    for (CUserListUI* list : {m_managers, m_members, m_micOrder}) list->SortUserList();
    UpdateListCounts();
}

void CDealMainRight::AddOrPlaceUser(uint32_t uid) {
    RoomUserInfo u;
    if (!CRoomInfoMgr::GetInstance().GetRoomUser(RoomId(), uid, u) || u.hide == 1) return;
    UserListItemInfo item = ToItem(u);
    // A list under a search takes only the users its text finds.
    Place(m_members, item, Matches(u, Needle(1)));
    Place(m_managers, item, IsManagerRank(u.role) && Matches(u, Needle(0)));
    Place(m_micOrder, item, (u.mic == 1 || u.mic == 2) && Matches(u, Needle(2)));
}

void CDealMainRight::RefreshUser(uint32_t uid) {
    if (uid == 0 || !m_managers || !m_members || !m_micOrder) return;
    RoomUserInfo u;
    if (CRoomInfoMgr::GetInstance().GetRoomUser(RoomId(), uid, u) && u.hide != 1) {
        UserListItemInfo item = ToItem(u);
        Place(m_members, item, Matches(u, Needle(1)));
        if (m_managers->HasUser(uid)) Place(m_managers, item, u.role != 0 && Matches(u, Needle(0)));
        if (m_micOrder->HasUser(uid)) Place(m_micOrder, item, u.mic != 0 && Matches(u, Needle(2)));
    }
    UpdateListCounts();
}

void CDealMainRight::RemoveUser(uint32_t uid) {
    for (CUserListUI* list : {m_managers, m_members, m_micOrder})
        if (list) list->RemoveUser(uid);
    if (m_giftTargets) {
        for (int i = m_giftTargets->GetCount() - 1; i >= 0; --i) {
            CControlUI* item = m_giftTargets->GetItemAt(i);
            if (item && item->GetTag() == UINT_PTR(uid)) m_giftTargets->RemoveAt(i);
        }
    }
    UpdateListCounts();
}

std::string CDealMainRight::Needle(int list) const {
    if (list < 0 || list > 2 || !m_search[list]) return {};
    std::string text = m_search[list]->GetText().c_str();
    return text == kSearchPrompt ? std::string() : text;
}

void CDealMainRight::UpdateListCounts() {
    // Under a search a list holds what its text finds; its tab still counts everybody of the list.
    unsigned listed[3] = {0, 0, 0};
    bool searching[3];
    for (int i = 0; i < 3; ++i) searching[i] = !Needle(i).empty();
    if (searching[0] || searching[1] || searching[2]) {
        const uint32_t room = RoomId(), me = CGlobalDataApp::GetInstance().GetUid();
        CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
        if (CRoomBaseInfo* info = store.LockRoom(room, 1)) {
            info->lock.AssertHeld();
            for (const auto& [uid, u] : info->users) {
                if (!Listed(u, me)) continue;
                ++listed[1];
                if (u.role != 0) ++listed[0];
                if (u.mic != 0) ++listed[2];
            }
            store.UnlockRoom(room);
        }
    }
    for (int i = 0; i < 3; ++i) {
        CUserListUI* list = List(i);
        const unsigned count = searching[i] ? listed[i] : unsigned(list ? list->GetCount() : 0);
        m_countText[i] = StringUtility::Format(kCountFormats[i], count);
        if (m_options[i]) m_options[i]->SetText(m_countText[i].c_str());
    }
}

void CDealMainRight::FilterList(int index, const std::string& text) {
    CUserListUI* list = List(index);
    if (!list) return;
    std::string needle = text == kSearchPrompt ? std::string() : text;
    list->RemoveAll();
    const uint32_t room = RoomId(), me = CGlobalDataApp::GetInstance().GetUid();
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    std::vector<RoomUserInfo> users;
    if (CRoomBaseInfo* info = store.LockRoom(room, 1)) {
        info->lock.AssertHeld();
        for (const auto& [uid, u] : info->users) {
            if (!Listed(u, me) || (index == 0 && u.role == 0) || (index == 2 && u.mic == 0)) continue;
            if (Matches(u, needle)) users.push_back(u);
        }
        store.UnlockRoom(room);
    }
    for (const RoomUserInfo& u : users) list->AddUser(ToItem(u));
    list->SortUserList();
}

void CDealMainRight::AddGiftTarget(const std::string& nickname, uint32_t uid) {
    if (nickname.empty() || uid == 0 || uid == CGlobalDataApp::GetInstance().GetUid() || !m_giftTargets) return;
    // The user's own item, found by id: two users may share a nickname, and the gift is paid.
    for (int i = 0; i < m_giftTargets->GetCount(); ++i) {
        CControlUI* item = m_giftTargets->GetItemAt(i);
        if (item && item->GetTag() == UINT_PTR(uid)) {
            if (std::string(item->GetText().c_str()) != nickname) item->SetText(nickname.c_str());
            m_giftTargets->SelectItem(i);
            return;
        }
    }
    auto* item = new CListLabelElementUI;
    item->SetText(nickname.c_str());
    item->SetTag(UINT_PTR(uid));
    item->SetFixedHeight(15);
    if (!m_giftTargets->Add(item)) {
        delete item;
        return;
    }
    m_giftTargets->SelectItem(m_giftTargets->GetCount() - 1);
}

void CDealMainRight::SelectGiftTarget(uint32_t uid) {
    if (uid == CGlobalDataApp::GetInstance().GetUid()) return;
    RoomUserInfo u;
    if (CRoomInfoMgr::GetInstance().GetRoomUser(RoomId(), uid, u) && u.level != 100 && u.hide != 1)
        AddGiftTarget(u.nickname, uid);
}

int CDealMainRight::LocateUserRow(uint32_t uid) {
    ShowTab(1);
    if (!m_members) return -1;
    int index = m_members->FindUserIndex(uid);
    if (index < 0) return index;
    return m_members->SelectItem(index) ? 1 : 0;
}

void CDealMainRight::OpenStampDialog(uint32_t uid) {
    if (OnOpenStamp) OnOpenStamp(uid);
}

CUserListUI* CDealMainRight::GetCurrentList() const {
    if (!m_tab) return nullptr;
    int sel = m_tab->GetCurSel();
    return sel >= 0 && sel <= 2 ? List(sel) : nullptr;
}

void CDealMainRight::ShowTab(int index) {
    for (int i = 0; i < 3; ++i)
        if (m_options[i] && i != index) m_options[i]->Selected(false);
    if (m_options[index]) m_options[index]->Selected(true);
    if (m_tab) m_tab->SelectItem(index);
}

int CDealMainRight::SearchIndex(CControlUI* edit) const {
    for (int i = 0; i < 3; ++i)
        if (edit && edit == m_search[i]) return i;
    return -1;
}

bool CDealMainRight::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return false;
    std::string name = msg.pSender->GetName().c_str();
    const std::string& type = msg.sType;
    if (type == DUI_MSGTYPE_MENU) {
        if (msg.pSender != m_managers && msg.pSender != m_members && msg.pSender != m_micOrder) return false;
        OnMenu(msg);
        return true;
    }
    if (type == DUI_MSGTYPE_CLICK) {
        static const char* const kMine[] = {"UserListLocatSeftBTN", "UserListFindBTN", "CustomDetailBTN"};
        for (const char* n : kMine)
            if (name == n) {
                OnClick(name);
                return true;
            }
        return false;
    }
    if (type == DUI_MSGTYPE_ITEMCLICK) {
        for (CUserListUI* list : {m_managers, m_members, m_micOrder})
            if (list && list->GetItemIndex(msg.pSender) >= 0) {
                OnItemClick(msg);
                return true;
            }
        return false;
    }
    if (type == DUI_MSGTYPE_SELECTCHANGED) {
        for (int i = 0; i < 3; ++i)
            if (name == kOptionNames[i]) {
                OnSelectChanged(name);
                return true;
            }
        return false;
    }
    int search = SearchIndex(msg.pSender);
    if (search < 0) return false;
    CEditUI* edit = m_search[search];
    std::string text = edit->GetText().c_str();
    if (type == DUI_MSGTYPE_SETFOCUS) {
        if (text == kSearchPrompt) edit->SetText("");
    } else if (type == DUI_MSGTYPE_KILLFOCUS) {
        if (text.empty()) edit->SetText(kSearchPrompt);
    } else if (type == DUI_MSGTYPE_TEXTCHANGED) {
        FilterList(search, text);
    } else {
        return false;
    }
    return true;
}

void CDealMainRight::OnClick(const std::string& name) {
    if (name == "UserListLocatSeftBTN") {
        LocateUserRow(CGlobalDataApp::GetInstance().GetUid());
    } else if (name == "UserListFindBTN") {
        int sel = m_tab ? m_tab->GetCurSel() : -1;
        if (sel < 0 || sel > 2 || !m_searchBars[sel]) return;
        bool show = !m_searchBars[sel]->IsVisible();
        m_searchBars[sel]->SetVisible(show);
        if (show && m_search[sel]) m_search[sel]->SetFocus();
    } else if (name == "CustomDetailBTN") {
        ShowConsumeDetail();
    }
}

void CDealMainRight::OnItemClick(TNotifyUI& msg) {
    if (!msg.pSender->GetInterface("ListContainerElement")) return;
    const UserListItemInfo* rec = CUserListUI::RecordOf(msg.pSender);
    if (!rec || rec->uid == CGlobalDataApp::GetInstance().GetUid()) return;
    if (rec->levelCode > 100) AddGiftTarget(rec->nickname, rec->uid);
    if (auto* center = GetRoomDealUI<CDealMainCenter>(m_room, 1)) center->SetChatTarget(rec->uid);
}

void CDealMainRight::OnSelectChanged(const std::string& name) {
    for (int i = 0; i < 3; ++i)
        if (name == kOptionNames[i] && m_tab) m_tab->SelectItem(i);
}

void CDealMainRight::ShowConsumeDetail() {
    roompopups::CUIConsumeDetail& popup = *m_consume;
    popup.m_roomId = RoomId();
    if (!popup.GetHWND()) {
        if (!popup.Create(m_pm ? m_pm->GetPaintWindow() : nullptr, "消费明细对话框", UI_WS_POPUP, 0, 0, 0,
                          roompopups::CUIConsumeDetail::kWidth, roompopups::CUIConsumeDetail::kHeight))
            return;
        popup.CenterWindow();
    }
    popup.InitWindow();
    popup.ShowWindow(true);
}

void CDealMainRight::ShowUserInfoPopup() {
    roompopups::CUIChkUserInfo& popup = *m_userInfo;
    if (!popup.GetHWND()) {
        if (!popup.Create(m_pm ? m_pm->GetPaintWindow() : nullptr, "查看他人信息对话框", UI_WS_POPUP, 0, 0, 0,
                          roompopups::CUIChkUserInfo::kWidth, roompopups::CUIChkUserInfo::kHeight))
            return;
        popup.CenterWindow();
    }
    popup.InitWindow();
    popup.ShowWindow(true);
}

void CDealMainRight::ShowUserDetail(const RoomUserDetail& d) {
    roompopups::UserDetailInfo& info = m_userInfo->m_info;
    info.uid = d.uid;
    info.beautyId = d.beautyid;
    info.photoId = d.photoid;
    info.nickname = d.nickname;
    info.levelId = d.level;
    info.sex = d.sex;
    info.birthday = d.birth;
    info.province = d.province;
    info.city = d.city;
    ShowUserInfoPopup();
}

}  // namespace roomui
