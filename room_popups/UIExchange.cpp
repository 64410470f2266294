#include "UIExchange.h"

#include <cerrno>
#include <cstdlib>

#include "BrowserHtmlView.h"
#include "GlobalData.h"
#include "JsonSafe.h"
#include "Win32Window.h"
#include "ZqLib.h"
#include "ZqModConfig.h"

using namespace DuiLib;

namespace roompopups {

namespace {
constexpr DWORD kPopupStyle = 0x80000000;  // WS_POPUP
constexpr const char* kFailText = "Z豆兑换失败，请查看网络是否正常或者重新兑换!";
constexpr size_t kMessageBytes = 250;

// The leading decimal digits of the edit as a signed 64-bit number; none give 0, too many saturate.
int64_t ReadAmount(const std::string& text) {
    errno = 0;
    long long v = strtoll(text.c_str(), nullptr, 10);
    return v;
}
}  // namespace

std::string BuildExchangeUrl(const std::string& root, uint64_t beans, int32_t tm, uint32_t uid) {
    std::string sign = StringUtility::Format("%u%u%s", static_cast<uint32_t>(tm), uid, kExchangeSalt);
    if (sign.size() > 511) sign.resize(511);
    std::string sig = Entrypt::GenerateMD5(sign);
    return root + StringUtility::Format("/ZeqaShow/exchangeZebin?shell=%llu&tm=%d&sig=%s&uid=%u",
                                        static_cast<unsigned long long>(beans), tm, sig.c_str(), uid);
}

ExchangeAnswer ParseExchangeAnswer(const std::string& body) {
    ExchangeAnswer a;
    Json::Value root;
    if (!JsonSafe::Parse(body, root) || !root.isObject()) return a;
    a.json = true;
    const Json::Value& ok = JsonSafe::Get(root, "success");
    a.success = ok.isBool() && ok.asBool();
    a.hasMsg = JsonSafe::Get(root, "msg").isString() && JsonSafe::ReadDecoded(root, "msg", kMessageBytes, a.msg);
    // Numbers only: a text or a container where a balance belongs leaves it untouched.
    if (JsonSafe::Get(root, "coin").isNumeric()) a.hasCoin = JsonSafe::ReadAmount(root, "coin", a.coin);
    if (JsonSafe::Get(root, "shell").isNumeric()) a.hasShell = JsonSafe::ReadAmount(root, "shell", a.shell);
    return a;
}

std::string ExchangeRoot() {
    std::string root;
    if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetString("ZqServerList", "ExchangeRoot", root, "");
    if (root.empty()) root = WebSiteRoot();
    while (!root.empty() && root.back() == '/') root.pop_back();
    return root;
}

bool CUIExchange::ShowPopup(HWND owner) {
    if (!GetHWND()) {
        if (!Create(owner, "兑换对话框", kPopupStyle, 0, 0, 0, kWidth, kHeight)) return false;
    } else {
        InitWindow();  // each opening starts fresh: no amount or error of the last one
    }
    m_closeCode = 0;
    ShowWindow(true);
    return true;
}

void CUIExchange::Destroy() {
    if (HWND h = GetHWND()) ::DestroyWindow(h);
}

void CUIExchange::InitWindow() {
    CenterWindow();
    m_edit = dynamic_cast<CEditUI*>(m_PaintManager.FindControl("ExchangeNumEdit"));
    m_error = dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("lbeErrorDesc"));
    if (m_error) {
        m_error->SetTextStyle((m_error->GetTextStyle() & ~0x20u) | 0x10u);
        m_error->SetText("注：Z豆至少大于1000才能兑换");
    }
    if (m_edit) {
        m_edit->SetText("");
        m_edit->SetFocus();
    }
}

void CUIExchange::Finish(UINT code) {
    m_closeCode = code;
    if (GetHWND()) ShowWindow(false, false);
}

LRESULT CUIExchange::OnClose(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
    // Reused: a close request only hides the window.
    Finish(UINT(wParam));
    bHandled = TRUE;
    return 0;
}

std::string CUIExchange::ErrorText() const {
    return m_error ? m_error->GetText().c_str() : std::string();
}

void CUIExchange::Fail(const char* text) {
    if (m_error) m_error->SetText(text);
    if (m_edit) m_edit->SetFocus();
}

bool CUIExchange::Exchange() {
    int64_t amount = ReadAmount(m_edit ? m_edit->GetText().c_str() : "");
    if (amount < 1000) {
        Fail("Z豆数小于1000");
        return false;
    }
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    UserAccount acc = app.GetAccount();
    if (static_cast<uint64_t>(amount) > acc.zebin) {
        Fail("您没有这么多Z豆");
        return false;
    }
    IWindowBackend* backend = m_PaintManager.GetBackend();
    if (backend) backend->SetCursor(UICURSOR_WAIT);
    int32_t tm = static_cast<int32_t>(static_cast<uint32_t>(app.GetServerTime()));
    std::string url = BuildExchangeUrl(ExchangeRoot(), static_cast<uint64_t>(amount), tm, acc.uid);
    IZqHttpMgr* http = m_http ? m_http : GetZqHttpMgr();
    std::string body;
    bool got = false;
    int session = http->OpenUrl(url.c_str(), 0, 0, 0, 0, 0, 0, -1, 0, 0);
    if (session != 0) {
        const char* data = nullptr;
        int len = 0;
        if (http->GetStatusCode(session) == 200 && http->GetData(session, &data, &len) && data && len > 0) {
            body.assign(data, size_t(len));
            got = true;
        }
        http->CloseSession(session);
    }
    if (backend) backend->SetCursor(UICURSOR_ARROW);
    ExchangeAnswer answer = got ? ParseExchangeAnswer(body) : ExchangeAnswer{};
    m_answer = answer;
    if (!answer.json) {
        Fail(kFailText);
        return false;
    }
    if (answer.hasMsg) m_message = answer.msg;
    if (answer.hasCoin) m_newCoins = answer.coin;
    if (answer.hasShell) m_newBeans = answer.shell;
    if (!answer.success) {
        Fail(kFailText);
        return false;
    }
    if (OnExchanged) OnExchanged(*this);
    Finish(1);
    return true;
}

void CUIExchange::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return;
    CDuiString name = msg.pSender->GetName();
    if (msg.sType == "click") {
        if (name == "btnClose" || name == "CancelBTN") Finish(2);
        else if (name == "ExchangeCoolCoinBTN") Exchange();
    } else if (msg.sType == "return") {
        CControlUI* focus = m_PaintManager.GetFocus();
        if (focus && focus->GetName() == "ExchangeNumEdit" && m_edit && !m_edit->GetText().IsEmpty()) Exchange();
    } else if (msg.sType == "textchanged" && name == "ExchangeNumEdit") {
        if (m_error) m_error->SetText("");
    }
}

}  // namespace roompopups
