#include "UIMenu.h"

#include <cstdlib>

#include "UIBackend.h"
#include "UIControls.h"

namespace DuiLib {

CZqMenuUI::CZqMenuUI() = default;

CZqMenuUI::~CZqMenuUI() = default;

void CZqMenuUI::SetMenuItem(const std::vector<ZqMenuItem>& items) {
    m_items = items;
}

HWND CZqMenuUI::CreateMenu(CPoint pt, HWND hOwner, int, int) {
    int h = 4;
    for (const ZqMenuItem& it : m_items) h += it.bSeparator ? kSeparatorHeight : kItemHeight;
    return Create(hOwner, "ZqMenu", 0x80000000L /* WS_POPUP */, 0x80 /* WS_EX_TOOLWINDOW */, pt.x, pt.y, kWidth, h);
}

int CZqMenuUI::PopupMenuNoCreate() {
    if (!m_hWnd) return kNone;
    m_nResult = kNone;
    m_bDone = false;
    m_bEscaped = false;
    ShowModal();
    return m_nResult;
}

void CZqMenuUI::Finish(int result) {
    if (m_bDone) return;
    m_bDone = true;
    m_nResult = result;
    Close((UINT)result);
}

void CZqMenuUI::Notify(TNotifyUI& msg) {
    if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender) return;
    const CDuiString& name = msg.pSender->GetName();
    if (name.rfind("menuitem_", 0) != 0) return;
    size_t index = (size_t)atoi(name.c_str() + 9);
    if (index < m_items.size() && !m_items[index].vSubItems.empty()) OpenSubMenu(index);
    else Finish((int)msg.pSender->GetTag());
}

void CZqMenuUI::OpenSubMenu(size_t index) {
    if (m_pSub || m_bDone || !m_hWnd) return;
    CControlUI* item = m_pm.FindControl(CDuiString::Format("menuitem_%zu", index).c_str());
    if (!item) return;
    RECT self = GetWindowRect();
    RECT at = item->GetPos();
    CZqMenuUI sub;
    sub.m_bSubmenu = true;
    sub.SetMenuItem(m_items[index].vSubItems);
    if (!sub.CreateMenu(CPoint{self.right - 2, self.top + at.top - 2}, m_hWnd)) return;
    m_pSub = &sub;
    int r = sub.PopupMenuNoCreate();
    m_pSub = nullptr;
    // This menu may have been closed while the submenu ran.
    if (m_bDone || !m_hWnd) return;
    if (r >= 0 || r == kDismissed) Finish(r);
    else if (sub.m_bEscaped) ShowWindow(true, true);
    else Finish(kNone);
}

LRESULT CZqMenuUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) {
    if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
        bHandled = true;
        m_bEscaped = true;
        Finish(kNone);
    }
    return 0;
}

LRESULT CZqMenuUI::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_CREATE: {
        m_pm.AddPreMessageFilter(this);
        auto* root = new CVerticalLayoutUI;
        root->SetBkColor(0xFFFFFFFF);
        root->SetBorderColor(0xFFC9D3DF);
        root->SetBorderSize(1);
        root->SetInset({2, 2, 2, 2});
        int top = 2;  // inside the border and the inset
        for (size_t i = 0; i < m_items.size(); ++i) {
            const ZqMenuItem& it = m_items[i];
            int itemTop = top;
            top += it.bSeparator ? kSeparatorHeight : kItemHeight;
            if (it.bSeparator) {
                auto* sep = new CControlUI;
                sep->SetFixedHeight(1);
                sep->SetPadding({8, 4, 8, 4});
                sep->SetBkColor(0xFFE1E6EC);
                root->Add(sep);
                continue;
            }
            auto* b = new CButtonUI;
            b->SetName(CDuiString::Format("menuitem_%zu", i).c_str());
            b->SetTag((UINT_PTR)(intptr_t)it.nID);
            b->SetFixedHeight(kItemHeight);
            b->SetText(((it.bChecked ? CDuiString("\xA1\xCC ") : CDuiString("   ")) + it.sText).c_str());  // "√ "
            b->SetTextStyle(DT_SINGLELINE | DT_VCENTER | DT_LEFT);
            b->SetTextPadding({10, 0, 10, 0});
            b->SetHotBkColor(0xFFE6F0FB);
            b->SetPushedBkColor(0xFFD3E4F7);
            b->SetTextColor(0xFF333333);
            b->SetEnabled(!it.bDisabled);
            if (!it.sIcon.empty()) b->SetNormalImage(("file='" + it.sIcon + "' dest='6,6,22,22'").c_str());
            if (!it.sHotIcon.empty()) b->SetHotImage(("file='" + it.sHotIcon + "' dest='6,6,22,22'").c_str());
            root->Add(b);
            if (!it.vSubItems.empty()) {
                auto* arrow = new CLabelUI;
                arrow->SetFloat(true);
                arrow->SetFixedXY({kWidth - 24, itemTop});
                arrow->SetFixedWidth(18);
                arrow->SetFixedHeight(kItemHeight);
                arrow->SetText("\xA3\xBE");  // the submenu's mark
                arrow->SetTextColor(it.bDisabled ? 0xFFAAAAAA : 0xFF666666);
                arrow->SetMouseEnabled(false);
                root->Add(arrow);
            }
        }
        m_pm.AttachDialog(root);
        m_pm.AddNotifier(this);
        return 0;
    }
    case WM_DISMISS_POPUP:
        // The submenu's loop ends first; its answer then ends this menu.
        if (m_pSub) m_pSub->Finish(kDismissed);
        else Finish(kDismissed);
        return 0;
    case WM_KILLFOCUS:
        // The focus went to the submenu; a submenu shown over its menu ends on a click outside it (or Escape).
        if (!m_pSub && (!m_bSubmenu || wParam == kClickOutside)) Finish(kNone);
        return 0;
    case WM_CLOSE:
    case WM_DESTROY:
        if (uMsg == WM_DESTROY) {
            m_pm.RemoveNotifier(this);
            m_pm.RemovePreMessageFilter(this);
            m_pm.RemoveAllTimers();
        }
        return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
    default:
        break;
    }
    LRESULT lRes = 0;
    if (uMsg == WM_KEYDOWN && m_pm.PreMessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
    if (m_hWnd && m_pm.MessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace DuiLib
