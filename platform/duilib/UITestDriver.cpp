#include "UITestDriver.h"

namespace DuiLib {
namespace UITest {

static LPARAM MakePoint(POINT pt) {
    return (LPARAM)(((pt.y & 0xFFFF) << 16) | (pt.x & 0xFFFF));
}

static CPaintManagerUI* Pm(CWindowWnd* wnd) {
    return wnd ? wnd->PaintManagerForBackend() : nullptr;
}

CControlUI* Find(CWindowWnd* wnd, const char* name) {
    CPaintManagerUI* pm = Pm(wnd);
    return pm ? pm->FindControl(name) : nullptr;
}

bool CenterOf(CWindowWnd* wnd, const char* name, POINT& pt) {
    CPaintManagerUI* pm = Pm(wnd);
    if (!pm) return false;
    pm->UpdateLayout();
    CControlUI* c = pm->FindControl(name);
    if (!c || !c->IsVisible()) return false;
    RECT rc = c->GetPos();
    pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    return rc.right > rc.left && rc.bottom > rc.top;
}

void ClickAt(CWindowWnd* wnd, POINT pt) {
    HWND h = wnd ? wnd->GetHWND() : nullptr;
    if (!h) return;
    ::SendMessage(h, WM_MOUSEMOVE, 0, MakePoint(pt));
    if (!::IsWindow(h)) return;
    ::SendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, MakePoint(pt));
    if (!::IsWindow(h)) return;
    ::SendMessage(h, WM_LBUTTONUP, 0, MakePoint(pt));
}

bool Click(CWindowWnd* wnd, const char* name) {
    POINT pt;
    if (!CenterOf(wnd, name, pt)) return false;
    ClickAt(wnd, pt);
    return true;
}

void RightClickAt(CWindowWnd* wnd, POINT pt) {
    HWND h = wnd ? wnd->GetHWND() : nullptr;
    if (!h) return;
    ::SendMessage(h, WM_RBUTTONDOWN, MK_RBUTTON, MakePoint(pt));
    if (!::IsWindow(h)) return;
    ::SendMessage(h, WM_RBUTTONUP, 0, MakePoint(pt));
}

void PressKey(CWindowWnd* wnd, UINT vk) {
    HWND h = wnd ? wnd->GetHWND() : nullptr;
    if (h) ::SendMessage(h, WM_KEYDOWN, vk, 0);
}

void TypeText(CWindowWnd* wnd, const char* gbk) {
    HWND h = wnd ? wnd->GetHWND() : nullptr;
    for (const char* p = gbk; h && p && *p && ::IsWindow(h); ++p) ::SendMessage(h, WM_CHAR, (unsigned char)*p, 0);
}

}  // namespace UITest
}  // namespace DuiLib
