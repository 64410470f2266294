#include "RoomWebLinks.h"

#include "GlobalData.h"
#include "BrowserHtmlView.h"
#include "WebView.h"
#include "ZqLib.h"
#include "ZqMessageBox.h"

namespace roompopups {

namespace {
std::function<void(const std::string&, const std::string&)>& BoxHook() {
    static std::function<void(const std::string&, const std::string&)> hook;
    return hook;
}
}  // namespace

void SetRoomMessageBoxHook(std::function<void(const std::string&, const std::string&)> hook) {
    BoxHook() = std::move(hook);
}

std::string BuildPayPageUrl(uint32_t roomId) {
    return WebSiteRoot() + StringUtility::Format("/ZeqaShow/lb/pay?rid=%u", roomId);
}

bool OpenPayPage(HWND owner, uint32_t roomId) {
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    if (a.uid == 0 || a.sid == 0) {
        const char* text = "登录出现问题，请查看登录状态或者重新登录!";
        if (BoxHook()) BoxHook()(text, "提示");
        else ShowZqMessageBox(owner, text, "提示");
        return false;
    }
    return webview::OpenInDefaultBrowser(WebLoginUrl(BuildPayPageUrl(roomId)));
}

}  // namespace roompopups
