#include "WebLoginDlgs.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "GlobalData.h"
#include "LobbyMessages.h"
#include "Win32Sync.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

using namespace DuiLib;

namespace {
const char kLog[] = "VarnetFrame.txt";
const char kDefaultThirdPartUrl[] = "http://127.0.0.1/US/platform/orig_show.htm";
const char kDefaultRegisterUrl[] = "http://127.0.0.1/US/2013/zqshow/vs_reg.htm";

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string ConfigVersion() {
    std::string v;
    AfxGetConfigManager()->GetString("config", "version", v);
    return v;
}

std::string TickBase64() {
    std::string tick = StringUtility::Format("%lu", (unsigned long)GetTickCount());
    return Base64::Base64Encode(tick.data(), (int)tick.size());
}

std::map<std::string, std::string> Fields(const std::string& text) {
    std::vector<std::string> items;
    StringUtility::Tokenize(text, "&", items);
    return ParseKeyValueParams(items);
}

// A decimal taken as a 64-bit number and kept in 32 bits.
int32_t Id32(const std::string& text) {
    return (int32_t)(uint32_t)strtoull(text.c_str(), nullptr, 10);
}

// A size the page asks for: a number within the bounds (800 when absent or not a number).
int PageSize(const std::map<std::string, std::string>& f, const char* key, int maxSize) {
    auto it = f.find(key);
    double v = it == f.end() ? 800 : StringToDouble(it->second);
    if (!std::isfinite(v)) v = 800;
    v = std::clamp(v, (double)CThirdPartLoginDlg::kMinSize, (double)maxSize);
    return (int)v;
}
}  // namespace

// ---- platform sign-in

CThirdPartLoginDlg::CThirdPartLoginDlg(const std::string& loginTypeName) : m_sLoginType(loginTypeName) {}

CThirdPartLoginDlg::~CThirdPartLoginDlg() {
    if (m_pBrowser) m_pBrowser->SetOwner(nullptr);
}

CControlUI* CThirdPartLoginDlg::CreateControl(const char* pstrClass) {
    if (EqualNoCase(pstrClass, "ZqWebBrowserUI")) return new CZqWebBrowser();
    return nullptr;
}

int CThirdPartLoginDlg::String2LoginType(const std::string& name) {
    if (name == "weibo") return 3;
    if (name == "qq") return 4;
    if (name == "renren") return 5;
    if (name == "tencentweibo") return 6;
    return 2;
}

std::string CThirdPartLoginDlg::GetLoginParam() {
    std::string ver = ConfigVersion();
    return StringUtility::Format("ver=%s&branch=vipclient&pk=%s&src=livebox",
                                 Base64::Base64Encode(ver.data(), (int)ver.size()).c_str(), TickBase64().c_str());
}

void CThirdPartLoginDlg::InitWindow() {
    CenterWindow();
    MoveWindow(m_rcWindow.left, m_rcWindow.top, m_rcWindow.right - m_rcWindow.left, m_rcWindow.bottom - m_rcWindow.top);
    CControlUI* c = m_PaintManager.FindControl("webThirdPartLogin");
    m_pBrowser = c ? static_cast<CZqWebBrowser*>(c->GetInterface("ZqWebBrowserUI")) : nullptr;
    InitMainBrowserHtmlView();
    const char* title = m_sLoginType == "weibo"          ? "微博登录"
                        : m_sLoginType == "renren"       ? "人人网登录"
                        : m_sLoginType == "qq"           ? "QQ登录"
                        : m_sLoginType == "tencentweibo" ? "腾讯微博登录"
                                                         : "第三方登录";
    if (CControlUI* label = m_PaintManager.FindControl("ThirdPartLoginTitleLabel")) label->SetText(title);
}

int CThirdPartLoginDlg::InitMainBrowserHtmlView() {
    std::string base;
    AfxGetConfigManager()->GetString("ZqServerList", "ThirdPartUrl", base, kDefaultThirdPartUrl);
    // The type name is the dialog's own; the version and id are encoded so that no value reshapes the query.
    m_sPageUrl = base + "?t=" + m_sLoginType + "&ver=" + UrlEncode::Encode(ConfigVersion()) +
                 "&id=" + UrlEncode::Encode(ClientID::GetClientID().substr(0, 127));
    if (!m_pBrowser) return 0;
    m_pBrowser->SetDelayCreate(false);
    m_pBrowser->SetOwner(this);
    m_pBrowser->SetTrustedHosts({webview::HttpHostOf(base)});
    m_pBrowser->Navigate2(m_sPageUrl.c_str());
    return 1;
}

void CThirdPartLoginDlg::Web_CallMusic(const std::string& cmd, std::string& answer) {
    PJ_Log(kLog, 0, "CThirdPartLoginDlg::Web_CallMusic", "%s", cmd.c_str());
    if (cmd.find("CloseWindow") != std::string::npos) Close(2);
    else if (StartsWith(cmd, "Resize?")) OnResizeWin(cmd);
    else if (StartsWith(cmd, "GetLoginParams")) answer = GetLoginParam();
    else if (StartsWith(cmd, "LoginResult?")) OnLoginResult(cmd);
    else if (StartsWith(cmd, "GetPk")) answer = TickBase64();
    else if (StartsWith(cmd, "GetDevKey")) answer = ClientID::GetClientID();
    else if (StartsWith(cmd, "GetDevName")) answer = UrlEncode::Encode("泽嘉秀场PC端");
    else if (StartsWith(cmd, "Navrefresh")) {
        if (m_pBrowser && !m_sPageUrl.empty()) m_pBrowser->Navigate2(m_sPageUrl.c_str());
    }
}

