#include "RoomWebLinks.h"

#include "GlobalData.h"
#include "BrowserHtmlView.h"
#include "WebView.h"
#include "ZqLib.h"
#include "ZqMessageBox.h"

namespace roompopups {

namespace {
std::function<void(const std::string&, const std::string&)>& BoxHook()
{
    static std::function<void(const std::string&, const std::string&)> hook;
    return hook;
}
}  // namespace

void SetRoomMessageBoxHook(std::function<void(const std::string&, const std::string&)> hook)
{
    BoxHook() = std::move(hook);
}

std::string WebRoot()
{
    std::string home = HomePageUrlSetting();
    size_t scheme = home.find("://");
    size_t path = home.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return path == std::string::npos ? home : home.substr(0, path);
}

std::string BuildWebLoginUrl(const std::string& target)
{
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    UserAccount a = g.GetAccount();
    uint32_t tm = 0;
    std::string token;
    g.MakeWebLoginToken(tm, token);
    char url[512];
    UrlEncode::EncodeEx(target.c_str(), url, sizeof url, 0);
    return WebRoot() + StringUtility::Format("/ZeqaShow/openWebWithLogin?uid=%u&sid=%u&tm=%u&token=%s&url=%s", a.uid,
                                             a.sid, tm, token.c_str(), url);
}

std::string BuildPayPageUrl(uint32_t roomId) { return WebRoot() + StringUtility::Format("/ZeqaShow/lb/pay?rid=%u", roomId); }

bool OpenPayPage(HWND owner, uint32_t roomId)
{
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    if (a.uid == 0 || a.sid == 0) {
        const char* text = "登录出现问题，请查看登录状态或者重新登录!";
        if (BoxHook())
            BoxHook()(text, "提示");
        else
            ShowZqMessageBox(owner, text, "提示");
        return false;
    }
    return webview::OpenInDefaultBrowser(BuildWebLoginUrl(BuildPayPageUrl(roomId)));
}

}  // namespace roompopups
