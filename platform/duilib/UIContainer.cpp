#include "UIContainer.h"

#include <algorithm>
#include <cstdlib>

#include "UIManager.h"
#include "UIRender.h"

namespace DuiLib {

static const int kScrollBarWidth = 8;

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
    m_bDelayedDestroy = false;
    RemoveAll();
    delete m_pVerticalScrollBar;
    delete m_pHorizontalScrollBar;
}

void* CContainerUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "IContainer") || EqualNoCase(n, "Container")) return this;
    return CControlUI::GetInterface(n);
}

CControlUI* CContainerUI::GetItemAt(int i) const {
    if (i < 0 || i >= (int)m_items.size()) return nullptr;
    return m_items[(size_t)i];
}

int CContainerUI::GetItemIndex(CControlUI* p) const {
    auto it = std::find(m_items.begin(), m_items.end(), p);
    return it == m_items.end() ? -1 : (int)(it - m_items.begin());
}

bool CContainerUI::SetItemIndex(CControlUI* p, int iIndex) {
    int cur = GetItemIndex(p);
    if (cur < 0 || iIndex < 0 || iIndex >= (int)m_items.size()) return false;
    m_items.erase(m_items.begin() + cur);
    m_items.insert(m_items.begin() + iIndex, p);
    NeedUpdate();
    return true;
}

bool CContainerUI::Add(CControlUI* p) {
    return AddAt(p, (int)m_items.size());
}

bool CContainerUI::AddAt(CControlUI* p, int iIndex) {
    if (!p || iIndex < 0 || iIndex > (int)m_items.size()) return false;
    if (m_pManager) m_pManager->InitControls(p, this);
    else p->SetManager(nullptr, this, false);
    if (!IsVisible()) p->SetInternVisible(false);
    m_items.insert(m_items.begin() + iIndex, p);
    NeedUpdate();
    return true;
}

bool CContainerUI::Remove(CControlUI* p, bool bDoNotDestroy) {
    int i = GetItemIndex(p);
    if (i < 0) return false;
    return CContainerUI::RemoveAt(i, bDoNotDestroy);
}

bool CContainerUI::RemoveAt(int iIndex, bool bDoNotDestroy) {
    CControlUI* p = GetItemAt(iIndex);
    if (!p) return false;
    m_items.erase(m_items.begin() + iIndex);
    if (m_pManager) m_pManager->ReapObjects(p);
    if (!bDoNotDestroy && m_bAutoDestroy) {
        if (m_bDelayedDestroy && m_pManager) m_pManager->AddDelayedCleanup(p);
        else delete p;
    } else {
        p->SetManager(nullptr, nullptr, false);
    }
    NeedUpdate();
    return true;
}

void CContainerUI::RemoveAll() {
    std::vector<CControlUI*> items;
    items.swap(m_items);
    for (CControlUI* p : items) {
        if (m_pManager) m_pManager->ReapObjects(p);
        if (m_bAutoDestroy) {
            if (m_bDelayedDestroy && m_pManager) m_pManager->AddDelayedCleanup(p);
            else delete p;
        } else {
            p->SetManager(nullptr, nullptr, false);
        }
    }
    NeedUpdate();
}

void CContainerUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEVENT_SCROLLWHEEL && m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) {
        // wParam: 0 = up, 1 = down.
        if (event.wParam == 0) LineUp();
        else LineDown();
        return;
    }
    CControlUI::DoEvent(event);
}

void CContainerUI::SetVisible(bool bVisible) {
    if (m_bVisible == bVisible) return;
    CControlUI::SetVisible(bVisible);
    for (CControlUI* p : m_items) p->SetInternVisible(IsVisible());
}

void CContainerUI::SetInternVisible(bool bVisible) {
    CControlUI::SetInternVisible(bVisible);
    for (CControlUI* p : m_items) p->SetInternVisible(IsVisible());
}

void CContainerUI::SetMouseEnabled(bool bEnable) {
    CControlUI::SetMouseEnabled(bEnable);
}

