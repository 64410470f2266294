#include "UIMenu.h"

#include <algorithm>
#include <cstdlib>

#include "UIBackend.h"
#include "UIControls.h"
#include "UIRender.h"

namespace DuiLib {

CZqMenuUI::CZqMenuUI() = default;

CZqMenuUI::~CZqMenuUI() = default;

void CZqMenuUI::SetMenuItem(const std::vector<ZqMenuItem>& items) {
    m_items = items;
}

RECT PlacePopup(const RECT& f, SIZE size, const RECT& wa, bool aboveFirst, int minHeight) {
    const int waW = std::max(1, (int)(wa.right - wa.left)), waH = std::max(1, (int)(wa.bottom - wa.top));
    const int w = std::min(std::max(1, (int)size.cx), waW);
    int h = std::max(1, (int)size.cy);
    const int below = wa.bottom - f.bottom, above = f.top - wa.top;
    int y;
    if (!aboveFirst && h <= below) {
        y = f.bottom;
    } else if (h <= above) {
        y = f.top - h;
    } else if (h <= below) {
        y = f.bottom;
    } else if (std::max(below, above) >= minHeight) {
        h = std::max(below, above);
        y = below >= above ? f.bottom : f.top - h;
    } else {
        h = std::min(h, waH);
        y = wa.bottom - h;
    }
    y = std::clamp(y, (int)wa.top, (int)wa.bottom - h);
    int x = f.left;
    if (x + w > wa.right) x = f.right - w;
    x = std::clamp(x, (int)wa.left, (int)wa.right - w);
    return {x, y, x + w, y + h};
}

HWND CZqMenuUI::CreateMenu(CPoint pt, HWND hOwner, int, int) {
    return CreateMenuFor({pt.x, pt.y, pt.x, pt.y}, hOwner);
}

HWND CZqMenuUI::CreateMenuFor(const RECT& field, HWND hOwner, bool aboveFirst) {
    int h = 4;
    for (const ZqMenuItem& it : m_items) h += it.bSeparator ? kSeparatorHeight : kItemHeight;
    if (!Create(hOwner, "ZqMenu", 0x80000000L /* WS_POPUP */, 0x80 /* WS_EX_TOOLWINDOW */, field.left, field.bottom,
                kWidth, h))
        return nullptr;
    Place(field, aboveFirst);
    return m_hWnd;
}

void CZqMenuUI::Place(const RECT& field, bool aboveFirst) {
    // As wide as the widest item (its text, the check column, the padding, a submenu's mark).
    int w = std::max(kWidth, m_minWidth), full = 4;
    for (const ZqMenuItem& it : m_items) {
        full += it.bSeparator ? kSeparatorHeight : kItemHeight;
        if (it.bSeparator) continue;
        SIZE t = CRenderEngine::GetTextSize(&m_pm, ("\xA1\xCC " + it.sText).c_str(), -1, DT_SINGLELINE);
        w = std::max(w, (int)t.cx + 20 + 6 + 14 + (it.vSubItems.empty() ? 0 : kArrowWidth));
    }
    const POINT mid{(field.left + field.right) / 2, (field.top + field.bottom) / 2};
    RECT wa = m_pBackend ? m_pBackend->GetWorkArea(mid) : RECT{0, 0, 1280, 1024};
    RECT rc = PlacePopup(field, {w, full}, wa, aboveFirst, 4 * kItemHeight + 4);
    const int x = rc.left, y = rc.top, h = rc.bottom - rc.top;
    w = rc.right - rc.left;
    if (m_root) {
        m_root->EnableScrollBar(h < full);
        // The submenus' marks at the right edge.
        for (int i = 0; i < m_root->GetCount(); ++i)
            if (CControlUI* c = m_root->GetItemAt(i); c && c->IsFloat())
                c->SetFixedXY({w - kArrowWidth - 6, c->GetFixedXY().cy});
    }
    MoveWindow(x, y, w, h);
    // The checked item (a combo's selection) is the keys' starting point, in view.
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].bChecked && !m_items[i].bSeparator && !m_items[i].bDisabled) {
            m_pm.UpdateLayout();
            m_current = (int)i - 1;
            MoveCurrent(1);
            break;
        }
}

// An item the keys can choose: no separator, enabled, no sub-items.
static bool Choosable(const ZqMenuItem& it) {
    return !it.bSeparator && !it.bDisabled && it.vSubItems.empty();
}

void CZqMenuUI::MoveCurrent(int step) {
    if (!m_root) return;
    const int n = (int)m_items.size();
    int i = m_current;
    for (int k = 0; k < n; ++k) {
        i = i < 0 ? (step > 0 ? 0 : n - 1) : (i + step + n) % n;
        if (Choosable(m_items[(size_t)i])) break;
    }
    if (i < 0 || !Choosable(m_items[(size_t)i])) return;
    auto row = [&](int k) { return m_pm.FindControl(CDuiString::Format("menuitem_%d", k).c_str()); };
    if (m_current >= 0)
        if (CControlUI* old = row(m_current)) old->SetBkColor(0);
    m_current = i;
    CControlUI* c = row(i);
    if (!c) return;
    c->SetBkColor(0xFFE6F0FB);
    // Into view.
    RECT item = c->GetPos(), view = m_root->GetPos();
    SIZE pos = m_root->GetScrollPos();
    if (item.top < view.top + 2) pos.cy -= view.top + 2 - item.top;
    else if (item.bottom > view.bottom - 2) pos.cy += item.bottom - (view.bottom - 2);
    m_root->SetScrollPos(pos);
}

int CZqMenuUI::PopupMenuNoCreate() {
    if (!m_hWnd) return kNone;
    m_nResult = kNone;
    m_bDone = false;
    m_bEscaped = false;
    // Destroyed with its owner without a choice: dismissed.
    if (ShowModal() == kModalDismissed && !m_bDone) return kDismissed;
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
    if (uMsg != WM_KEYDOWN) return 0;
    if (wParam == VK_ESCAPE) {
        bHandled = true;
        m_bEscaped = true;
        Finish(kNone);
    } else if (wParam == VK_DOWN || wParam == VK_UP) {
        bHandled = true;
        MoveCurrent(wParam == VK_DOWN ? 1 : -1);
    } else if (wParam == VK_RETURN && m_current >= 0) {
        bHandled = true;
        Finish(m_items[(size_t)m_current].nID);
    }
    return 0;
}

LRESULT CZqMenuUI::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_CREATE: {
        m_pm.AddPreMessageFilter(this);
        auto* root = new CVerticalLayoutUI;
        m_root = root;
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
                arrow->SetFixedXY({kWidth - kArrowWidth - 6, itemTop});
                arrow->SetFixedWidth(kArrowWidth);
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
            m_root = nullptr;
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
