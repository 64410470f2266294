// The room's user lists: rows built in code, each holding its own copy of a UserListItemInfo as tag, sorted
// by one fixed order. Sorting gives what a stable sort of the rows in their present order gives; rows added
// or changed since the last sort are placed one by one when they are few. UI thread only.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

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

// The level icon of a row: a GIF drawn into the control less its paddings, the frame moved on by the list's
// animation timer once the frame's delay has passed since it was last painted.
class CGifListUIItem : public DuiLib::CControlUI {
public:
    ~CGifListUIItem() override;
    const char* GetClass() const override { return "CGifListUIItem"; }
    void* GetInterface(const char* pstrName) override;
    // Releases the old picture and loads `path` ("" none); true when the new one animates.
    bool SetGifPath(const std::string& path);
    bool IsAnimated() const { return m_pGif && m_pGif->GetFrameCount() > 1; }
    DuiLib::CGifHandler* GetGif() const { return m_pGif; }
    void SetPaddings(int l, int t, int r, int b) { m_rcPad = DuiLib::RECT{l, t, r, b}; }
    // A tick of the list's timer at `now`: the next frame when the current one has been shown its delay.
    void Step(DWORD now);
    void PaintBkImage(DuiLib::HDC hDC) override;

private:
    friend class CUserListUI;
    size_t m_animSlot = SIZE_MAX;  // its place among the list's animated icons
    DuiLib::CGifHandler* m_pGif = nullptr;
    DuiLib::RECT m_rcPad;
    DWORD m_lastPaint = 0;
};

class CUserListUI : public DuiLib::CListUI {
public:
    static constexpr UINT kAnimationMs = 100;
    static constexpr int kRowHeight = 25;
    CUserListUI();
    ~CUserListUI() override;
    const char* GetClass() const override { return "CUserListUI"; }
    void* GetInterface(const char* pstrName) override;

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
    void DoEvent(DuiLib::TEventUI& event) override;

    static const UserListItemInfo* RecordOf(DuiLib::CControlUI* row);
    // The rows' level icons that animate, and whether the animation timer runs.
    size_t AnimatedCount() const { return m_animated.size(); }
    bool TimerRunning() const { return m_bTimer; }

protected:
    virtual UINT TimerId() const { return 0; }
    // The row of a new record (its controls; the caller sets the tag).
    virtual DuiLib::CListContainerElementUI* MakeRow(const UserListItemInfo& info);
    // The level icon of a row: picture, tag, tooltip (the level's name), animation.
    void SetLevelIcon(CGifListUIItem* icon, const UserListItemInfo& info);
    static DuiLib::CLabelUI* MakeLabel(const char* name, int width, int padLeft, const std::string& text,
                                       uint32_t colour);

private:
    void Refresh(DuiLib::CControlUI* row, UserListItemInfo& rec, const UserListItemInfo& info);
    void Animate(CGifListUIItem* icon, bool on);
    void FullSort();
    // Where the row at `from` goes among the sorted rows [0, end) other than itself.
    int PlaceOf(int from, int end, bool afterEquals) const;
    std::vector<CGifListUIItem*> m_animated;
    bool m_bTimer = false;
    std::unordered_map<uint32_t, DuiLib::CControlUI*> m_rows;  // uid -> row
    // Rows [0, m_sorted) are in order but for m_changed (a row whose order key changed since the last sort);
    // the rows after them were added since. More than one changed row: m_unsorted.
    int m_sorted = 0;
    DuiLib::CControlUI* m_changed = nullptr;
    bool m_unsorted = false;
};

// The same list with a check box in front of every row (the group gift's receivers); no status, photo or
// stamp columns.
class CGroupUserListUI : public CUserListUI {
public:
    const char* GetClass() const override { return "CGroupUserListUI"; }
    void* GetInterface(const char* pstrName) override;
    // The user ids of the checked rows, in row order.
    void GetCheckedUserIDs(std::vector<uint32_t>& out) const;
    void CheckAll(bool state);
    void CheckAt(int index);  // out of range: ignored
    void SetCheckAt(int index, bool state);
    bool IsCheckedAt(int index) const;
    int GetCheckedCount() const;
    int GetLevelAt(int index) const;  // the level icon's tag; 0 out of range or missing
    int GetRoleAt(int index) const;   // 255 out of range, 0 for a row without record

protected:
    UINT TimerId() const override { return 1; }
    DuiLib::CListContainerElementUI* MakeRow(const UserListItemInfo& info) override;

private:
    DuiLib::COptionUI* CheckOf(int index) const;
};

}  // namespace roomui