void CThirdPartLoginDlg::Web_NavigateFailed(const std::string& url) {
    PJ_Log(kLog, 0, "CThirdPartLoginDlg::Web_NavigateFailed", "%s", url.c_str());
}

void CThirdPartLoginDlg::OnResizeWin(const std::string& cmd) {
    std::string rest = cmd.substr(sizeof("Resize?") - 1);
    if (!m_pBrowser || rest.empty()) return;
    auto f = Fields(rest);
    // The page's numbers are bounded by the dialog's limits and the screen.
    SIZE screen = m_pBackend ? m_pBackend->GetScreenSize() : SIZE{kMaxSize, kMaxSize};
    int w = PageSize(f, "w", std::max<int>(kMinSize, std::min<int>(kMaxSize, screen.cx > 0 ? screen.cx : kMaxSize)));
    int h = PageSize(f, "h", std::max<int>(kMinSize, std::min<int>(kMaxSize, screen.cy > 0 ? screen.cy : kMaxSize)));
    ResizeClient(w, h);
    CenterWindow();
    m_rcWindow = GetWindowRect();
    // The skin places the page under the title bar; laid out now, so that the page is shown at its new size.
    m_PaintManager.UpdateLayout();
}

void CThirdPartLoginDlg::OnLoginResult(const std::string& cmd) {
    std::string rest = cmd.substr(sizeof("LoginResult?") - 1);
    if (rest.empty()) {
        std::string text = cmd;
        for (char& ch : text)
            if (ch == '|' || ch == ':' || ch == '<' || ch == '>') ch = '_';
        LogClientErrorMsg("VARNET", "LOGIN", "THIRDLOGIN", text.c_str());
        return;
    }
    auto f = Fields(rest);
    auto r = f.find("r");
    if (r == f.end()) return;
    if (r->second == "2") {
        Close(2);
        return;
    }
    if (r->second != "1") return;
    if (auto it = f.find("t"); it != f.end()) m_result.loginType = String2LoginType(it->second);
    if (auto it = f.find("b"); it != f.end() && it->second == "1") m_result.loginType = 2;
    if (auto it = f.find("u"); it != f.end()) m_result.nickName = it->second;
    if (auto it = f.find("k"); it != f.end()) m_result.userName = it->second;
    if (auto it = f.find("p"); it != f.end()) {
        char buf[250];
        UrlEncode::DecodeEx(it->second.c_str(), buf, sizeof buf);
        m_result.password = buf;
    }
    if (auto it = f.find("kid"); it != f.end()) m_result.uid = Id32(it->second);
    if (auto it = f.find("sid"); it != f.end()) m_result.sid = Id32(it->second);
    Close(1);
}

void CThirdPartLoginDlg::OnClick(TNotifyUI& msg) {
    if (msg.pSender && msg.pSender->GetName() == "ThirdPartLoginCloseBTN") Close(2);
}

LRESULT CThirdPartLoginDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam != VK_ESCAPE) return FALSE;
    Close(2);
    return TRUE;
}

// ---- registration

CRegisterDlg::CRegisterDlg(HWND notify) : m_hNotify(notify) {}

CRegisterDlg::~CRegisterDlg() {
    if (m_pBrowser) m_pBrowser->SetOwner(nullptr);
}

CControlUI* CRegisterDlg::CreateControl(const char* pstrClass) {
    if (EqualNoCase(pstrClass, "ZqWebBrowserUI")) return new CZqWebBrowser();
    return nullptr;
}

void CRegisterDlg::InitWindow() {
    CenterWindow();
    CControlUI* c = m_PaintManager.FindControl("webRegister");
    m_pBrowser = c ? static_cast<CZqWebBrowser*>(c->GetInterface("ZqWebBrowserUI")) : nullptr;
    m_pWait = m_PaintManager.FindControl("RegisterWaitUI");
    if (!m_pBrowser) return;
    m_pBrowser->SetVisible(false);
    m_pBrowser->SetDelayCreate(false);
    m_pBrowser->SetOwner(this);
    std::string url;
    AfxGetConfigManager()->GetString("ZqServerList", "WebRegisterSvr", url, kDefaultRegisterUrl);
    m_pBrowser->SetTrustedHosts({webview::HttpHostOf(url)});
    m_pBrowser->Navigate2(url.c_str());
}

void CRegisterDlg::Web_NavigateComplete(const std::string&) {
    if (!m_pBrowser || !m_pWait) return;
    m_pWait->SetVisible(false);
    m_pBrowser->SetVisible(true);
}

void CRegisterDlg::Web_CallMusic(const std::string& cmd, std::string&) {
    PJ_Log(kLog, 0, "CRegisterDlg::Web_CallMusic", "%s", cmd.c_str());
    if (!StartsWith(cmd, "User/?")) return;  // "RegisterPageLoadOver" and the rest: nothing
    std::vector<std::string> items;
    StringUtility::TokenizeEx(cmd.substr(6), "&", items);
    auto map = std::make_unique<std::map<std::string, std::string>>();
    for (const std::string& item : items) {
        std::vector<std::string> kv;
        StringUtility::TokenizeEx(item, "=", kv);
        if (kv.size() == 2) (*map)[kv[0]] = kv[1];
    }
    auto op = map->find("op");
    if (op == map->end() || op->second != "Regist_Web") return;
    // The runtime frees the map when the post fails.
    ::PostMessageOwned(m_hNotify, WM_LOGIN_UI_INFO, 0, std::move(map));
    Close(1);
}

void CRegisterDlg::OnClick(TNotifyUI& msg) {
    if (msg.pSender && msg.pSender->GetName() == "RegisterCloseBTN") Close(2);
}
