#include "UserListUI.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <vector>

#include "IDataHalvec.h"
#include "UIGif.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {

bool IsTopCode(uint32_t code) {
    return code == 1000 || code == 1100 || code == 1200;
}

bool IsTopManager(const UserListItemInfo& u) {
    return (u.role == 30 || u.role == 40) && !IsTopCode(u.levelCode);
}

// (rank, key, beauty id): smaller goes first.
std::tuple<int, int64_t, uint32_t> OrderKey(const UserListItemInfo& u) {
    uint32_t c = u.levelCode;
    if (!IsTopManager(u) && IsTopCode(c)) return {0, -int64_t(c), u.beautyId};
    if (IsTopManager(u)) return {1, -int64_t(u.role), u.beautyId};
    if (c >= 1000 && c <= 1200) return {2, -int64_t(c), u.beautyId};
    if (c >= 400 && c <= 900) return {3, -int64_t(c), u.beautyId};
    if (c >= 1300 && c <= 1500) return {4, int64_t(c), u.beautyId};
    if (c >= 1600 && c <= 1700) return {5, -int64_t(c), u.beautyId};
    if (c <= 399) return {6, -int64_t(c), u.beautyId};
    return {7, int64_t(c), u.beautyId};
}

std::string Num(long long v) {
    return std::to_string(int(v));
}

CControlUI* Sub(CControlUI* row, const char* name) {
    auto* c = static_cast<CContainerUI*>(row->GetInterface("Container"));
    return c ? c->FindSubControl(name) : nullptr;
}

// The level's name from the catalogue, "" when it does not know the level.
std::string LevelName(uint32_t code) {
    IDataManager* dm = AfxGetDataManager();
    auto* h = dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
    LevelItem level;
    return h && h->GetLevel(int(code), level) ? level.name : std::string();
}

void ShowId(CLabelUI* id, const UserListItemInfo& info, uint32_t colour) {
    uint32_t shown = info.beautyId ? info.beautyId : info.uid;
    const std::string text = Num(shown);
    id->SetText(text.c_str());
    id->SetToolTip(text.c_str());
    id->SetTag(shown);
    id->SetTextColor(colour);
}

}  // namespace

// ---- CGifListUIItem ------------------------------------------------------------------------------------

CGifListUIItem::~CGifListUIItem() {
    delete m_pGif;
}

void* CGifListUIItem::GetInterface(const char* name) {
    if (EqualNoCase(name, "CGifListUIItem")) return this;
    return CControlUI::GetInterface(name);
}

bool CGifListUIItem::SetGifPath(const std::string& path) {
    delete m_pGif;
    m_pGif = path.empty() ? nullptr : DuiLib::GetGif(path.c_str(), m_pManager);
    Invalidate();
    return IsAnimated();
}

void CGifListUIItem::Step(DWORD now) {
    if (!IsAnimated() || !IsVisible()) return;
    if (now - m_lastPaint < DWORD(std::max(0, m_pGif->GetCurrentDelay()))) return;
    m_pGif->NextFrame();
    Invalidate();
}

void CGifListUIItem::PaintBkImage(HDC hDC) {
    if (!m_pGif) {
        CControlUI::PaintBkImage(hDC);
        return;
    }
    TImageInfo* frame = m_pGif->GetCurrentFrame();
    if (!frame) return;
    RECT dest{m_rcItem.left + m_rcPad.left, m_rcItem.top + m_rcPad.top, m_rcItem.right - m_rcPad.right,
              m_rcItem.bottom - m_rcPad.bottom};
    CRenderEngine::DrawImage(hDC, frame, dest, m_rcPaint, RECT{0, 0, frame->nX, frame->nY}, RECT{}, frame->bAlpha, 255);
    m_lastPaint = ::GetTickCount();
}

bool UserOrderLess(const UserListItemInfo& a, const UserListItemInfo& b) {
    return OrderKey(a) < OrderKey(b);
}

namespace {

bool RowLess(CControlUI* a, CControlUI* b) {
    const UserListItemInfo* ra = CUserListUI::RecordOf(a);
    const UserListItemInfo* rb = CUserListUI::RecordOf(b);
    if (!ra) return false;
    if (!rb) return true;
    return UserOrderLess(*ra, *rb);
}

}  // namespace

CUserListUI::CUserListUI() {
    SetRowHeight(kRowHeight);
}

