// The room's user lists: rows built in code, each holding its own copy of a UserListItemInfo as tag, sorted
// by one fixed order. UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "UIlib.h"

namespace roomui {

struct UserListItemInfo {
    uint32_t uid = 0;
    int role = 0;
    uint32_t levelCode = 0;
    std::string levelIcon;
    int micState = 0;
    std::string statusIcon;
    int photoId = 0;
    std::string photoIcon;
    std::string nickname;
    uint32_t beautyId = 0;
    uint32_t nameColour = 0;
    std::string stampIcon;
};

// The user order: true when `a` goes before `b`. A strict weak order: each record is mapped to a rank
// (the three top level codes first, then the managers of role 40 and 30, then the level bands) and compared
// by rank, in-band code, beauty id. Codes outside the bands come last, by ascending code.
bool UserOrderLess(const UserListItemInfo& a, const UserListItemInfo& b);

class CUserListUI : public DuiLib::CListUI {
public:
    ~CUserListUI() override;
    const char* GetClass() const override { return "CUserListUI"; }

    int UpdateUser(const UserListItemInfo& info);
    int AddUser(const UserListItemInfo& info);
    int RemoveUser(uint32_t uid);
    int FindUserIndex(uint32_t uid) const;
    int SortUserList();
    int GetItemIndexAtPoint(int x, int y) const;
    uint32_t GetUserIDAt(int index) const;
    std::string GetNickNameAt(int index) const;
    int GetRoleAt(int index) const;
    int GetMicStateAt(int index) const;
    void RemoveAll() override;

    static const UserListItemInfo* RecordOf(DuiLib::CControlUI* row);

private:
    void Refresh(DuiLib::CControlUI* row, UserListItemInfo& rec, const UserListItemInfo& info);
};

}  // namespace roomui