void CContainerUI::SetInset(RECT rc) {
    m_rcInset = rc;
    NeedUpdate();
}
void CContainerUI::SetChildPadding(int i) {
    m_iChildPadding = i;
    NeedUpdate();
}

void CContainerUI::SetPos(RECT rc, bool bNeedInvalidate) {
    CControlUI::SetPos(rc, bNeedInvalidate);
    if (m_items.empty()) return;
    RECT r = m_rcItem;
    r.left += m_rcInset.left;
    r.top += m_rcInset.top;
    r.right -= m_rcInset.right;
    r.bottom -= m_rcInset.bottom;
    for (int i = 0; i < (int)m_items.size(); ++i) {
        CControlUI* p = m_items[(size_t)i];
        if (!p->IsVisible()) continue;
        if (p->IsFloat()) {
            SetFloatPos(i);
        } else {
            RECT pad = p->GetPadding();
            p->SetPos({r.left + pad.left, r.top + pad.top, r.right - pad.right, r.bottom - pad.bottom}, false);
        }
    }
}

void CContainerUI::SetFloatPos(int iIndex) {
    CControlUI* p = GetItemAt(iIndex);
    if (!p || !p->IsVisible() || !p->IsFloat()) return;
    SIZE xy = p->GetFixedXY();
    RECT rc;
    rc.left = m_rcItem.left + xy.cx;
    rc.top = m_rcItem.top + xy.cy;
    rc.right = rc.left + p->GetFixedWidth();
    rc.bottom = rc.top + p->GetFixedHeight();
    p->SetPos(rc, false);
}

void CContainerUI::DoPaint(HDC hDC, const RECT& rcPaint) {
    RECT rcTemp;
    if (!IntersectRect(&rcTemp, rcPaint, m_rcItem)) return;
    CControlUI::DoPaint(hDC, rcPaint);
    if (!m_items.empty()) {
        hDC->PushClip(rcTemp);
        for (CControlUI* p : m_items) {
            if (!p->IsVisible()) continue;
            RECT rc;
            if (!IntersectRect(&rc, rcTemp, p->GetPos())) continue;
            p->DoPaint(hDC, rcTemp);
        }
        hDC->PopClip();
    }
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) m_pVerticalScrollBar->DoPaint(hDC, rcPaint);
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) m_pHorizontalScrollBar->DoPaint(hDC, rcPaint);
}

void CContainerUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "inset")) SetInset(ParseRect(v));
    else if (EqualNoCase(n, "mousechild")) SetMouseChildEnabled(ParseBool(v));
    else if (EqualNoCase(n, "vscrollbar")) EnableScrollBar(ParseBool(v), m_pHorizontalScrollBar != nullptr);
    else if (EqualNoCase(n, "hscrollbar")) EnableScrollBar(m_pVerticalScrollBar != nullptr, ParseBool(v));
    else if (EqualNoCase(n, "childpadding")) SetChildPadding(atoi(v));
    else if (EqualNoCase(n, "autodestroy")) SetAutoDestroy(ParseBool(v));
    else CControlUI::SetAttribute(n, v);
}

void CContainerUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
    for (CControlUI* p : m_items) p->SetManager(pManager, this, bInit);
    if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetManager(pManager, this, bInit);
    if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->SetManager(pManager, this, bInit);
    CControlUI::SetManager(pManager, pParent, bInit);
}

