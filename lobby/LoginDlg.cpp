#include "LoginDlg.h"

#include <algorithm>
#include <map>

#include "GlobalData.h"
#include "LobbyMessages.h"
#include "LobbyWindowProps.h"
#include "ZQCommands.h"
#include "SecretStore.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMessageBox.h"
#include "ZqModConfig.h"
#include "WebLoginDlgs.h"
#include "WebView.h"

using namespace DuiLib;

namespace {
const char kLog[] = "VarnetFrame.txt";
const int kMaxAccounts = 10;
const char kDefaultUserService[] = "http://127.0.0.1";  // the user service when the configuration names none
const UINT kLoginTimerMs = 500;
const UINT WM_REGISTER_FIRST = WM_USER + 1020;

template <class T>
T* Find(CPaintManagerUI& pm, const char* name, const char* iface) {
    CControlUI* c = pm.FindControl(name);
    return c ? static_cast<T*>(c->GetInterface(iface)) : nullptr;
}

void SetTip(CLabelUI* label, const char* text) {
    if (label) label->SetText(text);
}
}  // namespace

// ---- saved accounts

std::vector<SavedAccount> ReadSavedAccounts() {
    IConfigManager* cfg = AfxGetConfigManager();
    std::vector<SavedAccount> list;
    for (int i = 0; i < kMaxAccounts; ++i) {
        SavedAccount a;
        std::string key = StringUtility::Format("UserName%d", i);
        if (!cfg->GetString("UserInfo", key.c_str(), a.name)) break;
        const std::string pwdKey = StringUtility::Format("PassWord%d", i);
        std::string stored;
        cfg->GetString("UserInfo", pwdKey.c_str(), stored, "");
        char buf[256];
        int n = stored.empty() ? 0 : Base64::Base64Decode(stored.c_str(), buf, sizeof buf);
        if (n > 0) a.password.assign(buf, (size_t)n);
        cfg->GetBool("UserInfo", StringUtility::Format("AutoLogin%d", i).c_str(), a.autoLogin);
        cfg->GetBool("UserInfo", StringUtility::Format("RemPW%d", i).c_str(), a.remember);
        if (!a.password.empty()) {
            // Kept in the settings file by an earlier run or for want of a store: moved into the store.
            // Without a store it stays, written again so that the file gets the owner-only mode.
            const bool moved = a.remember && zqconfig::StoreSecret(a.name, a.password);
            cfg->SetString("UserInfo", pwdKey.c_str(), moved ? "" : stored.c_str(), 1);
        } else if (a.remember) {
            bool found = false;
            zqconfig::LookupSecret(a.name, a.password, found);
        }
        cfg->GetInt("UserInfo", StringUtility::Format("LogInType%d", i).c_str(), a.loginType);
        list.push_back(std::move(a));
    }
    return list;
}

void WriteSavedAccounts(std::vector<SavedAccount> list, const SavedAccount& current) {
    list.erase(std::remove_if(list.begin(), list.end(), [&](const SavedAccount& a) { return a.name == current.name; }),
               list.end());
    list.insert(list.begin(), current);
    IConfigManager* cfg = AfxGetConfigManager();
    for (size_t i = 0; i < list.size(); ++i) {
        const SavedAccount& a = list[i];
        int n = (int)i;
        cfg->SetString("UserInfo", StringUtility::Format("UserName%d", n).c_str(), a.name.c_str(), 1);
        // The desktop's secret store keeps it where one answers; the settings file (the owner's only) else.
        std::string pwd;
        if (a.remember && !a.password.empty() && !zqconfig::StoreSecret(a.name, a.password))
            pwd = Base64::Base64Encode(a.password.data(), (int)a.password.size());
        else if (!a.remember) zqconfig::ClearSecret(a.name);
        cfg->SetString("UserInfo", StringUtility::Format("PassWord%d", n).c_str(), pwd.c_str(), 1);
        cfg->SetBool("UserInfo", StringUtility::Format("AutoLogin%d", n).c_str(), a.autoLogin);
        cfg->SetBool("UserInfo", StringUtility::Format("RemPW%d", n).c_str(), a.remember);
        cfg->SetInt("UserInfo", StringUtility::Format("LogInType%d", n).c_str(), a.loginType);
    }
}

