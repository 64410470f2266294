#include "UIList.h"

#include <algorithm>

#include "UIManager.h"
#include "UIMenu.h"

namespace DuiLib {

static const int kListScrollBarWidth = 8;  // as the containers' scroll bars

// ---- Elements

void CListElementState::SetElementOwner(CControlUI* pOwner) {
    m_pOwner = pOwner ? static_cast<IListOwnerUI*>(pOwner->GetInterface("IListOwner")) : nullptr;
}

bool CListElementState::SelectElement(CControlUI* self, bool bSelect) {
    if (m_bSelected == bSelect) return true;
    m_bSelected = bSelect;
    if (bSelect && m_pOwner) m_pOwner->SelectItem(CurrentIndex(self));
    self->Invalidate();
    return true;
}

bool CListElementState::ActivateElement(CControlUI* self) {
    if (!self->CControlUI::Activate()) return false;
    if (self->GetManager()) self->GetManager()->SendNotify(self, DUI_MSGTYPE_ITEMACTIVATE);
    return true;
}

bool CListElementState::DoElementEvent(CControlUI* self, IListItemUI* item, TEventUI& event) {
    if (!self->IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (!m_pOwner) return false;
        m_pOwner->DoEvent(event);
        return true;
    }
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_RBUTTONDOWN:
        if (self->IsEnabled()) {
            if (self->GetManager()) self->GetManager()->SendNotify(self, DUI_MSGTYPE_ITEMCLICK);
            item->Select();
            self->Invalidate();
        }
        return true;
    case UIEVENT_DBLCLICK:
        if (self->IsEnabled()) self->Activate();
        return true;
    case UIEVENT_MOUSEENTER:
        m_uButtonState |= UISTATE_HOT;
        self->Invalidate();
        return true;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        self->Invalidate();
        return true;
    case UIEVENT_SCROLLWHEEL:
        if (m_pOwner) m_pOwner->DoEvent(event);
        return true;
    default:
        return false;
    }
}

DWORD CListElementState::ElementBkColor(DWORD normal) const {
    if (!m_pOwner) return normal;
    if (m_bSelected) return m_pOwner->GetSelectedItemBkColor();
    if (m_uButtonState & UISTATE_HOT) return m_pOwner->GetHotItemBkColor();
    return normal;
}

void* CListLabelElementUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "ListItem")) return static_cast<IListItemUI*>(this);
    if (EqualNoCase(n, "ListLabelElement")) return this;
    return CLabelUI::GetInterface(n);
}

void CListLabelElementUI::SetOwner(CControlUI* pOwner) {
    SetElementOwner(pOwner);
}
bool CListLabelElementUI::Select(bool bSelect) {
    return SelectElement(this, bSelect);
}
bool CListLabelElementUI::Activate() {
    return ActivateElement(this);
}

void CListLabelElementUI::DoEvent(TEventUI& event) {
    if (!DoElementEvent(this, this, event)) CLabelUI::DoEvent(event);
}

SIZE CListLabelElementUI::EstimateSize(SIZE sz) {
    SIZE s = CLabelUI::EstimateSize(sz);
    if (m_cxyFixed.cy == 0) s.cy = 26;
    return s;
}

void CListLabelElementUI::PaintBkColor(HDC hDC) {
    if (DWORD c = ElementBkColor(m_dwBackColor)) CRenderEngine::DrawColor(hDC, m_rcItem, c);
}

void* CListContainerElementUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "ListItem")) return static_cast<IListItemUI*>(this);
    if (EqualNoCase(n, "ListContainerElement")) return this;
    return CHorizontalLayoutUI::GetInterface(n);
}

void CListContainerElementUI::SetOwner(CControlUI* pOwner) {
    SetElementOwner(pOwner);
}
bool CListContainerElementUI::Select(bool bSelect) {
    return SelectElement(this, bSelect);
}
bool CListContainerElementUI::Activate() {
    return ActivateElement(this);
}

void CListContainerElementUI::DoEvent(TEventUI& event) {
    if (!DoElementEvent(this, this, event)) CContainerUI::DoEvent(event);
}

