// The user-list column of the room window as far as the window's notifications reach it: it fills its
// three lists (managers, members, microphone order) from the room store and shows the trumpet lines. UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "ChatView.h"
#include "RoomNotify.h"
#include "RoomUI.h"
#include "UserListUI.h"

namespace roomui {

class CDealMainRight : public IRoomRightUI {
public:
    // The lists may be null (a skin without them).
    void Init(IRoomUI* room, CUserListUI* managers, CUserListUI* members, CUserListUI* micOrder,
              IChatView* trumpet);
    // All three lists again from the room store.
    void RebuildUserLists();
    void AddOrPlaceUser(uint32_t uid);
    void RemoveUser(uint32_t uid);
    void RefreshUser(uint32_t uid) { AddOrPlaceUser(uid); }
    void UpdateListCounts() {}
    IChatView* Trumpet() const { return m_trumpet; }
    CUserListUI* List(int i) const { return i == 0 ? m_managers : i == 1 ? m_members : i == 2 ? m_micOrder : nullptr; }
    static UserListItemInfo ToItem(const RoomUserInfo& user);

private:
    void Place(CUserListUI* list, const UserListItemInfo& item, bool belongs);

    IRoomUI* m_room = nullptr;
    CUserListUI* m_managers = nullptr;
    CUserListUI* m_members = nullptr;
    CUserListUI* m_micOrder = nullptr;
    IChatView* m_trumpet = nullptr;
};

}  // namespace roomui