CControlUI* CContainerUI::FindControl(FINDCONTROLPROC Proc, void* pData, UINT uFlags) {
    if ((uFlags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
    if ((uFlags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
    if ((uFlags & UIFIND_HITTEST) && !PtInRect(m_rcItem, *static_cast<POINT*>(pData))) return nullptr;
    if ((uFlags & UIFIND_HITTEST) && !m_bMouseEnabled && !m_bMouseChildEnabled) return nullptr;
    CControlUI* res = nullptr;
    if (uFlags & UIFIND_ME_FIRST) {
        if (!(uFlags & UIFIND_HITTEST) || m_bMouseEnabled) res = Proc(this, pData);
        if (res) return res;
    }
    if (m_pVerticalScrollBar) res = m_pVerticalScrollBar->FindControl(Proc, pData, uFlags);
    if (res) return res;
    if (m_pHorizontalScrollBar) res = m_pHorizontalScrollBar->FindControl(Proc, pData, uFlags);
    if (res) return res;
    if (!(uFlags & UIFIND_HITTEST) || m_bMouseChildEnabled) {
        if (uFlags & UIFIND_TOP_FIRST) {
            for (int i = (int)m_items.size() - 1; i >= 0; --i) {
                res = m_items[(size_t)i]->FindControl(Proc, pData, uFlags);
                if (res) return res;
            }
        } else {
            for (CControlUI* p : m_items) {
                res = p->FindControl(Proc, pData, uFlags);
                if (res) return res;
            }
        }
    }
    if (!(uFlags & UIFIND_ME_FIRST) && (!(uFlags & UIFIND_HITTEST) || m_bMouseEnabled)) res = Proc(this, pData);
    return res;
}

static CControlUI* FindByName(CControlUI* p, void* data) {
    return p->GetName() == *static_cast<const CDuiString*>(data) ? p : nullptr;
}

CControlUI* CContainerUI::FindSubControl(const char* name) {
    CDuiString n = name ? name : "";
    return FindControl(FindByName, &n, UIFIND_ALL);
}

SIZE CContainerUI::GetScrollPos() const {
    SIZE s;
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) s.cy = m_pVerticalScrollBar->GetScrollPos();
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) s.cx = m_pHorizontalScrollBar->GetScrollPos();
    return s;
}

SIZE CContainerUI::GetScrollRange() const {
    SIZE s;
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) s.cy = m_pVerticalScrollBar->GetScrollRange();
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) s.cx = m_pHorizontalScrollBar->GetScrollRange();
    return s;
}

void CContainerUI::SetScrollPos(SIZE szPos) {
    SIZE old = GetScrollPos();
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) m_pVerticalScrollBar->SetScrollPos(szPos.cy);
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) m_pHorizontalScrollBar->SetScrollPos(szPos.cx);
    SIZE now = GetScrollPos();
    if (old.cx == now.cx && old.cy == now.cy) return;
    SetPos(m_rcItem, false);
    Invalidate();
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_SCROLL);
}

void CContainerUI::LineUp() {
    SIZE s = GetScrollPos();
    s.cy -= m_pVerticalScrollBar ? m_pVerticalScrollBar->GetLineSize() * 3 : 24;
    if (s.cy < 0) s.cy = 0;
    SetScrollPos(s);
}

void CContainerUI::LineDown() {
    SIZE s = GetScrollPos();
    s.cy += m_pVerticalScrollBar ? m_pVerticalScrollBar->GetLineSize() * 3 : 24;
    SetScrollPos(s);
}

void CContainerUI::EnableScrollBar(bool bVert, bool bHorz) {
    if (bVert && !m_pVerticalScrollBar) {
        m_pVerticalScrollBar = new CScrollBarUI;
        m_pVerticalScrollBar->SetOwner(this);
        m_pVerticalScrollBar->SetManager(m_pManager, nullptr, false);
        m_pVerticalScrollBar->SetVisible(false);
    } else if (!bVert && m_pVerticalScrollBar) {
        delete m_pVerticalScrollBar;
        m_pVerticalScrollBar = nullptr;
    }
    if (bHorz && !m_pHorizontalScrollBar) {
        m_pHorizontalScrollBar = new CScrollBarUI;
        m_pHorizontalScrollBar->SetHorizontal(true);
        m_pHorizontalScrollBar->SetOwner(this);
        m_pHorizontalScrollBar->SetManager(m_pManager, nullptr, false);
        m_pHorizontalScrollBar->SetVisible(false);
    } else if (!bHorz && m_pHorizontalScrollBar) {
        delete m_pHorizontalScrollBar;
        m_pHorizontalScrollBar = nullptr;
    }
    NeedUpdate();
}

