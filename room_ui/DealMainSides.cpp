#include "DealMainSides.h"

#include "IDataHalvec.h"
#include "RoomBaseInfo.h"
#include "RoomInfoMgr.h"

namespace roomui {

namespace {

bool IsManager(const RoomUserInfo& u) { return u.role == 10 || u.role == 20 || u.role == 30 || u.role == 40; }

}  // namespace

void CDealMainRight::Init(IRoomUI* room, CUserListUI* managers, CUserListUI* members, CUserListUI* micOrder,
                          IChatView* trumpet)
{
    m_room = room;
    m_managers = managers;
    m_members = members;
    m_micOrder = micOrder;
    m_trumpet = trumpet;
}

UserListItemInfo CDealMainRight::ToItem(const RoomUserInfo& user)
{
    UserListItemInfo item;
    item.uid = user.uid;
    item.role = int(user.role);
    item.levelCode = user.level;
    item.micState = int(user.mic);
    item.photoId = int(user.photoid);
    item.nickname = user.nickname;
    item.beautyId = user.beautyid;
    item.nameColour = 0xff333333;
    return item;
}

void CDealMainRight::Place(CUserListUI* list, const UserListItemInfo& item, bool belongs)
{
    if (!list)
        return;
    if (!belongs) {
        list->RemoveUser(item.uid);
        return;
    }
    list->UpdateUser(item);
    list->SortUserList();
}

void CDealMainRight::RebuildUserLists()
{
    for (CUserListUI* list : {m_managers, m_members, m_micOrder})
        if (list)
            list->RemoveAll();
    uint32_t room = m_room ? m_room->GetRoomID() : 0;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    std::vector<RoomUserInfo> users;
    if (CRoomBaseInfo* info = store.LockRoom(room, 1)) {
        for (const auto& [uid, user] : info->users)
            users.push_back(user);
        store.UnlockRoom(room);
    }
    for (const RoomUserInfo& u : users) {
        UserListItemInfo item = ToItem(u);
        if (m_managers && IsManager(u))
            m_managers->AddUser(item);
        if (m_members)
            m_members->AddUser(item);
        if (m_micOrder && u.mic != 0)
            m_micOrder->AddUser(item);
    }
    for (CUserListUI* list : {m_managers, m_members, m_micOrder})
        if (list)
            list->SortUserList();
}

void CDealMainRight::AddOrPlaceUser(uint32_t uid)
{
    RoomUserInfo u;
    if (!CRoomInfoMgr::GetInstance().GetRoomUser(m_room ? m_room->GetRoomID() : 0, uid, u))
        return;
    UserListItemInfo item = ToItem(u);
    Place(m_managers, item, IsManager(u));
    Place(m_members, item, true);
    Place(m_micOrder, item, u.mic != 0);
}

void CDealMainRight::RemoveUser(uint32_t uid)
{
    for (CUserListUI* list : {m_managers, m_members, m_micOrder})
        if (list)
            list->RemoveUser(uid);
}

}  // namespace roomui