void CListContainerElementUI::DoPaint(HDC hDC, const RECT& rcPaint) {
    RECT tmp;
    if (!IntersectRect(&tmp, rcPaint, m_rcItem)) return;
    if (DWORD c = ElementBkColor(0)) CRenderEngine::DrawColor(hDC, m_rcItem, c);
    CContainerUI::DoPaint(hDC, rcPaint);
}

void CListContainerElementUI::SetPos(RECT rc, bool bNeedInvalidate) {
    if (m_pOwner && m_pParent) {
        const RECT& shown = m_pParent->GetPos();
        if (rc.bottom <= shown.top || rc.top >= shown.bottom) {
            CControlUI::SetPos(rc, false);
            return;
        }
    }
    CHorizontalLayoutUI::SetPos(rc, bNeedInvalidate);
}

// ---- List

CListUI::CListUI() {
    EnableScrollBar(true, false);
}

void* CListUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "List")) return this;
    if (EqualNoCase(n, "IListOwner")) return static_cast<IListOwnerUI*>(this);
    return CVerticalLayoutUI::GetInterface(n);
}

static IListItemUI* AsItem(CControlUI* p) {
    return p ? static_cast<IListItemUI*>(p->GetInterface("ListItem")) : nullptr;
}

int CListUI::ItemIndex(const CControlUI* item, int hint) const {
    // Rows are not renumbered when others move (that would touch every row): a row's index is its last one
    // while that holds, else it is looked for among the item pointers and kept.
    const int n = (int)m_items.size();
    if (hint >= 0 && hint < n && m_items[(size_t)hint] == item) return hint;
    // A row moves by as many places as rows came or went above it: looked for outward from its last index.
    const int start = std::clamp(hint, 0, std::max(0, n - 1));
    int i = -1;
    for (int d = 0; i < 0 && (start - d >= 0 || start + d < n); ++d) {
        if (start + d < n && m_items[(size_t)(start + d)] == item) i = start + d;
        else if (d > 0 && start - d >= 0 && m_items[(size_t)(start - d)] == item) i = start - d;
    }
    if (i < 0) return -1;
    if (IListItemUI* it = AsItem(m_items[(size_t)i])) it->SetIndex(i);
    return i;
}

int CListUI::GetItemIndex(CControlUI* p) const {
    if (IListItemUI* it = AsItem(p); it && it->GetOwner() == static_cast<const IListOwnerUI*>(this))
        return it->GetIndex();
    return CVerticalLayoutUI::GetItemIndex(p);
}

void CListUI::MoveItem(int from, int to) {
    if (from == to) return;
    CControlUI* p = m_items[(size_t)from];
    if (from < to) std::move(m_items.begin() + from + 1, m_items.begin() + to + 1, m_items.begin() + from);
    else std::move_backward(m_items.begin() + to, m_items.begin() + from, m_items.begin() + from + 1);
    m_items[(size_t)to] = p;
    if (IListItemUI* it = AsItem(p)) it->SetIndex(to);
    if (m_iCurSel == from) m_iCurSel = to;
    else if (from < m_iCurSel && to >= m_iCurSel) --m_iCurSel;
    else if (from > m_iCurSel && to <= m_iCurSel) ++m_iCurSel;
    NeedUpdate();
}

void CListUI::SetPos(RECT rc, bool bNeedInvalidate) {
    if (m_iRowHeight <= 0) {
        CVerticalLayoutUI::SetPos(rc, bNeedInvalidate);
        return;
    }
    CControlUI::SetPos(rc, bNeedInvalidate);
    PlaceRows();
}

void CListUI::SetRowHeight(int cy) {
    m_iRowHeight = std::max(0, cy);
    m_shown.clear();
    NeedUpdate();
}