// ---- dialog

DUI_BEGIN_MESSAGE_MAP(CLoginDlg, CZqWindowImplBase)
DUI_ON_MSGTYPE(DUI_MSGTYPE_TIMER, CLoginDlg::OnTimer)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, CLoginDlg::OnBtnClickMsg)
DUI_ON_MSGTYPE(DUI_MSGTYPE_RETURN, CLoginDlg::OnEnterKeyDownMsg)
DUI_ON_MSGTYPE(DUI_MSGTYPE_ITEMSELECT, CLoginDlg::OnItemSelChgMsg)
DUI_ON_MSGTYPE(DUI_MSGTYPE_TEXTCHANGED, CLoginDlg::OnTextChangedMsg)
DUI_ON_MSGTYPE(DUI_MSGTYPE_SELECTCHANGED, CLoginDlg::OnSelectChangeMsg)
DUI_END_MESSAGE_MAP()

CLoginDlg::CLoginDlg(HWND owner, int mode) : m_hOwner(owner), m_nMode(mode) {
    GetUserConfigData();
}

CLoginDlg::~CLoginDlg() {
    CMsgClientThread::GetInstance().EventSource().RemoveListener(this);
}

void CLoginDlg::GetUserConfigData() {
    m_accounts = ReadSavedAccounts();
}

void CLoginDlg::SaveUserConfigData() {
    SavedAccount a = m_pending;
    a.loginType = CGlobalDataApp::GetInstance().GetLoginType();
    WriteSavedAccounts(m_accounts, a);
    GetUserConfigData();
}

void CLoginDlg::BindControls() {
    m_pLoginBtn = Find<CButtonUI>(m_PaintManager, "LoginBTN", "Button");
    m_pGuestBtn = Find<CButtonUI>(m_PaintManager, "AnonyUserBTN", "Button");
    m_pNameEdit = Find<CEditUI>(m_PaintManager, "UserNameEdit", "Edit");
    m_pPwdEdit = Find<CEditUI>(m_PaintManager, "PassWordEdit", "Edit");
    m_pAutoLogin = Find<CCheckBoxUI>(m_PaintManager, "AutoLoginChkBox", "CheckBox");
    m_pKeepPW = Find<CCheckBoxUI>(m_PaintManager, "KeepPWChkBox", "CheckBox");
    m_pNameCombo = Find<CComboUI>(m_PaintManager, "UserNameComBo", "Combo");
    m_pNameTips = Find<CLabelUI>(m_PaintManager, "lbeUserNameTips", "Label");
    m_pPwdTips = Find<CLabelUI>(m_PaintManager, "lbePasswordTips", "Label");
}

