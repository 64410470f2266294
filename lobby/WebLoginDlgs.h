// The account windows that hold a service page: the platform-account sign-in (CThirdPartLoginDlg) and the
// registration (CRegisterDlg). The pages talk to the dialogs through window.external; a page call may end
// the dialog from inside the call. Both are modal: 1 done, 2 cancelled. UI thread only.
#pragma once

#include <map>
#include <string>

#include "ZqWebBrowser.h"
#include "ZqWindowBase.h"

struct ThirdPartLoginResult {
    int32_t uid = 0;
    int32_t sid = 0;
    int32_t loginType = 2;
    std::string userName;
    std::string nickName;
    std::string password;
};

class CThirdPartLoginDlg : public CZqWindowImplBase, public IZqWebAction {
public:
    // Bounds of a size the page asks for (client area).
    static constexpr int kMinSize = 200;
    static constexpr int kMaxSize = 1600;

    explicit CThirdPartLoginDlg(const std::string& loginTypeName);
    ~CThirdPartLoginDlg() override;
    const char* GetWindowClassName() const override { return "ThirdPartLoginDlg"; }
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;
    void InitWindow() override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    void OnClick(DuiLib::TNotifyUI& msg) override;

    void Web_CallMusic(const std::string& cmd, std::string& answer) override;
    void Web_NavigateFailed(const std::string& url) override;
    void Web_NavigateComplete(const std::string&) override {}
    void Web_DocumentComplete(const std::string&) override {}

    static int String2LoginType(const std::string& name);
    static std::string GetLoginParam();
    const ThirdPartLoginResult& GetResult() const { return m_result; }
    const std::string& GetPageUrl() const { return m_sPageUrl; }
    DuiLib::RECT GetSavedRect() const { return m_rcWindow; }

protected:
    DuiLib::CDuiString GetSkinFile() override { return "ThirdPartLoginSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    int InitMainBrowserHtmlView();
    void OnResizeWin(const std::string& cmd);
    void OnLoginResult(const std::string& cmd);

    CZqWebBrowser* m_pBrowser = nullptr;
    ThirdPartLoginResult m_result;
    std::string m_sPageUrl;
    DuiLib::RECT m_rcWindow{0, 0, 500, 500};
    std::string m_sLoginType;
};

class CRegisterDlg : public CZqWindowImplBase, public IZqWebAction {
public:
    // `notify`: the window that gets the new account (WM_LOGIN_UI_INFO, lParam heap map it frees).
    explicit CRegisterDlg(HWND notify);
    ~CRegisterDlg() override;
    const char* GetWindowClassName() const override { return "RegisterDlg"; }
    DuiLib::CControlUI* CreateControl(const char* pstrClass) override;
    void InitWindow() override;
    void OnClick(DuiLib::TNotifyUI& msg) override;

    void Web_CallMusic(const std::string& cmd, std::string& answer) override;
    void Web_NavigateFailed(const std::string&) override {}
    void Web_NavigateComplete(const std::string& url) override;
    void Web_DocumentComplete(const std::string&) override {}

protected:
    DuiLib::CDuiString GetSkinFile() override { return "RegisterSkin.xml"; }
    ZQ_SKIN_ANSWERS()

private:
    HWND m_hNotify;
    CZqWebBrowser* m_pBrowser = nullptr;
    DuiLib::CControlUI* m_pWait = nullptr;
};