void CListUI::PlaceRows() {
    RECT r{m_rcItem.left + m_rcInset.left, m_rcItem.top + m_rcInset.top, m_rcItem.right - m_rcInset.right,
           m_rcItem.bottom - m_rcInset.bottom};
    const int n = (int)m_items.size(), stride = std::max(1, m_iRowHeight + m_iChildPadding);
    const long long required = n > 0 ? (long long)n * stride - m_iChildPadding : 0;
    const int required32 = (int)std::min<long long>(required, 0x3FFFFFFF);
    if (m_pVerticalScrollBar) {
        if (required32 > r.bottom - r.top) r.right -= kListScrollBarWidth;
        ProcessScrollBar(r, 0, required32);
    }
    const SIZE scroll = GetScrollPos();
    const int height = std::max(0, (int)(r.bottom - r.top));
    const int first = std::min(n, scroll.cy / stride), last = std::min(n, (scroll.cy + height) / stride + 1);
    auto rowRect = [&](int i) {
        CControlUI* p = m_items[(size_t)i];
        RECT pad = p->GetPadding();
        int avail = r.right - r.left, w = p->GetFixedWidth();
        if (w == 0 || w > avail - pad.left - pad.right) w = std::max(0, (int)(avail - pad.left - pad.right));
        const int top = r.top - scroll.cy + i * stride;
        return RECT{r.left + pad.left - scroll.cx, top, r.left + pad.left - scroll.cx + w, top + m_iRowHeight};
    };
    // The rows shown before and no longer: placed where they now are, outside the visible part.
    std::vector<CControlUI*> shown;
    shown.reserve((size_t)std::max(0, last - first));
    for (int i = first; i < last; ++i) shown.push_back(m_items[(size_t)i]);
    for (CControlUI* p : m_shown) {
        if (std::find(shown.begin(), shown.end(), p) != shown.end()) continue;
        int i = GetItemIndex(p);
        if (i >= 0) p->SetPos(rowRect(i), false);
    }
    m_shown.swap(shown);
    for (int i = first; i < last; ++i) m_items[(size_t)i]->SetPos(rowRect(i), false);
}

int CListUI::GetItemIndexAt(POINT pt) const {
    if (!IsVisible()) return -1;
    // Edges included: a point on the line between two rows is the upper one's.
    auto in = [&](CControlUI* p) {
        const RECT& rc = p->GetPos();
        return pt.x >= rc.left && pt.x <= rc.right && pt.y >= rc.top && pt.y <= rc.bottom;
    };
    if (m_iRowHeight <= 0) {
        for (int i = 0; i < (int)m_items.size(); ++i)
            if (in(m_items[(size_t)i])) return i;
        return -1;
    }
    if (!PtInRect(m_rcItem, pt)) return -1;
    for (CControlUI* p : m_shown)
        if (in(p)) return GetItemIndex(p);
    return -1;
}

void CListUI::DoPaint(HDC hDC, const RECT& rcPaint) {
    if (m_iRowHeight <= 0) {
        CVerticalLayoutUI::DoPaint(hDC, rcPaint);
        return;
    }
    RECT clip;
    if (!IntersectRect(&clip, rcPaint, m_rcItem)) return;
    CControlUI::DoPaint(hDC, rcPaint);
    if (!m_shown.empty()) {
        hDC->PushClip(clip);
        for (CControlUI* p : m_shown) {
            RECT rc;
            if (p->IsVisible() && IntersectRect(&rc, clip, p->GetPos())) p->DoPaint(hDC, clip);
        }
        hDC->PopClip();
    }
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) m_pVerticalScrollBar->DoPaint(hDC, rcPaint);
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) m_pHorizontalScrollBar->DoPaint(hDC, rcPaint);
}