void CLoginDlg::InitWindow() {
    CMsgClientThread::GetInstance().EventSource().AddListener(this);
    CenterWindow();
    if (!m_hOwner) {
        // The start-up dialog shows the program's icon and is the window the updater talks to until the
        // frame exists.
        HICON icon = CGlobalDataApp::GetInstance().AppIcon();
        ::SendMessage(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        ::SendMessage(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        m_bHoldsMainWndProperty = true;
        SetMainWndProperty(m_hWnd);
        m_trayIcon.Add(m_hWnd, icon);
    }
    BindControls();
    if (CControlUI* forgot = m_PaintManager.FindControl("ForgotPWBTN")) forgot->SetVisible(false);
    InitUserInfoOnUI();
    m_bHideOnShow = m_nMode == kModeTray;
    if (m_nMode == kModeGuest) OnBtnClickAnonyUserLogin();
    // Registration first: once the dialog runs (not inside its creation).
    if (m_bRegisterFirst) ::PostMessage(m_hWnd, WM_REGISTER_FIRST, 0, 0);
}

void CLoginDlg::SetLoggingIn(bool on) {
    m_bLoggingIn = on;
    if (m_pLoginBtn) m_pLoginBtn->SetEnabled(!on);
    if (m_pGuestBtn) m_pGuestBtn->SetEnabled(!on);
}

void CLoginDlg::OnBtnClickLoginThirdPart(const std::string& typeName, const char* title) {
    if (m_bLoggingIn) return;
    CThirdPartLoginDlg dlg(typeName);
    if (!dlg.Create(m_hWnd, title, UI_WS_POPUP, 0, 0, 0, 500, 500)) return;
    dlg.CenterWindow();
    SetLoggingIn(true);  // no other login while the sign-in page is up
    UINT answer = RunModal(dlg);
    if (!::IsWindow(m_hWnd)) return;
    if (answer != 1) {
        SetLoggingIn(false);
        return;
    }
    const ThirdPartLoginResult& r = dlg.GetResult();
    Logout();
    CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) {
        a.uid = (uint32_t)r.uid;
        a.sid = (uint32_t)r.sid;
        a.loginType = r.loginType;
        a.nickname = r.nickName;
        a.userName = r.userName;
        a.password = r.password;
    });
    CZQGetMyInfoMsg info;
    info.user.name = r.userName;
    info.user.uid = (uint32_t)r.uid;
    info.user.sid = (uint32_t)r.sid;
    info.type = 4;
    m_requestSeq = info.seq;
    CMsgClientThread::GetInstance().PostRequest(&info);
}

void CLoginDlg::OnBtnClickRegister() {
    // Registration first (the frame asked for it): a registration that does not succeed ends the dialog.
    const bool first = m_bRegisterFirst;
    m_bRegisterFirst = false;
    CRegisterDlg dlg(m_hWnd);
    if (!dlg.Create(m_hWnd, "注册对话框", UI_WS_POPUP, 0, 0, 0, 520, 440)) {
        if (first) Close(2);
        return;
    }
    dlg.CenterWindow();
    UINT answer = RunModal(dlg);
    if (first && answer != 1 && ::IsWindow(m_hWnd)) Close(2);
}

void CLoginDlg::OnBtnClickForgotPW() {
    IConfigManager* cfg = AfxGetConfigManager();
    std::string service, version;
    cfg->GetString("ZqServerList", "ussvr", service, kDefaultUserService);
    cfg->GetString("config", "version", version, "");
    std::string name = m_pNameEdit ? std::string(m_pNameEdit->GetText()) : std::string();
    std::string url = StringUtility::Format("%s/US/FindPassword?uname=%s&ver=%s", service.c_str(),
                                            Base64::Base64Encode(name.data(), int(name.size())).c_str(),
                                            Base64::Base64Encode(version.data(), int(version.size())).c_str());
    webview::OpenInDefaultBrowser(url);
}

void CLoginDlg::FillFromAccount(const SavedAccount& a) {
    SetTip(m_pNameTips, "");
    SetTip(m_pPwdTips, "");
    if (m_pNameEdit) m_pNameEdit->SetText(a.name.c_str());
    if (m_pAutoLogin) m_pAutoLogin->Selected(a.autoLogin, false);
    if (m_pKeepPW) m_pKeepPW->Selected(a.remember, false);
    if (m_pPwdEdit) m_pPwdEdit->SetText(a.remember ? a.password.c_str() : "");
}

void CLoginDlg::InitUserInfoOnUI() {
    if (m_accounts.empty()) {
        if (m_pKeepPW) m_pKeepPW->Selected(true, false);
        return;
    }
    if (m_pNameCombo) {
        m_pNameCombo->RemoveAll();
        for (const SavedAccount& a : m_accounts) {
            auto* item = new CListLabelElementUI;
            item->SetText(a.name.c_str());
            m_pNameCombo->Add(item);
        }
    }
    const SavedAccount& first = m_accounts.front();
    FillFromAccount(first);
    bool pwdShown = first.remember && !first.password.empty();
    if (first.name.empty()) {
        if (m_pNameEdit) m_pNameEdit->SetFocus();
    } else if (pwdShown) {
        if (m_pLoginBtn) m_pLoginBtn->SetFocus();
    } else if (m_pPwdEdit) {
        m_pPwdEdit->SetFocus();
    }
    // Auto-login: the first account with both flags, at program start (a re-login from the lobby is for
    // choosing another account) or when the dialog was opened for it.
    bool autoStart = m_nMode == kModeAutoLogin || (!m_hOwner && m_nMode == kModeNormal);
    if (autoStart && first.autoLogin && first.remember && m_pLoginBtn)
        m_PaintManager.SetTimer(m_pLoginBtn, kTimerLogin, kLoginTimerMs);
}

