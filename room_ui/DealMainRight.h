// The right column of the room window as far as its users go: the three user lists on tabs (managers,
// members, microphone order) with their search bars and counts, the gift recipient combo, the user context
// menu and the moderation it sends, and the user-details and consumption-detail popups it owns.
//
// Threads: the UI thread only. The room's user map is read between CRoomInfoMgr::LockRoom and UnlockRoom;
// single records are copied out with GetRoomUser. Control pointers belong to the room window's control
// tree: ReleaseWindows (the room window's WM_DESTROY) clears them and destroys the popups' windows. The
// trumpet pane belongs to the room window, which points the column at it (Init).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChatView.h"
#include "RoomModalHost.h"
#include "RoomNotify.h"
#include "RoomUI.h"
#include "UIlib.h"
#include "UserListUI.h"
#include "UserMenuModel.h"

class CZQMessage;
namespace roompopups {
class CUIChkUserInfo;
class CUIConsumeDetail;
}  // namespace roompopups

namespace roomui {

class CDealMainRight : public IRoomRightUI {
public:
    static constexpr const char* kSearchPrompt = "请输入用户ID或者靓号";

    CDealMainRight();
    ~CDealMainRight() override;

    // Headless form: the lists given directly (any may be null).
    void Init(IRoomUI* room, CUserListUI* managers, CUserListUI* members, CUserListUI* micOrder, IChatView* trumpet);
    // From the skin: binds the column's controls of `pm` (lists, tab options, search edits, recipient combo),
    // then shows the members tab.
    void InitControls(IRoomUI* room, IRoomModalHost* host, DuiLib::CPaintManagerUI* pm, IChatView* trumpet);
    // The window's WM_DESTROY: the popups' windows go, the control pointers are cleared.
    void ReleaseWindows();
    // The notifications of the column's controls ("menu", "click", "itemclick", "selectchanged", "setfocus",
    // "killfocus", "textchanged"). True when one was the column's.
    bool Notify(DuiLib::TNotifyUI& msg);

    // IRoomRightUI
    void SelectGiftTarget(uint32_t uid) override;
    void LocateUser(uint32_t uid) override { LocateUserRow(uid); }
    // Shows the members tab with the user's row selected: the list's answer, negative without a row.
    int LocateUserRow(uint32_t uid);
    // The stamp popup of the gift panel (OnOpenStamp).
    void OpenStampDialog(uint32_t uid) override;

    // List maintenance (the room notifications).
    void RebuildUserLists();
    void AddOrPlaceUser(uint32_t uid);
    void RemoveUser(uint32_t uid);
    void RefreshUser(uint32_t uid);
    void UpdateListCounts();
    // 0 managers, 1 members, 2 microphone order; the filter text "" (or the prompt) lists everybody.
    void FilterList(int list, const std::string& text);
    // Recipient combo: an existing item of the same user is selected, else one is added (text = nickname,
    // tag = user id). Ignored for an empty nickname, id 0 or the own id.
    void AddGiftTarget(const std::string& nickname, uint32_t uid);
    // The room notification 9: the answer to a profile request.
    void ShowUserDetail(const RoomUserDetail& detail);

    // The context menu: 0 when either record is missing, else 1 after the menu has run.
    int ShowUserMenu(uint32_t targetUid);
    // The chosen item's action on the menu's target.
    void RunMenuAction(int id, const RoomUserInfo& target);

    IChatView* Trumpet() const { return m_trumpet; }
    CUserListUI* List(int i) const { return i == 0 ? m_managers : i == 1 ? m_members : i == 2 ? m_micOrder : nullptr; }
    // The list of the selected tab (0 managers, 1 members, 2 microphone order); null without the tab control.
    CUserListUI* GetCurrentList() const;
    DuiLib::CComboUI* GiftTargets() const { return m_giftTargets; }
    const std::string& CountText(int list) const { return m_countText[list < 0 || list > 2 ? 0 : list]; }
    roompopups::CUIChkUserInfo& UserInfoPopup() { return *m_userInfo; }
    roompopups::CUIConsumeDetail& ConsumePopup() { return *m_consume; }
    // The row record of a room user (catalogue icons and name colour).
    static UserListItemInfo ToItem(const RoomUserInfo& user);

    // Seams (tests; the gift panel for ids 11 and 12). Defaults: PostRoomRequest, CZqMenuUI at the
    // cursor on the modal stack, the program's message box, the catalogue's rights table.
    std::function<void(CZQMessage& request)> PostRequest;
    std::function<int(const std::vector<UserMenuEntry>& items)> RunMenu;
    std::function<void(const char* text)> MessageBox;
    std::function<void(uint32_t uid, const std::string& nickname)> OnOpenWordsGift;
    std::function<void(uint32_t uid)> OnOpenStamp;
    IUserRights* Rights = nullptr;

private:
    uint32_t RoomId() const;
    void Place(CUserListUI* list, const UserListItemInfo& item, bool belongs);
    void OnMenu(DuiLib::TNotifyUI& msg);
    void OnClick(const std::string& name);
    void OnItemClick(DuiLib::TNotifyUI& msg);
    void OnSelectChanged(const std::string& name);
    void ShowTab(int index);
    int SearchIndex(DuiLib::CControlUI* edit) const;
    // The search text of a list ("" when none or the prompt).
    std::string Needle(int list) const;
    void ShowConsumeDetail();
    void ShowUserInfoPopup();
    void SendOp(CZQMessage& msg, const RoomUserInfo& target);
    int DefaultRunMenu(const std::vector<UserMenuEntry>& items);

    IRoomUI* m_room = nullptr;
    IRoomModalHost* m_host = nullptr;
    DuiLib::CPaintManagerUI* m_pm = nullptr;
    // The right-clicked row at the pointer (window co-ordinates; empty: the pointer alone), which the menu
    // opens under or above.
    DuiLib::RECT m_menuField{};
    CUserListUI* m_managers = nullptr;
    CUserListUI* m_members = nullptr;
    CUserListUI* m_micOrder = nullptr;
    DuiLib::CTabLayoutUI* m_tab = nullptr;
    DuiLib::COptionUI* m_options[3] = {nullptr, nullptr, nullptr};
    DuiLib::CEditUI* m_search[3] = {nullptr, nullptr, nullptr};
    DuiLib::CControlUI* m_searchBars[3] = {nullptr, nullptr, nullptr};
    DuiLib::CComboUI* m_giftTargets = nullptr;
    IChatView* m_trumpet = nullptr;
    std::string m_countText[3] = {"管理/0", "成员/0", "麦序/0"};
    std::unique_ptr<IUserRights> m_catalogueRights;
    std::unique_ptr<roompopups::CUIChkUserInfo> m_userInfo;
    std::unique_ptr<roompopups::CUIConsumeDetail> m_consume;
};

}  // namespace roomui