CUserListUI::~CUserListUI() {
    // The records only: the rows go with the container (not through the manager's delayed clean-up, which
    // no longer runs once the window is gone).
    m_animated.clear();
    for (int i = 0; i < GetCount(); ++i) {
        CControlUI* row = GetItemAt(i);
        delete reinterpret_cast<UserListItemInfo*>(row->GetTag());
        row->SetTag(0);
    }
}

void* CUserListUI::GetInterface(const char* name) {
    if (EqualNoCase(name, GetClass())) return this;
    return CListUI::GetInterface(name);
}

const UserListItemInfo* CUserListUI::RecordOf(CControlUI* row) {
    return row ? reinterpret_cast<const UserListItemInfo*>(row->GetTag()) : nullptr;
}

void CUserListUI::Animate(CGifListUIItem* icon, bool on) {
    if (!icon) return;
    const bool listed = icon->m_animSlot < m_animated.size() && m_animated[icon->m_animSlot] == icon;
    if (on && !listed) {
        icon->m_animSlot = m_animated.size();
        m_animated.push_back(icon);
        if (!m_bTimer && m_pManager) m_bTimer = m_pManager->SetTimer(this, TimerId(), kAnimationMs);
    } else if (!on && listed) {
        // The last icon takes the leaving one's place.
        CGifListUIItem* last = m_animated.back();
        m_animated[icon->m_animSlot] = last;
        last->m_animSlot = icon->m_animSlot;
        m_animated.pop_back();
        icon->m_animSlot = SIZE_MAX;
        if (m_animated.empty() && m_bTimer) {
            if (m_pManager) m_pManager->KillTimer(this, TimerId());
            m_bTimer = false;
        }
    }
}

void CUserListUI::SetLevelIcon(CGifListUIItem* icon, const UserListItemInfo& info) {
    Animate(icon, false);
    icon->SetTag(info.levelCode);
    if (icon->SetGifPath(info.levelIcon)) Animate(icon, true);
    icon->SetToolTip(LevelName(info.levelCode).c_str());
}

CLabelUI* CUserListUI::MakeLabel(const char* name, int width, int padLeft, const std::string& text, uint32_t colour) {
    auto* label = new CLabelUI;
    label->SetName(name);
    label->SetFixedWidth(width);
    label->SetPadding(RECT{padLeft, 0, 0, 0});
    label->SetText(text.c_str());
    label->SetToolTip(text.c_str());
    label->SetTextColor(colour);
    return label;
}

CListContainerElementUI* CUserListUI::MakeRow(const UserListItemInfo& info) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(25);
    auto* horiz = new CHorizontalLayoutUI;
    horiz->SetName("UserInfoListHorizUI");
    auto box = [&](CControlUI* c, const char* name, int side, RECT pad) {
        c->SetName(name);
        c->SetFixedWidth(side);
        c->SetFixedHeight(side);
        c->SetPadding(pad);
        horiz->Add(c);
        return c;
    };
    auto* level = new CGifListUIItem;
    box(level, "LevelIconContainer", 16, RECT{5, 2, 0, 0});
    CControlUI* status = box(new CControlUI, "UserStatusContainer", 16, RECT{5, 2, 0, 0});
    status->SetTag(UINT_PTR(info.micState));
    if (!info.statusIcon.empty()) status->SetBkImage(info.statusIcon.c_str());
    CControlUI* photo = box(new CControlUI, "UserPhotoContainer", 18, RECT{5, 1, 0, 0});
    photo->SetTag(UINT_PTR(info.photoId));
    if (!info.photoIcon.empty()) photo->SetBkImage(info.photoIcon.c_str());
    horiz->Add(MakeLabel("UserNickNameLabel", 100, 5, info.nickname, info.nameColour));
    if (!info.stampIcon.empty()) {
        auto* stamp = new CControlUI;
        stamp->SetName("UserABStempelnLabel");
        stamp->SetFloat(true);
        stamp->SetFixedWidth(43);
        stamp->SetFixedHeight(25);
        stamp->SetPos(RECT{135, 0, 178, 25});
        stamp->SetBkImage(info.stampIcon.c_str());
        horiz->Add(stamp);
    }
    auto* id = MakeLabel("UserBeautyIDLabel", 70, 2, "", info.nameColour);
    ShowId(id, info, info.nameColour);
    horiz->Add(id);
    row->Add(horiz);
    return row;
}