void CLoginDlg::ChgUserLoginInfo(int index) {
    if (index < 0 || index >= (int)m_accounts.size()) return;
    FillFromAccount(m_accounts[(size_t)index]);
    ClearTips();
}

void CLoginDlg::ClearTips() {
    SetTip(m_pNameTips, "");
    SetTip(m_pPwdTips, "");
}

bool CLoginDlg::LoginEnabled() const {
    return m_pLoginBtn && m_pLoginBtn->IsEnabled();
}

void CLoginDlg::Logout() {
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    if (a.uid == 0) return;
    if (m_hOwner) ::SendMessage(m_hOwner, WM_CLOSE_ALL_ROOMS, 0, 0);
    CZQLogOutMsg out;
    out.uid = a.uid;
    out.sid = a.sid;
    out.ctxInt[0] = (int)a.uid;
    out.ctxText[0] = a.nickname;
    CMsgClientThread::GetInstance().PostRequest(&out);
}

void CLoginDlg::OnBtnClickLogin() {
    if (m_bLoggingIn) return;  // one login at a time
    ClearTips();
    Logout();
    CDuiString name = m_pNameEdit ? m_pNameEdit->GetText() : CDuiString();
    CDuiString pwd = m_pPwdEdit ? m_pPwdEdit->GetText() : CDuiString();
    if (name.empty()) {
        SetTip(m_pNameTips, "请输入用户名!");
        if (m_pNameEdit) m_pNameEdit->SetFocus();
        return;
    }
    if (pwd.empty()) {
        SetTip(m_pPwdTips, "请输入密码!");
        if (m_pPwdEdit) m_pPwdEdit->SetFocus();
        return;
    }
    // What is saved after a successful login is what was sent, read here on the UI thread.
    m_pending = SavedAccount();
    m_pending.name = name;
    m_pending.password = pwd;
    m_pending.autoLogin = m_pAutoLogin && m_pAutoLogin->GetCheck();
    m_pending.remember = m_pKeepPW && m_pKeepPW->GetCheck();
    SetLoggingIn(true);
    CZQLogInMsg login;
    login.user.name = name;
    login.pwd = pwd;
    m_requestSeq = login.seq;
    CMsgClientThread::GetInstance().PostRequest(&login);
}

void CLoginDlg::OnBtnClickAnonyUserLogin() {
    if (m_bLoggingIn) return;  // one login at a time
    SetLoggingIn(true);
    Logout();
    CZQGetAnonyUserMsg guest;
    guest.ctxInt[0] = 1;
    m_requestSeq = guest.seq;
    CMsgClientThread::GetInstance().PostRequest(&guest);
}

