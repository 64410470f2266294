// The user context menu of the right column and the moderation it sends: every action works on the menu's
// target (the row that was right-clicked), whatever row the list has selected.
#include "DealMainRight.h"

#include "DealMainCenter.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "RoomInfoMgr.h"
#include "RoomRequests.h"
#include "UIChkUserInfo.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqMessageBox.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {

// The catalogue's rights table, one module look-up per ask.
class CatalogueRights : public IUserRights {
public:
    bool Ask(int entry, int right, int a, int b) override {
        IDataManager* dm = AfxGetDataManager();
        auto* h = dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
        if (!h) return false;
        switch (entry) {
        case 1:
            return h->HasRight(right, a, b);
        case 2:
            return h->HasRight2(right, a, b);
        case 3:
            return h->HasRightPair(right, a, b);
        default:
            return h->HasRightPair2(right, a, b);
        }
    }
};

}  // namespace

void CDealMainRight::OnMenu(TNotifyUI& msg) {
    // The list under the pointer (the sender first; hidden tabs give no row).
    CUserListUI* lists[4] = {static_cast<CUserListUI*>(msg.pSender), m_managers, m_members, m_micOrder};
    for (CUserListUI* list : lists) {
        if (!list || (list != m_managers && list != m_members && list != m_micOrder)) continue;
        int index = list->GetItemIndexAtPoint(msg.ptMouse.x, msg.ptMouse.y);
        if (index >= 0) {
            CControlUI* row = list->GetItemAt(index);
            RECT rc = row ? row->GetPos() : RECT{};
            m_menuField = {msg.ptMouse.x, rc.top, msg.ptMouse.x, rc.bottom};
            ShowUserMenu(list->GetUserIDAt(index));
            return;
        }
    }
}

int CDealMainRight::ShowUserMenu(uint32_t targetUid) {
    const uint32_t room = RoomId();
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    UserMenuInput in;
    if (!store.GetRoomUser(room, app.GetUid(), in.me)) return 0;
    if (targetUid == in.me.uid) in.target = in.me;
    else if (!store.GetRoomUser(room, targetUid, in.target)) return 0;
    in.publicMics = store.CountMicUsers(room, true);
    in.privateMics = store.CountMicUsers(room, false);
    in.myUserType = app.GetLevel();
    if (!Rights && !m_catalogueRights) m_catalogueRights = std::make_unique<CatalogueRights>();
    std::vector<UserMenuEntry> items = BuildUserMenu(in, Rights ? *Rights : *m_catalogueRights);
    const HWND roomWnd = m_room ? m_room->GetHWND() : nullptr;
    int chosen = RunMenu ? RunMenu(items) : DefaultRunMenu(items);
    // The room closed (or another one opened) under the menu: nothing is done for its users.
    if ((roomWnd && !::IsWindow(roomWnd)) || RoomId() != room) return 1;
    if (chosen == kMenuDismissed) {
        if (m_host) m_host->ContinueModalCancel();
        else if (IRoomLogic* logic = m_room ? m_room->GetRoomLogic() : nullptr) logic->CloseRoom();
        return 1;
    }
    // Only an item that was offered and could be chosen.
    for (const UserMenuEntry& e : items)
        if (!e.separator && e.id == chosen && e.enabled) {
            RunMenuAction(chosen, in.target);
            break;
        }
    return 1;
}

int CDealMainRight::DefaultRunMenu(const std::vector<UserMenuEntry>& entries) {
    if (!m_pm || !m_pm->GetPaintWindow()) return -1;
    std::vector<ZqMenuItem> items;
    for (const UserMenuEntry& e : entries)
        items.push_back(e.separator ? ZqMenuItem()
                                    : ZqMenuItem(e.text.c_str(), e.id, false, !e.enabled, "", "", "", nullptr));
    CZqMenuUI menu;
    menu.SetMenuItem(items);
    IWindowBackend* be = m_pm->GetBackend();
    POINT at = be ? be->GetCursorPos() : POINT{0, 0};
    RECT field{at.x, at.y, at.x, at.y};
    const RECT row = m_menuField;
    m_menuField = {};
    if (be && row.bottom > row.top) {
        RECT wnd = be->GetRect();
        field = {wnd.left + row.left, wnd.top + row.top, wnd.left + row.right, wnd.top + row.bottom};
    }
    HWND hwnd = menu.CreateMenuFor(field, m_pm->GetPaintWindow());
    if (!hwnd) return -1;
    if (m_host) m_host->PushModalWnd(hwnd);
    int chosen = menu.PopupMenuNoCreate();
    if (m_host) m_host->PopModalWnd(hwnd);
    return chosen;
}