int CUserListUI::AddUser(const UserListItemInfo& info) {
    // One row per user: a user listed already is refreshed.
    if (m_rows.count(info.uid)) return UpdateUser(info);
    CListContainerElementUI* row = MakeRow(info);
    row->SetTag(reinterpret_cast<UINT_PTR>(new UserListItemInfo(info)));
    if (!Add(row)) {
        delete reinterpret_cast<UserListItemInfo*>(row->GetTag());
        delete row;
        return 0;
    }
    m_rows.emplace(info.uid, row);
    // After Add: the icon has the list's paint manager to load its picture and the list its timer.
    if (auto* level = static_cast<CGifListUIItem*>(Sub(row, "LevelIconContainer")->GetInterface("CGifListUIItem")))
        SetLevelIcon(level, info);
    return 1;
}

void CUserListUI::Refresh(CControlUI* row, UserListItemInfo& rec, const UserListItemInfo& info) {
    rec.uid = info.uid;
    rec.nameColour = info.nameColour;
    CControlUI* levelControl = Sub(row, "LevelIconContainer");
    if (auto* level =
            levelControl ? static_cast<CGifListUIItem*>(levelControl->GetInterface("CGifListUIItem")) : nullptr) {
        // Role and level code change only together with the icon.
        if (info.levelIcon != rec.levelIcon) {
            rec.levelCode = info.levelCode;
            rec.role = info.role;
            rec.levelIcon = info.levelIcon;
            SetLevelIcon(level, rec);
        }
        level->SetToolTip(LevelName(rec.levelCode).c_str());
    }
    if (CControlUI* status = Sub(row, "UserStatusContainer"); status && status->GetTag() != UINT_PTR(info.micState)) {
        rec.micState = info.micState;
        rec.statusIcon = info.statusIcon;
        status->SetTag(UINT_PTR(info.micState));
        status->SetBkImage(info.statusIcon.c_str());
    }
    if (CControlUI* photo = Sub(row, "UserPhotoContainer"); photo && photo->GetTag() != UINT_PTR(info.photoId)) {
        rec.photoId = info.photoId;
        rec.photoIcon = info.photoIcon;
        photo->SetTag(UINT_PTR(info.photoId));
        photo->SetBkImage(info.photoIcon.c_str());
    }
    if (auto* nick = static_cast<CLabelUI*>(Sub(row, "UserNickNameLabel"))) {
        if (std::string(nick->GetText().c_str()) != info.nickname) {
            rec.nickname = info.nickname;
            nick->SetText(info.nickname.c_str());
            nick->SetToolTip(info.nickname.c_str());
        }
        nick->SetTextColor(rec.nameColour);
    }
    CControlUI* stamp = Sub(row, "UserABStempelnLabel");
    if (!info.stampIcon.empty() && Sub(row, "UserStatusContainer")) {  // the group list has no stamps
        if (!stamp) {
            if (auto* horiz = static_cast<CContainerUI*>(Sub(row, "UserInfoListHorizUI"))) {
                stamp = new CControlUI;
                stamp->SetName("UserABStempelnLabel");
                stamp->SetFloat(true);
                stamp->SetFixedWidth(43);
                stamp->SetFixedHeight(25);
                stamp->SetPos(RECT{135, 0, 178, 25});
                horiz->Add(stamp);
            }
        }
        if (stamp) stamp->SetBkImage(info.stampIcon.c_str());
        rec.stampIcon = info.stampIcon;
    } else if (stamp && std::string(stamp->GetBkImage()).size() > 2) {
        stamp->SetBkImage("");
    }
    if (auto* id = static_cast<CLabelUI*>(Sub(row, "UserBeautyIDLabel"))) {
        rec.beautyId = info.beautyId;
        ShowId(id, rec, rec.nameColour);
    }
}

int CUserListUI::UpdateUser(const UserListItemInfo& info) {
    auto found = m_rows.find(info.uid);
    if (found == m_rows.end()) return AddUser(info) ? 1 : 0;
    CControlUI* row = found->second;
    auto* rec = reinterpret_cast<UserListItemInfo*>(row->GetTag());
    if (!rec) return 0;
    const UserListItemInfo before = *rec;
    Refresh(row, *rec, info);
    if (UserOrderLess(before, *rec) || UserOrderLess(*rec, before)) {
        // Rows added since the last sort are placed then anyway.
        if (m_changed == row || (m_sorted < GetCount() && GetItemIndex(row) >= m_sorted)) return 1;
        if (m_changed) m_unsorted = true;
        else m_changed = row;
    }
    return 1;
}