void CLoginDlg::OnZQMessageNotify(CZQMessage* msg, CZQEventSource*) {
    if (!msg) return;
    HWND self = m_hWnd;
    auto fail = [&](int kind) {
        ::PostMessageOwned(self, WM_LOGIN_FAILED, (WPARAM)kind, std::make_unique<std::string>(msg->statusdesc));
    };
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    const bool loginReply = dynamic_cast<CZQLogInMsg*>(msg) || dynamic_cast<CZQGetAnonyUserMsg*>(msg) ||
                            dynamic_cast<CZQGetMyInfoMsg*>(msg);
    // Only the answer to this dialog's own request, once: another dialog's, or one that came after this
    // dialog gave up its request, changes nothing.
    int expected = msg->seq;
    if (loginReply && (expected == 0 || !m_requestSeq.compare_exchange_strong(expected, 0))) {
        PJ_Log(kLog, 0, "CLoginDlg::OnZQMessageNotify", "忽略不是本对话框请求的应答 cmd=%s", msg->cmd.c_str());
        return;
    }
    if (auto* login = dynamic_cast<CZQLogInMsg*>(msg)) {
        PJ_Log(kLog, 0, "CLoginDlg::OnZQMessageNotify", "HTTP应答CZQLogInMsg");
        if (login->status != 1) return fail(kFailLogin);
        const AccountReply& u = login->user;
        g.UpdateAccount([&](UserAccount& a) {
            a.userName = u.name;
            a.password.clear();  // the reply carries none; the typed one stays with the dialog
            a.loginType = login->ctxInt[0];
            a.uid = u.uid;
            a.sid = u.sid;
            a.beautyid = u.beautyid;
            a.nickname = u.nickname.empty() ? u.name : u.nickname;
            a.photoid = u.photoid;
            a.sex = u.sex;
            a.birth = u.birth;
            a.province = u.prov;
            a.city = u.city;
            a.level = u.level;
            a.upgradeleft = u.upgradeleft;
            a.xiubi = u.xiubi;
            a.xiubiver = u.xiubiver;
            a.zebin = u.zebin;
            a.zebinver = u.zebinver;
        });
        g.SyncServerTime(login->systm);
        ::PostMessage(self, WM_LOGIN_DONE, 1, 0);  // 1: save the account (on the UI thread)
    } else if (auto* guest = dynamic_cast<CZQGetAnonyUserMsg*>(msg)) {
        PJ_Log(kLog, 0, "CLoginDlg::OnZQMessageNotify", "HTTP应答CZQGetAnonyUserMsg");
        if (guest->status != 1) return fail(kFailGuest);
        g.ResetUserInfo();
        g.UpdateAccount([&](UserAccount& a) {
            a.userName = "游客";
            a.nickname = "游客";
            a.uid = guest->uid;
            a.sid = guest->sid;
            a.beautyid = guest->uid;
            a.level = 100;
            a.loginType = 1;
            a.photoid = 31000;
        });
        g.SyncServerTime(guest->systm);
        ::PostMessage(self, WM_LOGIN_DONE, 0, 0);
    } else if (auto* info = dynamic_cast<CZQGetMyInfoMsg*>(msg)) {
        PJ_Log(kLog, 0, "CLoginDlg::OnZQMessageNotify", "HTTP应答CZQGetMyInfoMsg");
        if (info->status != 1) return fail(kFailMyInfo);
        const AccountReply& u = info->user;
        g.UpdateAccount([&](UserAccount& a) {
            a.uid = u.uid;
            a.sid = u.sid;
            a.userName = u.name;
            a.nickname = u.nickname;
            a.beautyid = u.beautyid;
            a.photoid = u.photoid;
            a.level = u.level;
            a.sex = u.sex;
            a.birth = u.birth;
            a.province = u.prov;
            a.city = u.city;
            a.upgradeleft = u.upgradeleft;
            a.xiubi = u.xiubi;
            a.xiubiver = u.xiubiver;
            a.zebin = u.zebin;
            a.zebinver = u.zebinver;
        });
        ::PostMessage(self, WM_LOGIN_DONE, 0, 0);
    } else if (auto* out = dynamic_cast<CZQLogOutMsg*>(msg)) {
        PJ_Log(kLog, 0, "CLoginDlg::OnZQMessageNotify", "HTTP应答CZQLogOutMsg");
        PJ_Log(kLog, 0, "CLoginDlg::OnZQMessageNotify",
               out->status == 1 ? "用户退出成功UserID=%d,NickName=%s" : "用户退出失败UserID=%d,NickName=%s",
               out->ctxInt[0], out->ctxText[0].c_str());
    }
}

void CLoginDlg::ShowLoginError(int kind, std::unique_ptr<std::string> text) {
    SetLoggingIn(false);
    const std::string t = text ? *text : std::string();
    if (kind == kFailLogin) {
        if (t.find("密码") != std::string::npos) {
            SetTip(m_pPwdTips, t.c_str());
            if (m_pPwdEdit) {
                m_pPwdEdit->SetFocus();
                m_pPwdEdit->SetSelAll();
            }
        } else {
            SetTip(m_pNameTips, t.c_str());
        }
    } else if (kind == kFailMyInfo || kind == kFailGuest) {
        ShowZqMessageBox(m_hWnd, t.c_str(), "提示");
    }
}