void CDealMainRight::SendOp(CZQMessage& msg, const RoomUserInfo& target) {
    msg.ctxInt[0] = int(RoomId());
    msg.ctxInt[1] = int(target.uid);
    if (PostRequest) PostRequest(msg);
    else PostRoomRequest(&msg);
}

void CDealMainRight::RunMenuAction(int id, const RoomUserInfo& menuTarget) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    const uint32_t me = app.GetUid(), sid = app.GetSid();
    const int rid = int(RoomId());
    if (menuTarget.uid == 0) return;
    // The target as the store has it now (the menu ran modally meanwhile).
    RoomUserInfo t = menuTarget;
    bool present = CRoomInfoMgr::GetInstance().GetRoomUser(RoomId(), menuTarget.uid, t);
    auto fill = [&](auto& m) {
        m.uid = me;
        m.sid = sid;
        m.rid = rid;
        m.tid = int(t.uid);
    };
    auto message = [&](const char* text) {
        if (MessageBox) MessageBox(text);
        else ShowZqMessageBox(m_pm ? m_pm->GetPaintWindow() : nullptr, text, "提示");
    };
    switch (id) {
    case kMenuPublicMic:
    case kMenuPrivateMic: {
        if (!present) return;
        int mictype = id == kMenuPublicMic ? 1 : 2;
        uint32_t on = id == kMenuPublicMic ? 1 : 2;
        if (t.mic != 0 && t.mic != on) return;
        CZQOpMicMsg m;
        fill(m);
        m.optype = t.mic == 0 ? 1 : 2;
        m.mictype = mictype;
        m.ctxText[0] = StringUtility::Format("%u|%u|%d|%d", me, t.uid, m.optype == 1 ? 1 : 0, mictype == 1 ? 1 : 0);
        SendOp(m, t);
        IRoomDealUI* left = nullptr;
        if (id == kMenuPrivateMic && m.optype == 2 && m_room && m_room->GetDealUI(0, &left) && left)
            static_cast<IRoomLeftUI*>(left)->FindPrivateMic(t.uid);
        break;
    }
    case kMenuRoleDeputy:
    case kMenuRoleManager:
    case kMenuRoleTempManager: {
        if (!present) return;
        int role = id == kMenuRoleDeputy ? 30 : id == kMenuRoleManager ? 20 : 10;
        CZQOpRoomUserRoleMsg m;
        fill(m);
        m.roletype = role;
        m.optype = int(t.role) == role ? 2 : 1;
        SendOp(m, t);
        break;
    }
    case kMenuMute:
    case kMenuUnmute: {
        CZQOpRoomUserChatMsg m;
        fill(m);
        m.optype = id == kMenuMute ? 1 : 2;
        m.ctxInt[2] = m.optype;
        SendOp(m, t);
        break;
    }
    case kMenuKick: {
        CZQKickRoomMsg m;
        fill(m);
        SendOp(m, t);
        break;
    }
    case kMenuBlacklist: {
        CZQOpRoomBlackUserMsg m;
        fill(m);
        m.optype = 1;
        SendOp(m, t);
        break;
    }
    case kMenuGiftTarget:
        if (t.uid == me) message("不能将自己选择为送礼对象!");
        else if (t.level > 100) AddGiftTarget(t.nickname, t.uid);
        break;
    case kMenuChatTarget:
        if (t.uid == me) message("不能将自己选择为聊天对象!");
        else if (auto* center = GetRoomDealUI<CDealMainCenter>(m_room, 1)) center->SetChatTarget(t.uid);
        break;
    case kMenuWordsGift:
        if (OnOpenWordsGift) OnOpenWordsGift(t.uid, t.nickname);
        break;
    case kMenuStamp:
        OpenStampDialog(t.uid);
        break;
    case kMenuProfile:
        if (t.level != 100) {
            CZQGetUserInfoMsg m;
            m.uid = me;
            m.sid = sid;
            m.tid = int(t.uid);
            SendOp(m, t);
        } else {
            // A guest has no details at the service: the card shows what the room knows.
            roompopups::UserDetailInfo& info = UserInfoPopup().m_info;
            info = roompopups::UserDetailInfo();
            info.uid = t.uid;
            info.beautyId = t.beautyid;
            info.photoId = t.photoid;
            info.levelId = t.level;
            info.nickname = t.nickname;
            info.sex = 3;
            ShowUserInfoPopup();
        }
        break;
    case kMenuViewPrivateMic: {
        CZQGetMicMsg m;
        fill(m);
        SendOp(m, t);
        break;
    }
    case kMenuViewIP: {
        CZQGetUserLocMsg m;
        fill(m);
        SendOp(m, t);
        break;
    }
    default:
        break;
    }
}

}  // namespace roomui