CControlUI* CListUI::FindControl(FINDCONTROLPROC Proc, void* pData, UINT uFlags) {
    // Searches by name or class walk every row; a hit test only the rows shown.
    if (m_iRowHeight <= 0 || !(uFlags & UIFIND_HITTEST)) return CVerticalLayoutUI::FindControl(Proc, pData, uFlags);
    if ((uFlags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
    if ((uFlags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
    if (!PtInRect(m_rcItem, *static_cast<POINT*>(pData))) return nullptr;
    if (!m_bMouseEnabled && !m_bMouseChildEnabled) return nullptr;
    CControlUI* res = nullptr;
    if ((uFlags & UIFIND_ME_FIRST) && m_bMouseEnabled && (res = Proc(this, pData))) return res;
    if (m_pVerticalScrollBar && (res = m_pVerticalScrollBar->FindControl(Proc, pData, uFlags))) return res;
    if (m_pHorizontalScrollBar && (res = m_pHorizontalScrollBar->FindControl(Proc, pData, uFlags))) return res;
    if (m_bMouseChildEnabled) {
        if (uFlags & UIFIND_TOP_FIRST) {
            for (auto it = m_shown.rbegin(); it != m_shown.rend(); ++it)
                if ((res = (*it)->FindControl(Proc, pData, uFlags))) return res;
        } else {
            for (CControlUI* p : m_shown)
                if ((res = p->FindControl(Proc, pData, uFlags))) return res;
        }
    }
    if (!(uFlags & UIFIND_ME_FIRST) && m_bMouseEnabled) res = Proc(this, pData);
    return res;
}

bool CListUI::Add(CControlUI* p) {
    return AddAt(p, (int)m_items.size());
}

bool CListUI::AddAt(CControlUI* p, int iIndex) {
    if (!CVerticalLayoutUI::AddAt(p, iIndex)) return false;
    if (IListItemUI* it = AsItem(p)) {
        it->SetOwner(this);
        it->SetIndex(iIndex);
    }
    if (m_iCurSel >= iIndex) ++m_iCurSel;
    return true;
}

bool CListUI::Remove(CControlUI* p, bool bDoNotDestroy) {
    int i = GetItemIndex(p);
    return i >= 0 && RemoveAt(i, bDoNotDestroy);
}

bool CListUI::RemoveAt(int iIndex, bool bDoNotDestroy) {
    if (CControlUI* p = GetItemAt(iIndex)) m_shown.erase(std::remove(m_shown.begin(), m_shown.end(), p), m_shown.end());
    if (!CVerticalLayoutUI::RemoveAt(iIndex, bDoNotDestroy)) return false;
    if (iIndex == m_iCurSel) m_iCurSel = -1;
    else if (iIndex < m_iCurSel) --m_iCurSel;
    return true;
}

void CListUI::RemoveAll() {
    m_iCurSel = -1;
    m_shown.clear();
    CVerticalLayoutUI::RemoveAll();
}

bool CListUI::SetItemIndex(CControlUI* p, int iIndex) {
    CControlUI* sel = GetItemAt(m_iCurSel);
    if (!CVerticalLayoutUI::SetItemIndex(p, iIndex)) return false;
    m_iCurSel = sel ? GetItemIndex(sel) : -1;
    return true;
}

bool CListUI::SelectItem(int iIndex, bool bTakeFocus) {
    if (iIndex == m_iCurSel) return true;
    int old = m_iCurSel;
    if (IListItemUI* it = AsItem(GetItemAt(m_iCurSel))) {
        m_iCurSel = -1;
        it->Select(false);
    }
    m_iCurSel = -1;
    if (iIndex < 0) return false;
    CControlUI* p = GetItemAt(iIndex);
    IListItemUI* it = AsItem(p);
    if (!it || !p->IsVisible() || !p->IsEnabled()) return false;
    m_iCurSel = iIndex;
    it->Select(true);
    if (bTakeFocus) p->SetFocus();
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, (WPARAM)m_iCurSel, (LPARAM)old);
    return true;
}

void CListUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEVENT_KEYDOWN) {
        if (event.chKey == VK_UP) {
            SelectItem(std::max(0, m_iCurSel - 1), true);
            return;
        }
        if (event.chKey == VK_DOWN) {
            SelectItem(std::min(GetCount() - 1, m_iCurSel + 1), true);
            return;
        }
    }
    CVerticalLayoutUI::DoEvent(event);
}

void CListUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "itemtextcolor")) m_dwItemTextColor = ParseColor(v);
    else if (EqualNoCase(n, "itemselectedbkcolor")) m_dwSelectedBkColor = ParseColor(v);
    else if (EqualNoCase(n, "itemhotbkcolor")) m_dwHotBkColor = ParseColor(v);
    else if (EqualNoCase(n, "itemfont")) m_iItemFont = atoi(v);
    else if (EqualNoCase(n, "itemshowhtml")) SetItemShowHtml(ParseBool(v));
    else CVerticalLayoutUI::SetAttribute(n, v);
}

