// The room window's links to the operator's web site: the pay page of a room, opened in the desktop's
// browser through the web-login link, and the message box when the user has no session. UI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Win32Types.h"

namespace roompopups {

// WebSiteRoot() + "/ZeqaShow/lb/pay?rid=<room>" (the web links themselves: BrowserHtmlView.h).
std::string BuildPayPageUrl(uint32_t roomId);
// Opens the pay page through the web-login link; without user id or session id the message box
// "登录出现问题，请查看登录状态或者重新登录!" instead. True when the link was handed to the browser.
bool OpenPayPage(HWND owner, uint32_t roomId);
// Tests: where message boxes go instead of the screen (null restores the box).
void SetRoomMessageBoxHook(std::function<void(const std::string& text, const std::string& title)> hook);

}  // namespace roompopups
