// The login dialog: account, guest or (later) another platform's web login; keeps the last ten accounts in
// the configuration; closes with 1 once the process state holds a signed-in user, 2 when cancelled.
//
// Threads: everything runs on the UI thread except OnZQMessageNotify (the request worker), which only writes
// the process state and posts WM_LOGIN_DONE / WM_LOGIN_FAILED (the text as a heap std::string in lParam).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ForceUpdateTipDlg.h"
#include "MsgClientThread.h"
#include "TrayIcon.h"
#include "ZqWindowBase.h"

// One saved account of the configuration section "UserInfo".
struct SavedAccount {
    std::string name;
    std::string password;
    bool autoLogin = false;
    bool remember = false;
    int loginType = 2;
    bool operator==(const SavedAccount&) const = default;
};

// Reads at most ten accounts, stopping at the first missing name; a stored password that is not Base64 or
// does not fit 255 bytes reads as empty.
std::vector<SavedAccount> ReadSavedAccounts();
// Puts `current` first (dropping an older record of the same name) and writes the list; a password is
// stored only for an account that remembers it.
void WriteSavedAccounts(std::vector<SavedAccount> list, const SavedAccount& current);

class CLoginDlg : public CZqWindowImplBase, public CZQEventListener {
public:
    enum { kModeNormal = 0, kModeAutoLogin = 1, kModeGuest = 2, kModeTray = 3 };
    enum { kTimerLogin = 12 };
    enum { kFailLogin = 1, kFailMyInfo = 3, kFailGuest = 5 };

    CLoginDlg(HWND owner, int mode);
    ~CLoginDlg() override;
    const char* GetWindowClassName() const override { return "LoginDlg"; }
    void InitWindow() override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    void OnZQMessageNotify(CZQMessage* msg, CZQEventSource* source) override;

    void SetRegisterFirst(bool on) { m_bRegisterFirst = on; }
    const std::vector<SavedAccount>& GetSavedAccounts() const { return m_accounts; }
    void GetUserConfigData();
    void SaveUserConfigData();
    void Logout();

    virtual void OnTimer(DuiLib::TNotifyUI& msg);
    void OnBtnClickMsg(DuiLib::TNotifyUI& msg);
    void OnEnterKeyDownMsg(DuiLib::TNotifyUI& msg);
    void OnItemSelChgMsg(DuiLib::TNotifyUI& msg);
    void OnTextChangedMsg(DuiLib::TNotifyUI& msg);
    void OnSelectChangeMsg(DuiLib::TNotifyUI& msg);

    void OnBtnClickLogin();
    void OnBtnClickAnonyUserLogin();
    // Another platform's sign-in page ("qq", "weibo"); on success the account details are asked for.
    void OnBtnClickLoginThirdPart(const std::string& typeName, const char* title);
    // The registration dialog; with the register-first flag, a registration that does not end with 1 closes
    // this dialog with 2.
    void OnBtnClickRegister();
    // Opens the user service's password page for the typed name in the desktop's browser.
    void OnBtnClickForgotPW();
    const CTrayIcon& GetTrayIcon() const { return m_trayIcon; }

protected:
    DUI_DECLARE_MESSAGE_MAP()
    DuiLib::CDuiString GetSkinFile() override { return "LoginSkin.xml"; }
    // Runs a created dialog modally (replaced by tests).
    virtual UINT RunModal(DuiLib::WindowImplBase& dlg) { return dlg.ShowModal(); }

private:
    void BindControls();
    void InitUserInfoOnUI();
    void ChgUserLoginInfo(int index);
    void FillFromAccount(const SavedAccount& a);
    void ClearTips();
    void ShowLoginError(int kind, std::unique_ptr<std::string> text);
    void OnTrayNotify(LPARAM mouseMsg);
    void ShowFromTray();
    void OnForceUpdate(bool start);
    bool LoginEnabled() const;
    // A login (account, guest or another platform's) is under way: the others wait for its answer.
    void SetLoggingIn(bool on);

    HWND m_hOwner;
    int m_nMode;
    bool m_bRegisterFirst = false;
    bool m_bHoldsMainWndProperty = false;
    bool m_bHideOnShow = false;
    bool m_bLoggingIn = false;
    std::vector<SavedAccount> m_accounts;
    SavedAccount m_pending;  // the account of the login request under way
    // Sequence number of the login, guest or account-details request whose answer the dialog waits for (0:
    // none). Set on the UI thread before the request goes; taken by the worker with its answer.
    std::atomic<int> m_requestSeq{0};
    DuiLib::CButtonUI* m_pLoginBtn = nullptr;
    DuiLib::CButtonUI* m_pGuestBtn = nullptr;
    DuiLib::CEditUI* m_pNameEdit = nullptr;
    DuiLib::CEditUI* m_pPwdEdit = nullptr;
    DuiLib::CCheckBoxUI* m_pAutoLogin = nullptr;
    DuiLib::CCheckBoxUI* m_pKeepPW = nullptr;
    DuiLib::CComboUI* m_pNameCombo = nullptr;
    DuiLib::CLabelUI* m_pNameTips = nullptr;
    DuiLib::CLabelUI* m_pPwdTips = nullptr;
    std::unique_ptr<CForceUpdateTipDlg> m_pForceUpdate;
    CTrayIcon m_trayIcon;
};
