// The lobby window: the user's details, online counts, the room directory, the home page's place, the
// updater's prompts, and the start of entering a room. It owns the one room manager of the process and
// hands it the room notifications.
//
// Threads: everything runs on the UI thread except OnZQMessageNotify (the request worker), which never
// touches a control or the directory: it posts copies of the replies (WM_UPDATE_ROOM_LIST,
// WM_UPDATE_ONLINE_COUNT, WM_NAV_FAILED) whose heap payloads the frame frees.
#pragma once

#include <memory>
#include <string>

#include "ForceUpdateTipDlg.h"
#include "IHomePageView.h"
#include "LoginDlg.h"
#include "MsgClientThread.h"
#include "NavigationBarInfo.h"
#include "RoomEntryDlgs.h"
#include "RoomManager.h"
#include "RoomConfigSetDlg.h"
#include "RoomNavListUI.h"
#include "TrayIcon.h"

class CBrowserHtmlView;
namespace roomui {
class CControlGifBk;
}

// The getallnav failure text for the UI thread (lParam: heap std::string).
constexpr UINT WM_NAV_FAILED = WM_USER + 1010;
// A reply refused for an invalid session (wParam: the session id its request carried).
constexpr UINT WM_SESSION_INVALID = WM_USER + 1011;

class CVarnetFrameWnd : public DuiLib::WindowImplBase, public CZQEventListener {
public:
    enum { kTimerOnlineCount = 5, kTimerWeb = 6 };

    explicit CVarnetFrameWnd(std::unique_ptr<CRoomManager> roomManager);
    ~CVarnetFrameWnd() override;
    const char* GetWindowClassName() const override { return "VarnetFrameWnd"; }
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;
    void InitWindow() override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnZQMessageNotify(CZQMessage* msg, CZQEventSource* source) override;

    virtual void OnTimer(DuiLib::TNotifyUI& msg);
    void OnClick(DuiLib::TNotifyUI& msg) override;
    virtual void OnReturn(DuiLib::TNotifyUI& msg);
    virtual void OnItemClickMsg(DuiLib::TNotifyUI& msg);
    virtual void OnSearchEditKillFocus(DuiLib::TNotifyUI& msg);
    virtual void OnSearchEditSetFocus(DuiLib::TNotifyUI& msg);

    // Entering a room.
    bool OpenRoomForRoomID(const std::string& command);
    bool EnterRoom(uint32_t roomId, int stealth, const std::string& password, const std::string& roomName);
    void CreateRoomWaitDlg(bool show);
    // An enter answer that refused the room (code 0, status not 1): when it is about the password of the
    // room being entered, the prompt again and a new request; true when it was.
    bool OnEnterRefused(uint32_t roomId, const std::string& statusText);
    CRoomCreateWaitDlg* GetWaitDlg() const { return m_pWaitDlg.get(); }

    // Lobby actions.
    void OnBtnClickClose();
    // The close path without its prompt and without ending the loop: rooms closed, logout sent, tray icon
    // gone. Once; the program's quit by a signal runs it after the loop ended.
    void CloseInOrder();
    void OnBtnClickHall(bool autoRoom);
    void OnUpdateMyInfo(int flags);
    bool ShowLoginDlg(HWND parent, int mode);
    void DBClickRoomListItem(int uniqueId);
    void OnBtnClickRecharge();
    void OnBtnClickSearch();
    // Page commands of the home page (WM_WEB_COMMAND).
    void OnMsgFromIECallBack(const std::string& text);
    void DelFavRoom(const std::string& text);
    void OpenNotice(const std::string& text);
    // The web-login address of a target address on the web service.
    std::string MakeWebLoginUrl(const std::string& target) const;
    // The web service's root ("http://host:port") of the configured home page.
    std::string WebRoot() const;
    CBrowserHtmlView* GetBrowserView() const { return m_pBrowserView; }
    const CTrayIcon& GetTrayIcon() const { return m_trayIcon; }

