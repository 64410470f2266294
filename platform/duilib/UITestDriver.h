// Drives windows the way a user would, through their message handlers: by control name or by point.
// For tests and headless runs; works with any backend.
#pragma once

#include "UIWindow.h"

namespace DuiLib {
namespace UITest {

CControlUI* Find(CWindowWnd* wnd, const char* name);
// Centre of a visible control in client coordinates; false when it is missing or hidden.
bool CenterOf(CWindowWnd* wnd, const char* name, POINT& pt);
// Mouse move, button down and up at pt (client coordinates).
void ClickAt(CWindowWnd* wnd, POINT pt);
bool Click(CWindowWnd* wnd, const char* name);
void RightClickAt(CWindowWnd* wnd, POINT pt);
void PressKey(CWindowWnd* wnd, UINT vk);
// One WM_CHAR per byte (GBK text).
void TypeText(CWindowWnd* wnd, const char* gbk);

}  // namespace UITest
}  // namespace DuiLib
