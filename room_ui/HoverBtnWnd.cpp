#include "HoverBtnWnd.h"

namespace roomui {

using namespace DuiLib;

bool CHoverBtnWnd::Create(const std::string& imagePath, int id, IMsgViewHoverBtnCallBack* callback, HWND parent) {
    m_image = imagePath;
    m_id = id;
    m_callback = callback;
    return CWindowWnd::Create(parent, "", UI_WS_POPUP, 0x00010000 /* WS_EX_CONTROLPARENT */, 0, 0, kWidth, kHeight) !=
           nullptr;
}

bool CHoverBtnWnd::HitTest(int x, int y) const {
    if (!m_hWnd) return false;
    RECT rc = GetWindowRect();
    return x >= rc.left && x <= rc.right && y >= rc.top && y <= rc.bottom;
}

void CHoverBtnWnd::SetState(int state) {
    m_state = state;
    if (m_face && !m_image.empty())
        m_face->SetBkImage(CDuiString::Format("file='%s' source='%d,0,%d,%d'", m_image.c_str(), state * kWidth,
                                              (state + 1) * kWidth, kHeight)
                               .c_str());
}

LRESULT CHoverBtnWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_CREATE:
        m_face = new CControlUI;
        m_face->SetBorderRound(SIZE{5, 5});
        m_face->SetAttribute("setcursor", "true");
        m_pm.AttachDialog(m_face);
        // The hand over the whole button from the start, before any move over it.
        if (DuiLib::IWindowBackend* b = GetBackend()) b->SetCursor(UICURSOR_HAND);
        SetState(kNormal);
        break;
    case WM_MOUSEMOVE:
        m_tracking = true;
        if (m_state == kNormal) SetState(kHot);
        break;
    case WM_LBUTTONDOWN:
        if (m_state != kPressed) SetState(kPressed);
        break;
    case WM_LBUTTONUP:
        // The state stays pressed until the mouse leaves, so a second click reports too.
        if (m_state == kPressed && m_callback) m_callback->OnHoverBtnClick(m_id);
        break;
    case WM_MOUSELEAVE:
        m_tracking = false;
        if (m_state != kNormal) SetState(kNormal);
        // The owner may hide its buttons now (the pointer may have left the view too).
        if (m_callback) m_callback->OnHoverBtnLeave(m_id);
        break;
    case WM_DESTROY:
        m_pm.RemoveAllTimers();
        break;
    default:
        break;
    }
    LRESULT lRes = 0;
    if (m_hWnd && uMsg != WM_CREATE && m_pm.MessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace roomui