void CLoginDlg::ShowFromTray() {
    ShowWindow(true, true);
    if (m_nMode == kModeTray) OnBtnClickAnonyUserLogin();
}

void CLoginDlg::OnTrayNotify(LPARAM mouseMsg) {
    UINT m = LOWORD((uintptr_t)mouseMsg);
    if (m == WM_LBUTTONDBLCLK) {
        if (IsWindowVisible()) ShowWindow(false, false);
        else ShowFromTray();
    } else if (m == WM_RBUTTONDOWN) {
        CZqMenuUI menu;
        menu.SetMenuItem({ZqMenuItem("显示主窗口", 0), ZqMenuItem("退出", 1)});
        POINT cursor = m_pBackend ? m_pBackend->GetCursorPos() : POINT{};
        if (!menu.CreateMenuFor(TrayMenuField(m_hWnd, kTrayIconId, cursor), m_hWnd)) return;
        int id = menu.PopupMenuNoCreate();
        if (!::IsWindow(m_hWnd)) return;
        if (id == 0) ShowFromTray();
        else if (id == 1) Close(2);
    } else if (m == kTrayMenuShow) {
        ShowFromTray();
    } else if (m == kTrayMenuQuit) {
        Close(2);
    }
}

void CLoginDlg::OnForceUpdate(bool start) {
    if (start) {
        if (m_pLoginBtn) m_PaintManager.KillTimer(m_pLoginBtn, kTimerLogin);
        ShowWindow(false, false);
        if (m_pForceUpdate && ::IsWindow(m_pForceUpdate->GetHWND())) return;
        // A dialog of an earlier run may still have a loop returning: it goes once no loop runs.
        ::DeleteWhenIdle(std::move(m_pForceUpdate));
        m_pForceUpdate = std::make_unique<CForceUpdateTipDlg>();
        if (!m_pForceUpdate->Create(m_hWnd, "强制升级对话框", UI_WS_POPUP, 0, 0, 0, 512, 312)) return;
        m_pForceUpdate->CenterWindow();
        m_pForceUpdate->ShowModal();
    } else {
        ShowWindow(true, true);
        if (m_pForceUpdate && ::IsWindow(m_pForceUpdate->GetHWND())) m_pForceUpdate->Close(1);
    }
}

LRESULT CLoginDlg::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    bHandled = TRUE;
    switch (uMsg) {
    case WM_REGISTER_FIRST:
        OnBtnClickRegister();
        return 0;
    case WM_LOGIN_DONE:
        if (wParam == 1) SaveUserConfigData();
        Close(1);
        return 0;
    case WM_LOGIN_FAILED:
        ShowLoginError((int)wParam, std::unique_ptr<std::string>(reinterpret_cast<std::string*>(lParam)));
        return 0;
    case WM_TRAY_NOTIFY:
        if (wParam == kTrayIconId) OnTrayNotify(lParam);
        return 0;
    case WM_FORCE_UPDATE:
        OnForceUpdate(wParam == 1);
        return 0;
    case WM_FORCE_UPDATE_PROGRESS:
        if (m_pForceUpdate && ::IsWindow(m_pForceUpdate->GetHWND()))
            m_pForceUpdate->SetProgress((unsigned)lParam, (int)wParam);
        return 0;
    case WM_LOGIN_UI_INFO: {
        std::unique_ptr<std::map<std::string, std::string>> texts(
            reinterpret_cast<std::map<std::string, std::string>*>(lParam));
        if (!texts) return 0;
        // New credentials (a registration's): the tips about the ones before go.
        SetTip(m_pNameTips, "");
        SetTip(m_pPwdTips, "");
        if (m_pNameEdit && texts->count("uname")) {
            char buf[260];
            UrlEncode::DecodeEx((*texts)["uname"].c_str(), buf, sizeof buf);
            m_pNameEdit->SetText(buf);
        }
        if (m_pPwdEdit && texts->count("pwd")) m_pPwdEdit->SetText((*texts)["pwd"].c_str());
        bool spreader = false;
        AfxGetConfigManager()->GetBool("Config", "bSpreader", spreader, false);
        if (spreader && m_pLoginBtn) m_PaintManager.SetTimer(m_pLoginBtn, kTimerLogin, kLoginTimerMs);
        return 0;
    }
    case WM_SHOWWINDOW:
        // Started in the tray: the dialog stays hidden until the tray shows it.
        if (wParam == 1 && m_bHideOnShow) {
            m_bHideOnShow = false;
            ShowWindow(false, false);
        }
        bHandled = FALSE;
        return 0;
    default:
        bHandled = FALSE;
        return 0;
    }
}