void CContainerUI::ProcessScrollBar(RECT rc, int cxRequired, int cyRequired) {
    if (m_pVerticalScrollBar) {
        int h = rc.bottom - rc.top;
        if (cyRequired > h) {
            m_pVerticalScrollBar->SetScrollRange(cyRequired - h);
            m_pVerticalScrollBar->SetVisible(true);
            m_pVerticalScrollBar->SetPos({rc.right, rc.top, rc.right + kScrollBarWidth, rc.bottom}, false);
        } else {
            m_pVerticalScrollBar->SetScrollRange(0);
            m_pVerticalScrollBar->SetScrollPos(0);
            m_pVerticalScrollBar->SetVisible(false);
        }
    }
    if (m_pHorizontalScrollBar) {
        int w = rc.right - rc.left;
        if (cxRequired > w) {
            m_pHorizontalScrollBar->SetScrollRange(cxRequired - w);
            m_pHorizontalScrollBar->SetVisible(true);
            m_pHorizontalScrollBar->SetPos({rc.left, rc.bottom, rc.right, rc.bottom + kScrollBarWidth}, false);
        } else {
            m_pHorizontalScrollBar->SetScrollRange(0);
            m_pHorizontalScrollBar->SetScrollPos(0);
            m_pHorizontalScrollBar->SetVisible(false);
        }
    }
}

// Vertical and horizontal layouts share one algorithm along their main axis.
template <bool kVertical>
static void LayoutLine(CContainerUI* self, std::vector<CControlUI*>& items, RECT rc, int childPadding, SIZE scroll,
                       int* required) {
    auto mainOf = [](SIZE s) { return kVertical ? s.cy : s.cx; };
    int availMain = kVertical ? rc.bottom - rc.top : rc.right - rc.left;
    int availCross = kVertical ? rc.right - rc.left : rc.bottom - rc.top;
    SIZE avail{rc.right - rc.left, rc.bottom - rc.top};
    int adjustables = 0, fixed = 0, count = 0;
    for (CControlUI* p : items) {
        if (!p->IsVisible() || p->IsFloat()) continue;
        SIZE sz = p->EstimateSize(avail);
        RECT pad = p->GetPadding();
        int m = mainOf(sz);
        if (m == 0) {
            ++adjustables;
            m = kVertical ? p->GetMinHeight() : p->GetMinWidth();
        } else {
            int mn = kVertical ? p->GetMinHeight() : p->GetMinWidth();
            int mx = kVertical ? p->GetMaxHeight() : p->GetMaxWidth();
            m = std::clamp(m, mn, std::max(mn, mx));
        }
        fixed += m + (kVertical ? pad.top + pad.bottom : pad.left + pad.right);
        ++count;
    }
    if (count > 1) fixed += (count - 1) * childPadding;
    int expand = adjustables > 0 ? std::max(0, (availMain - fixed) / adjustables) : 0;
    int remainder = adjustables > 0 ? std::max(0, (availMain - fixed) - expand * adjustables) : 0;
    int pos = (kVertical ? rc.top - scroll.cy : rc.left - scroll.cx);
    int seenAdjustable = 0, total = 0;
    for (int i = 0; i < (int)items.size(); ++i) {
        CControlUI* p = items[(size_t)i];
        if (!p->IsVisible()) continue;
        if (p->IsFloat()) continue;
        SIZE sz = p->EstimateSize(avail);
        RECT pad = p->GetPadding();
        int m = mainOf(sz);
        if (m == 0) {
            ++seenAdjustable;
            m = expand + (seenAdjustable == adjustables ? remainder : 0);
            int mn = kVertical ? p->GetMinHeight() : p->GetMinWidth();
            int mx = kVertical ? p->GetMaxHeight() : p->GetMaxWidth();
            m = std::clamp(m, mn, std::max(mn, mx));
        }
        // Across the line only a fixed size counts; 0 fills the line.
        int c = kVertical ? p->GetFixedWidth() : p->GetFixedHeight();
        int padCross = kVertical ? pad.left + pad.right : pad.top + pad.bottom;
        if (c == 0 || c > availCross - padCross) c = std::max(0, availCross - padCross);
        RECT r;
        if (kVertical) {
            r = {rc.left + pad.left - scroll.cx, pos + pad.top, rc.left + pad.left - scroll.cx + c, pos + pad.top + m};
            pos += m + pad.top + pad.bottom + childPadding;
            total += m + pad.top + pad.bottom + childPadding;
        } else {
            r = {pos + pad.left, rc.top + pad.top - scroll.cy, pos + pad.left + m, rc.top + pad.top - scroll.cy + c};
            pos += m + pad.left + pad.right + childPadding;
            total += m + pad.left + pad.right + childPadding;
        }
        p->SetPos(r, false);
    }
    if (total > 0) total -= childPadding;
    *required = total;
    (void)self;
}