// ---- Combo

void* CComboUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "Combo")) return this;
    if (EqualNoCase(n, "IListOwner")) return static_cast<IListOwnerUI*>(this);
    return CContainerUI::GetInterface(n);
}

void CComboUI::Reindex() {
    for (int i = 0; i < (int)m_items.size(); ++i)
        if (IListItemUI* it = AsItem(m_items[(size_t)i])) it->SetIndex(i);
}

bool CComboUI::Add(CControlUI* p) {
    return AddAt(p, (int)m_items.size());
}

bool CComboUI::AddAt(CControlUI* p, int iIndex) {
    if (!CContainerUI::AddAt(p, iIndex)) return false;
    p->SetInternVisible(false);  // items show only in the drop-down
    if (IListItemUI* it = AsItem(p)) it->SetOwner(this);
    if (m_iCurSel >= iIndex) ++m_iCurSel;
    Reindex();
    return true;
}

bool CComboUI::Remove(CControlUI* p, bool bDoNotDestroy) {
    int i = GetItemIndex(p);
    return i >= 0 && RemoveAt(i, bDoNotDestroy);
}

bool CComboUI::RemoveAt(int iIndex, bool bDoNotDestroy) {
    if (!CContainerUI::RemoveAt(iIndex, bDoNotDestroy)) return false;
    if (iIndex == m_iCurSel) m_iCurSel = -1;
    else if (iIndex < m_iCurSel) --m_iCurSel;
    Reindex();
    Invalidate();
    return true;
}

void CComboUI::RemoveAll() {
    m_iCurSel = -1;
    CContainerUI::RemoveAll();
}

CDuiString CComboUI::GetText() const {
    CControlUI* p = GetItemAt(m_iCurSel);
    return p ? p->GetText() : m_sText;
}

bool CComboUI::SelectItem(int iIndex, bool) {
    if (iIndex == m_iCurSel) return true;
    int old = m_iCurSel;
    if (IListItemUI* it = AsItem(GetItemAt(m_iCurSel))) {
        m_iCurSel = -1;
        it->Select(false);
    }
    m_iCurSel = -1;
    Invalidate();
    if (iIndex < 0) return false;
    CControlUI* p = GetItemAt(iIndex);
    IListItemUI* it = AsItem(p);
    if (!it || !p->IsEnabled()) return false;
    m_iCurSel = iIndex;
    it->Select(true);
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, (WPARAM)m_iCurSel, (LPARAM)old);
    return true;
}

bool CComboUI::Activate() {
    if (!CControlUI::Activate() || !m_pManager || m_items.empty()) return false;
    m_pManager->SendNotify(this, DUI_MSGTYPE_DROPDOWN);
    std::vector<ZqMenuItem> items;
    for (int i = 0; i < (int)m_items.size(); ++i)
        items.emplace_back(m_items[(size_t)i]->GetText(), i, i == m_iCurSel, !m_items[(size_t)i]->IsEnabled());
    IWindowBackend* be = m_pManager->GetBackend();
    RECT wnd = be ? be->GetRect() : RECT{};
    RECT field = GetDropField();
    field = {wnd.left + field.left, wnd.top + field.top, wnd.left + field.right, wnd.top + field.bottom};
    CZqMenuUI menu;
    menu.SetMenuItem(items);
    menu.SetMinWidth(field.right - field.left);
    HWND window = m_pManager->GetPaintWindow();
    std::weak_ptr<bool> alive = m_pManager->AliveToken();
    if (!menu.CreateMenuFor(field, window)) return false;
    int chosen = menu.PopupMenuNoCreate();
    // The combo's window may have closed under the list: then nothing is chosen for it.
    if (alive.expired() || !*alive.lock() || !::IsWindow(window)) return true;
    if (chosen >= 0) SelectItem(chosen);
    return true;
}