int CUserListUI::RemoveUser(uint32_t uid) {
    auto found = m_rows.find(uid);
    if (found == m_rows.end()) return 0;
    CControlUI* row = found->second;
    int index = GetItemIndex(row);
    if (index < 0) return 0;
    m_rows.erase(found);
    if (index < m_sorted) --m_sorted;
    if (m_changed == row) m_changed = nullptr;
    if (CControlUI* level = Sub(row, "LevelIconContainer"))
        Animate(static_cast<CGifListUIItem*>(level->GetInterface("CGifListUIItem")), false);
    delete reinterpret_cast<UserListItemInfo*>(row->GetTag());
    row->SetTag(0);
    RemoveAt(index);
    return 1;
}

int CUserListUI::FindUserIndex(uint32_t uid) const {
    auto found = m_rows.find(uid);
    return found == m_rows.end() ? -1 : GetItemIndex(found->second);
}

int CUserListUI::PlaceOf(int from, int end, bool afterEquals) const {
    // Binary search among [0, end) without `from`: position k of that sequence is m_items[k < from ? k : k + 1].
    CControlUI* row = m_items[size_t(from)];
    auto at = [&](int k) { return m_items[size_t(k < from ? k : k + 1)]; };
    const int n = from < end ? end - 1 : end;
    auto bound = [&](bool upper) {
        int lo = 0, hi = n;
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            bool before = upper ? !RowLess(row, at(mid)) : RowLess(at(mid), row);
            if (before) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    };
    const int lower = bound(false);
    if (afterEquals) return bound(true);
    // A stable sort keeps the row after the equal rows that stood above it and before those below.
    const int upper = bound(true);
    return std::clamp(std::min(from, n), lower, upper);
}

void CUserListUI::FullSort() {
    CControlUI* selected = GetItemAt(m_iCurSel);
    std::stable_sort(m_items.begin(), m_items.end(), RowLess);
    m_iCurSel = selected ? GetItemIndex(selected) : -1;
    NeedUpdate();
}

int CUserListUI::SortUserList() {
    if (GetCount() == 0) return 0;
    const int added = GetCount() - m_sorted;
    // A few rows are placed one by one (each a binary search); more are sorted with the rest.
    if (m_unsorted || added > 16 + GetCount() / 64) {
        FullSort();
    } else {
        if (m_changed) {
            int from = GetItemIndex(m_changed);
            if (from >= 0 && from < m_sorted) MoveItem(from, PlaceOf(from, m_sorted, false));
        }
        for (int from = m_sorted; from < GetCount(); ++from) MoveItem(from, PlaceOf(from, from, true));
    }
    m_sorted = GetCount();
    m_changed = nullptr;
    m_unsorted = false;
    return 1;
}

int CUserListUI::GetItemIndexAtPoint(int x, int y) const {
    return GetItemIndexAt(POINT{x, y});
}

uint32_t CUserListUI::GetUserIDAt(int index) const {
    const UserListItemInfo* rec = index >= 0 && index < GetCount() ? RecordOf(GetItemAt(index)) : nullptr;
    return rec ? rec->uid : 0;
}

std::string CUserListUI::GetNickNameAt(int index) const {
    if (index < 0 || index >= GetCount()) return {};
    CControlUI* nick = Sub(GetItemAt(index), "UserNickNameLabel");
    return nick ? std::string(nick->GetText().c_str()) : std::string();
}

int CUserListUI::GetRoleAt(int index) const {
    const UserListItemInfo* rec = index >= 0 && index < GetCount() ? RecordOf(GetItemAt(index)) : nullptr;
    return rec ? rec->role : 255;
}

int CUserListUI::GetMicStateAt(int index) const {
    const UserListItemInfo* rec = index >= 0 && index < GetCount() ? RecordOf(GetItemAt(index)) : nullptr;
    return rec ? rec->micState : 0;
}