static RECT Inner(const RECT& item, const RECT& inset) {
    return {item.left + inset.left, item.top + inset.top, item.right - inset.right, item.bottom - inset.bottom};
}

void* CVerticalLayoutUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "VerticalLayout")) return this;
    return CContainerUI::GetInterface(n);
}

void CVerticalLayoutUI::SetPos(RECT rc, bool bNeedInvalidate) {
    CControlUI::SetPos(rc, bNeedInvalidate);
    RECT r = Inner(m_rcItem, m_rcInset);
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) r.right -= kScrollBarWidth;
    int required = 0;
    LayoutLine<true>(this, m_items, r, m_iChildPadding, GetScrollPos(), &required);
    for (int i = 0; i < (int)m_items.size(); ++i) SetFloatPos(i);
    if (m_pVerticalScrollBar) {
        bool was = m_pVerticalScrollBar->IsVisible();
        ProcessScrollBar(r, 0, required);
        if (was != m_pVerticalScrollBar->IsVisible()) {
            r = Inner(m_rcItem, m_rcInset);
            if (m_pVerticalScrollBar->IsVisible()) r.right -= kScrollBarWidth;
            LayoutLine<true>(this, m_items, r, m_iChildPadding, GetScrollPos(), &required);
            ProcessScrollBar(r, 0, required);
        }
    }
}

void* CHorizontalLayoutUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "HorizontalLayout")) return this;
    return CContainerUI::GetInterface(n);
}

void CHorizontalLayoutUI::SetPos(RECT rc, bool bNeedInvalidate) {
    CControlUI::SetPos(rc, bNeedInvalidate);
    RECT r = Inner(m_rcItem, m_rcInset);
    int required = 0;
    LayoutLine<false>(this, m_items, r, m_iChildPadding, GetScrollPos(), &required);
    for (int i = 0; i < (int)m_items.size(); ++i) SetFloatPos(i);
    if (m_pHorizontalScrollBar) ProcessScrollBar(r, required, 0);
}

void* CTileLayoutUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "TileLayout")) return this;
    return CContainerUI::GetInterface(n);
}

void CTileLayoutUI::SetItemSize(SIZE s) {
    m_szItem = s;
    NeedUpdate();
}
void CTileLayoutUI::SetColumns(int n) {
    if (n > 0) {
        m_nColumns = n;
        NeedUpdate();
    }
}

void CTileLayoutUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "itemsize")) {
        RECT r = ParseRect(v);
        SetItemSize({r.left, r.top});
    } else if (EqualNoCase(n, "columns")) SetColumns(atoi(v));
    else CContainerUI::SetAttribute(n, v);
}

void CTileLayoutUI::SetPos(RECT rc, bool bNeedInvalidate) {
    CControlUI::SetPos(rc, bNeedInvalidate);
    RECT r = Inner(m_rcItem, m_rcInset);
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) r.right -= kScrollBarWidth;
    int width = r.right - r.left;
    int cols = m_nColumns;
    if (m_szItem.cx > 0) cols = std::max(1, (width + m_iChildPadding) / (m_szItem.cx + m_iChildPadding));
    int cellW = m_szItem.cx > 0 ? m_szItem.cx : std::max(0, (width - (cols - 1) * m_iChildPadding) / cols);
    SIZE scroll = GetScrollPos();
    int x = 0, y = r.top - scroll.cy, rowH = 0, col = 0, total = 0;
    for (int i = 0; i < (int)m_items.size(); ++i) {
        CControlUI* p = m_items[(size_t)i];
        if (!p->IsVisible()) continue;
        if (p->IsFloat()) {
            SetFloatPos(i);
            continue;
        }
        SIZE sz = p->EstimateSize({cellW, r.bottom - r.top});
        int h = m_szItem.cy > 0 ? m_szItem.cy : (sz.cy > 0 ? sz.cy : cellW);
        RECT pad = p->GetPadding();
        x = r.left + col * (cellW + m_iChildPadding);
        p->SetPos({x + pad.left, y + pad.top, x + cellW - pad.right, y + h - pad.bottom}, false);
        rowH = std::max(rowH, h);
        if (++col >= cols) {
            col = 0;
            y += rowH + m_iChildPadding;
            total += rowH + m_iChildPadding;
            rowH = 0;
        }
    }
    total += rowH;
    if (m_pVerticalScrollBar) ProcessScrollBar(r, 0, total);
}

void* CTabLayoutUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "TabLayout")) return this;
    return CContainerUI::GetInterface(n);
}

bool CTabLayoutUI::Add(CControlUI* p) {
    return AddAt(p, (int)m_items.size());
}

bool CTabLayoutUI::AddAt(CControlUI* p, int iIndex) {
    if (!CContainerUI::AddAt(p, iIndex)) return false;
    if (m_iCurSel == -1 && p->IsVisible()) {
        m_iCurSel = GetItemIndex(p);
    } else {
        if (iIndex <= m_iCurSel && m_iCurSel >= 0 && (int)m_items.size() > 1) ++m_iCurSel;
        p->SetVisible(false);
    }
    return true;
}

bool CTabLayoutUI::Remove(CControlUI* p, bool bDoNotDestroy) {
    int i = GetItemIndex(p);
    if (i < 0) return false;
    bool wasCur = (i == m_iCurSel);
    if (!CContainerUI::Remove(p, bDoNotDestroy)) return false;
    if (wasCur) {
        m_iCurSel = -1;
        if (!m_items.empty()) SelectItem(std::min(i, (int)m_items.size() - 1));
    } else if (i < m_iCurSel) {
        --m_iCurSel;
    }
    return true;
}

void CTabLayoutUI::RemoveAll() {
    m_iCurSel = -1;
    CContainerUI::RemoveAll();
}

bool CTabLayoutUI::SelectItem(int iIndex) {
    if (iIndex < 0 || iIndex >= (int)m_items.size()) return false;
    if (iIndex == m_iCurSel) return true;
    int old = m_iCurSel;
    m_iCurSel = iIndex;
    for (int i = 0; i < (int)m_items.size(); ++i) m_items[(size_t)i]->SetVisible(i == iIndex);
    NeedParentUpdate();
    if (m_pManager) {
        m_pManager->SetNextTabControl();
        m_pManager->SendNotify(this, DUI_MSGTYPE_TABSELECT, (WPARAM)m_iCurSel, (LPARAM)old);
    }
    return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* p) {
    return SelectItem(GetItemIndex(p));
}

void CTabLayoutUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "selectedid")) SelectItem(atoi(v));
    else CContainerUI::SetAttribute(n, v);
}

void CTabLayoutUI::SetPos(RECT rc, bool bNeedInvalidate) {
    CControlUI::SetPos(rc, bNeedInvalidate);
    RECT r = Inner(m_rcItem, m_rcInset);
    for (int i = 0; i < (int)m_items.size(); ++i) {
        CControlUI* p = m_items[(size_t)i];
        if (!p->IsVisible()) continue;
        if (p->IsFloat()) {
            SetFloatPos(i);
            continue;
        }
        RECT pad = p->GetPadding();
        p->SetPos({r.left + pad.left, r.top + pad.top, r.right - pad.right, r.bottom - pad.bottom}, false);
    }
}

// Scroll bar: a track with a thumb; dragging or clicking the track scrolls the owner.

CScrollBarUI::CScrollBarUI() {
    m_cxyFixed = {kScrollBarWidth, kScrollBarWidth};
}

void* CScrollBarUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "ScrollBar")) return this;
    return CControlUI::GetInterface(n);
}

void CScrollBarUI::SetHorizontal(bool b) {
    m_bHorizontal = b;
}

