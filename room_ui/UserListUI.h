// The room's user lists: rows built in code, each holding its own copy of a UserListItemInfo as tag, sorted
// by one fixed order. Sorting gives what a stable sort of the rows in their present order gives; rows added
// or changed since the last sort are placed one by one when they are few. UI thread only.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

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
    bool HasUser(uint32_t uid) const { return m_rows.count(uid) != 0; }
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
    void FullSort();
    // Where the row at `from` goes among the sorted rows [0, end) other than itself.
    int PlaceOf(int from, int end, bool afterEquals) const;

    std::unordered_map<uint32_t, DuiLib::CControlUI*> m_rows;  // uid -> row
    // Rows [0, m_sorted) are in order but for m_changed (a row whose order key changed since the last sort);
    // the rows after them were added since. More than one changed row: m_unsorted.
    int m_sorted = 0;
    DuiLib::CControlUI* m_changed = nullptr;
    bool m_unsorted = false;
};

}  // namespace roomui