LRESULT CLoginDlg::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    m_requestSeq = 0;
    CMsgClientThread::GetInstance().EventSource().RemoveListener(this);
    if (m_bHoldsMainWndProperty) ClearMainWndProperty(m_hWnd);
    m_trayIcon.Delete();
    if (m_pForceUpdate && ::IsWindow(m_pForceUpdate->GetHWND())) m_pForceUpdate->Close(1);
    return CZqWindowImplBase::OnDestroy(uMsg, wParam, lParam, bHandled);
}

LRESULT CLoginDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_ESCAPE) {
        Close(2);
        return TRUE;
    }
    if (wParam == VK_RETURN) {
        if (LoginEnabled()) OnBtnClickLogin();
        return TRUE;
    }
    return FALSE;
}

void CLoginDlg::OnTimer(TNotifyUI& msg) {
    if (msg.wParam != kTimerLogin || !m_pLoginBtn) return;
    m_PaintManager.KillTimer(m_pLoginBtn, kTimerLogin);
    if (LoginEnabled()) OnBtnClickLogin();
}

void CLoginDlg::OnBtnClickMsg(TNotifyUI& msg) {
    CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
    if (name == "LoginCloseBTN") Close(2);
    else if (name == "LoginMinBTN") ::PostMessage(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == "LoginBTN") OnBtnClickLogin();
    else if (name == "AnonyUserBTN") OnBtnClickAnonyUserLogin();
    else if (name == "UserRegisterBTN") OnBtnClickRegister();
    else if (name == "ForgotPWBTN") OnBtnClickForgotPW();
    else if (name == "LoginQQBTN") OnBtnClickLoginThirdPart("qq", "QQ登录");
    else if (name == "LoginBlogBTN") OnBtnClickLoginThirdPart("weibo", "新浪微博登录");
    // "LoginADBTN" does nothing.
}

void CLoginDlg::OnEnterKeyDownMsg(TNotifyUI& msg) {
    if ((msg.pSender == m_pNameEdit || msg.pSender == m_pPwdEdit) && msg.pSender && LoginEnabled()) OnBtnClickLogin();
}

void CLoginDlg::OnItemSelChgMsg(TNotifyUI& msg) {
    if (m_pNameCombo && msg.pSender == m_pNameCombo) ChgUserLoginInfo(m_pNameCombo->GetCurSel());
}

void CLoginDlg::OnTextChangedMsg(TNotifyUI& msg) {
    if (!msg.pSender || (msg.pSender != m_pNameEdit && msg.pSender != m_pPwdEdit)) return;
    ClearTips();
    if (msg.pSender == m_pNameEdit && m_pPwdEdit) m_pPwdEdit->SetText("");
}

void CLoginDlg::OnSelectChangeMsg(TNotifyUI& msg) {
    if (m_pAutoLogin && msg.pSender == m_pAutoLogin) {
        if (m_pAutoLogin->GetCheck() && m_pKeepPW) m_pKeepPW->Selected(true, false);
    } else if (m_pKeepPW && msg.pSender == m_pKeepPW) {
        if (!m_pKeepPW->GetCheck()) {
            if (m_pAutoLogin) m_pAutoLogin->Selected(false, false);
            if (m_pPwdEdit) m_pPwdEdit->SetText("");
        }
    }
}