void CScrollBarUI::SetScrollRange(int n) {
    m_nRange = std::max(0, n);
    if (m_nScrollPos > m_nRange) m_nScrollPos = m_nRange;
}

void CScrollBarUI::SetScrollPos(int n) {
    m_nScrollPos = std::clamp(n, 0, m_nRange);
    Invalidate();
}

RECT CScrollBarUI::GetThumbRect() const {
    RECT rc = m_rcItem;
    int len = m_bHorizontal ? rc.right - rc.left : rc.bottom - rc.top;
    if (len <= 0) return rc;
    int thumb = std::max(16, (int)((long long)len * len / (len + std::max(1, m_nRange))));
    thumb = std::min(thumb, len);
    int off = m_nRange > 0 ? (int)((long long)(len - thumb) * m_nScrollPos / m_nRange) : 0;
    if (m_bHorizontal) {
        rc.left += off;
        rc.right = rc.left + thumb;
    } else {
        rc.top += off;
        rc.bottom = rc.top + thumb;
    }
    return rc;
}

void CScrollBarUI::DoEvent(TEventUI& event) {
    if (!m_pOwner) return CControlUI::DoEvent(event);
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK: {
        RECT t = GetThumbRect();
        if (PtInRect(t, event.ptMouse)) {
            m_bDragging = true;
            m_ptLastMouse = event.ptMouse;
            m_nLastScrollPos = m_nScrollPos;
        } else {
            SIZE s = m_pOwner->GetScrollPos();
            int page = m_bHorizontal ? GetWidth() : GetHeight();
            bool before = m_bHorizontal ? event.ptMouse.x < t.left : event.ptMouse.y < t.top;
            (m_bHorizontal ? s.cx : s.cy) += before ? -page : page;
            m_pOwner->SetScrollPos(s);
        }
        return;
    }
    case UIEVENT_MOUSEMOVE:
        if (m_bDragging) {
            int len = m_bHorizontal ? GetWidth() : GetHeight();
            RECT t = GetThumbRect();
            int thumb = m_bHorizontal ? t.right - t.left : t.bottom - t.top;
            int delta = m_bHorizontal ? event.ptMouse.x - m_ptLastMouse.x : event.ptMouse.y - m_ptLastMouse.y;
            if (len > thumb) {
                SIZE s = m_pOwner->GetScrollPos();
                int v = m_nLastScrollPos + (int)((long long)delta * m_nRange / (len - thumb));
                (m_bHorizontal ? s.cx : s.cy) = v;
                m_pOwner->SetScrollPos(s);
            }
        }
        return;
    case UIEVENT_BUTTONUP:
        m_bDragging = false;
        return;
    case UIEVENT_SCROLLWHEEL:
        m_pOwner->DoEvent(event);
        return;
    default:
        CControlUI::DoEvent(event);
    }
}

void CScrollBarUI::DoPaint(HDC hDC, const RECT& rcPaint) {
    if (!IntersectRect(&m_rcPaint, rcPaint, m_rcItem)) return;
    if (m_dwBackColor) CRenderEngine::DrawColor(hDC, m_rcItem, m_dwBackColor);
    RECT t = GetThumbRect();
    if (m_bHorizontal) {
        t.top += 2;
        t.bottom -= 2;
    } else {
        t.left += 2;
        t.right -= 2;
    }
    CRenderEngine::DrawColor(hDC, t, m_bDragging ? m_dwThumbHotColor : m_dwThumbColor);
}

void CScrollBarUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "hor")) SetHorizontal(ParseBool(v));
    else if (EqualNoCase(n, "range")) SetScrollRange(atoi(v));
    else if (EqualNoCase(n, "value")) SetScrollPos(atoi(v));
    else if (EqualNoCase(n, "linesize")) SetLineSize(atoi(v));
    else if (EqualNoCase(n, "thumbcolor")) m_dwThumbColor = ParseColor(v);
    else if (EqualNoCase(n, "thumbhotcolor")) m_dwThumbHotColor = ParseColor(v);
    else CControlUI::SetAttribute(n, v);
}

}  // namespace DuiLib