RECT CComboUI::GetDropField() const {
    RECT rc = m_rcItem;
    CControlUI* other = m_sDropField.empty() || !m_pManager ? nullptr : m_pManager->FindControl(m_sDropField.c_str());
    if (other && other->IsVisible()) {
        const RECT& o = other->GetPos();
        rc = {std::min(rc.left, o.left), std::min(rc.top, o.top), std::max(rc.right, o.right),
              std::max(rc.bottom, o.bottom)};
    }
    return rc;
}

void CComboUI::DoEvent(TEventUI& event) {
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONUP:
        if (m_uButtonState & UISTATE_CAPTURED) {
            m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
            Invalidate();
            if (PtInRect(m_rcItem, event.ptMouse)) Activate();
        }
        return;
    case UIEVENT_KEYDOWN:
        if (event.chKey == VK_UP) {
            SelectItem(std::max(0, m_iCurSel - 1));
            return;
        }
        if (event.chKey == VK_DOWN) {
            SelectItem(std::min(GetCount() - 1, m_iCurSel + 1));
            return;
        }
        if (event.chKey == VK_SPACE || event.chKey == VK_F4) {
            Activate();
            return;
        }
        break;
    case UIEVENT_MOUSEENTER:
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_SCROLLWHEEL:
        SelectItem(event.wParam == 0 ? std::max(0, m_iCurSel - 1) : std::min(GetCount() - 1, m_iCurSel + 1));
        return;
    default:
        break;
    }
    CControlUI::DoEvent(event);
}

void CComboUI::SetPos(RECT rc, bool b) {
    CControlUI::SetPos(rc, b);
}

void CComboUI::DoPaint(HDC hDC, const RECT& rcPaint) {
    if (!IntersectRect(&m_rcPaint, rcPaint, m_rcItem)) return;
    CControlUI::PaintBkColor(hDC);
    CControlUI::PaintBkImage(hDC);
    const CDuiString* img = &m_sNormalImage;
    if ((m_uButtonState & UISTATE_PUSHED) && !m_sPushedImage.empty()) img = &m_sPushedImage;
    else if ((m_uButtonState & UISTATE_HOT) && !m_sHotImage.empty()) img = &m_sHotImage;
    if (!img->empty()) DrawImage(hDC, img->c_str());
    CDuiString t = GetText();
    if (!t.empty()) {
        RECT rc{m_rcItem.left + m_rcTextPadding.left, m_rcItem.top + m_rcTextPadding.top,
                m_rcItem.right - m_rcTextPadding.right, m_rcItem.bottom - m_rcTextPadding.bottom};
        DWORD c = m_dwTextColor ? m_dwTextColor : (m_pManager ? m_pManager->GetDefaultFontColor() : 0xFF000000);
        CRenderEngine::DrawText(hDC, m_pManager, rc, t.c_str(), c, m_iFont,
                                DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    }
    // Drop-down arrow.
    if (m_sNormalImage.empty() && hDC) {
        RECT a{m_rcItem.right - 16, (m_rcItem.top + m_rcItem.bottom) / 2 - 1, m_rcItem.right - 8,
               (m_rcItem.top + m_rcItem.bottom) / 2};
        for (int i = 0; i < 4; ++i) {
            RECT l{a.left + i, a.top + i, a.right - i, a.top + i};
            CRenderEngine::DrawLine(hDC, l, 1, 0xFF666666);
        }
    }
    CControlUI::PaintBorder(hDC);
}

void CComboUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "normalimage")) m_sNormalImage = v;
    else if (EqualNoCase(n, "hotimage")) m_sHotImage = v;
    else if (EqualNoCase(n, "pushedimage")) m_sPushedImage = v;
    else if (EqualNoCase(n, "textpadding")) m_rcTextPadding = ParseRect(v);
    else if (EqualNoCase(n, "textcolor")) m_dwTextColor = ParseColor(v);
    else if (EqualNoCase(n, "itemtextcolor")) m_dwItemTextColor = ParseColor(v);
    else if (EqualNoCase(n, "font")) m_iFont = atoi(v);
    else if (EqualNoCase(n, "itemfont")) m_iItemFont = atoi(v);
    else if (EqualNoCase(n, "dropfield")) m_sDropField = v;
    else CContainerUI::SetAttribute(n, v);
}

}  // namespace DuiLib