    void SetHomePageView(IHomePageView* view) { m_pHomePage = view; }
    CNavigationBarInfo& GetNavData() { return m_navData; }
    CRoomNavListUI* GetRoomList() const { return m_pRoomList; }
    CRoomManager* GetRoomManager() const { return m_pRoomManager.get(); }
    CLoginDlg* GetLoginDlg() const { return m_pLoginDlg.get(); }
    CForceUpdateTipDlg& GetForceUpdateDlg() { return m_forceUpdate; }
    roomui::CControlGifBk* GetLevelBadge() const { return m_pUserLevel; }
    // The settings dialog of the main menu's nickname and photo items (null before its first use).
    CRoomConfigSetDlg* GetSettingsDlg() const { return m_pSettingsDlg.get(); }

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFile() override { return "VarnetSkin.xml"; }
    ZQ_SKIN_ANSWERS()
    // Modal steps, replaced by tests: a message box, and a dialog already created.
    virtual int ShowMessage(const char* text, const char* title);
    virtual UINT RunModal(DuiLib::WindowImplBase& dlg);
    // Opens an address in the user's browser (replaced by tests).
    virtual void OpenUrl(const std::string& url);
    // A menu for its field (a screen rectangle: under it, else above it); the chosen id or CZqMenuUI::kNone
    // (replaced by tests).
    virtual int PopupMenu(const std::vector<DuiLib::ZqMenuItem>& items, const DuiLib::RECT& field);
    // The least time between two browser windows that page commands open (tests shorten it).
    int64_t m_pageOpenIntervalMs = 1000;

private:
    void BindControls();
    void UpdateRoomList();
    void OnUpdateOnlineCNTInfo();
    void OnNotifyRoomMsg(int code, LPARAM payload);
    void OnTaskBarIconNotify(UINT iconId, LPARAM mouseMsg);
    void OnBtnClickMainMenu(DuiLib::CControlUI* from);
    void OnReLoginServer();
    // The settings dialog on page 1 (nickname) or 0 (photo); a signed-in user only.
    void OpenSettingsPage(int page);
    void DestroySettingsDlg();
    void DealNotifyUserReEnter();
    // Codes 33, 35 and 36 each show a box: one at a time. False when the notice is dropped (or, for 33 during
    // another box, kept to follow it).
    bool TakeRoomEndNotice(int code);
    // The box of such a code; false when the frame went meanwhile or 33 followed it.
    bool ShowRoomEndBox(int code, const char* text);
    // A reply saying the session `sid` is gone: the rooms close, the user is told and signs in again; once
    // per session, and only for the session signed in now.
    void DealSessionInvalid(uint32_t sid);
    void OnResChanged(int mask);
    void ShowForceUpdateDlg();
    void OnShowWindow(bool shown);
    void ShowAndActivate();
    void StopRefreshTimers();
    std::string HomePageUrl() const;
    void InitMainBrowserHtmlView();
    void OpenWebLogin(const char* path, const char* logText);
    // The password prompt (again: the last one was refused); false when cancelled or the frame went.
    bool AskRoomPassword(bool again, std::string& password);
    // The enter-room request and the wait dialog, after the checks and prompts of EnterRoom.
    void SendEnterRequest(uint32_t roomId, int stealth, const std::string& password, const std::string& roomName);

    CNavigationBarInfo m_navData;  // UI thread only
    std::unique_ptr<CRoomManager> m_pRoomManager;
    IHomePageView* m_pHomePage = nullptr;
    DuiLib::CLabelUI* m_pCoinLabel = nullptr;
    DuiLib::CLabelUI* m_pBeansLabel = nullptr;
    DuiLib::CLabelUI* m_pOnlineLabel = nullptr;
    DuiLib::CButtonUI* m_pHeadPicture = nullptr;
    DuiLib::CLabelUI* m_pNickName = nullptr;
    roomui::CControlGifBk* m_pUserLevel = nullptr;  // the level's animated badge
    DuiLib::CControlUI* m_pExchangeLayout = nullptr;
    DuiLib::CControlUI* m_pExchangeBtn = nullptr;
    CRoomNavListUI* m_pRoomList = nullptr;
    DuiLib::CEditUI* m_pSearchEdit = nullptr;
    DuiLib::CButtonUI* m_pHallBtn = nullptr;
    std::unique_ptr<CRoomCreateWaitDlg> m_pWaitDlg;
    std::unique_ptr<CLoginDlg> m_pLoginDlg;
    CForceUpdateTipDlg m_forceUpdate;
    std::unique_ptr<CRoomConfigSetDlg> m_pSettingsDlg;  // its window is made on first use and then reused
    bool m_bSettingsHiddenWithFrame = false;
    CBrowserHtmlView* m_pBrowserView = nullptr;  // a control of the skin; gone with the window's controls
    CTrayIcon m_trayIcon;
    // Page commands: one prompt at a time (later commands are dropped while it is up), one browser window
    // an interval. UI thread.
    bool m_bClosed = false;     // CloseInOrder ran
    uint32_t m_invalidSid = 0;  // the session DealSessionInvalid took care of
    // The room of the last enter request, for the password prompt after a refusal. UI thread.
    struct PendingEnter {
        uint32_t roomId = 0;
        int stealth = 0;
        std::string name;
        bool withPassword = false;
    } m_entering;
    // The box of a room-ending notice that is up (its code, 0 = none); a 33 that came meanwhile. UI thread.
    int m_roomEndBox = 0;
    bool m_bReEnterAfterBox = false;
    bool m_bRoomEndDropLogged = false;
    bool m_bPagePrompt = false;
    bool m_bPageDropLogged = false;
    int64_t m_lastPageOpenMs = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);  // false once the frame is destroyed
};