void CUserListUI::RemoveAll() {
    for (CGifListUIItem* icon : m_animated) icon->m_animSlot = SIZE_MAX;
    m_animated.clear();  // the timer keeps running; its ticks find nothing
    for (int i = 0; i < GetCount(); ++i) {
        CControlUI* row = GetItemAt(i);
        delete reinterpret_cast<UserListItemInfo*>(row->GetTag());
        row->SetTag(0);
    }
    m_rows.clear();
    m_sorted = 0;
    m_changed = nullptr;
    m_unsorted = false;
    CListUI::RemoveAll();
}

void CUserListUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEVENT_TIMER && event.pSender == this && event.wParam == TimerId()) {
        // Only the icons of the rows shown move on.
        for (CControlUI* row : GetShownItems())
            if (CControlUI* level = Sub(row, "LevelIconContainer"))
                if (auto* icon = static_cast<CGifListUIItem*>(level->GetInterface("CGifListUIItem"));
                    icon && icon->m_animSlot < m_animated.size())
                    icon->Step(event.dwTimestamp);
        return;
    }
    CListUI::DoEvent(event);
}

// ---- CGroupUserListUI ----------------------------------------------------------------------------------

void* CGroupUserListUI::GetInterface(const char* name) {
    if (EqualNoCase(name, "CGroupUserListUI")) return this;
    return CUserListUI::GetInterface(name);
}

CListContainerElementUI* CGroupUserListUI::MakeRow(const UserListItemInfo& info) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(25);
    auto* horiz = new CHorizontalLayoutUI;
    horiz->SetName("UserInfoListHorizUI");
    auto* check = new COptionUI;
    check->SetName("ChkUserContainer");
    check->SetFixedWidth(20);
    check->SetFixedHeight(20);
    check->SetPadding(RECT{5, 0, 0, 0});
    check->SetNormalImage("file='CheckBox_Nor.png' dest='0,5,15,20'");
    check->SetHotImage("file='CheckBox_Hot.png' dest='0,5,15,20'");
    check->SetSelectedImage("file='CheckBox_Sel.png' dest='0,5,15,20'");
    check->SetAttribute("selectedhotimage", "file='CheckBox_SelHot.png' dest='0,5,15,20'");
    horiz->Add(check);
    auto* level = new CGifListUIItem;
    level->SetName("LevelIconContainer");
    level->SetFixedWidth(16);
    level->SetFixedHeight(16);
    level->SetPadding(RECT{5, 2, 0, 0});
    horiz->Add(level);
    horiz->Add(MakeLabel("UserNickNameLabel", 100, 5, info.nickname, info.nameColour));
    auto* id = MakeLabel("UserBeautyIDLabel", 100, 10, "", info.nameColour);
    ShowId(id, info, info.nameColour);
    horiz->Add(id);
    row->Add(horiz);
    return row;
}

COptionUI* CGroupUserListUI::CheckOf(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    CControlUI* c = Sub(GetItemAt(index), "ChkUserContainer");
    return c ? static_cast<COptionUI*>(c->GetInterface("Option")) : nullptr;
}

void CGroupUserListUI::GetCheckedUserIDs(std::vector<uint32_t>& out) const {
    out.clear();
    for (int i = 0; i < GetCount(); ++i)
        if (IsCheckedAt(i)) out.push_back(GetUserIDAt(i));
}

void CGroupUserListUI::CheckAll(bool state) {
    for (int i = 0; i < GetCount(); ++i) SetCheckAt(i, state);
}

void CGroupUserListUI::CheckAt(int index) {
    SetCheckAt(index, true);
}

void CGroupUserListUI::SetCheckAt(int index, bool state) {
    if (COptionUI* check = CheckOf(index)) check->Selected(state, false);
}

bool CGroupUserListUI::IsCheckedAt(int index) const {
    COptionUI* check = CheckOf(index);
    return check && check->IsSelected();
}

int CGroupUserListUI::GetCheckedCount() const {
    int n = 0;
    for (int i = 0; i < GetCount(); ++i) n += IsCheckedAt(i);
    return n;
}

int CGroupUserListUI::GetLevelAt(int index) const {
    CControlUI* level = index >= 0 && index < GetCount() ? Sub(GetItemAt(index), "LevelIconContainer") : nullptr;
    return level ? int(level->GetTag()) : 0;
}

int CGroupUserListUI::GetRoleAt(int index) const {
    if (index < 0 || index >= GetCount()) return 255;
    const UserListItemInfo* rec = RecordOf(GetItemAt(index));
    return rec ? rec->role : 0;
}

}  // namespace roomui
