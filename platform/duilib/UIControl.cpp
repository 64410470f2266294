#include "UIControl.h"

#include <cstdlib>
#include <cstring>

#include "UIBackend.h"
#include "UIManager.h"
#include "UIRender.h"

namespace DuiLib {

CControlUI::CControlUI() {
    m_cxyMax = {9999, 9999};
}

CControlUI::~CControlUI() {
    if (m_pManager) m_pManager->ReapObjects(this);
}

void* CControlUI::GetInterface(const char* pstrName) {
    if (EqualNoCase(pstrName, "Control")) return this;
    return nullptr;
}

UINT CControlUI::GetControlFlags() const {
    return m_bSetCursor ? UIFLAG_SETCURSOR : 0;
}

bool CControlUI::Activate() {
    return IsVisible() && IsEnabled();
}

void CControlUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
    m_pManager = pManager;
    m_pParent = pParent;
    if (bInit && m_pParent) Init();
}

void CControlUI::SetText(const char* pstrText) {
    CDuiString t = pstrText ? pstrText : "";
    if (m_sText == t) return;
    m_sText = t;
    Invalidate();
}

void CControlUI::SetBkColor(DWORD c) {
    m_dwBackColor = c;
    Invalidate();
}
void CControlUI::SetBkImage(const char* p) {
    m_sBkImage = p ? p : "";
    Invalidate();
}
void CControlUI::SetBorderColor(DWORD c) {
    m_dwBorderColor = c;
    Invalidate();
}
void CControlUI::SetFocusBorderColor(DWORD c) {
    m_dwFocusBorderColor = c;
    Invalidate();
}
void CControlUI::SetBorderSize(int n) {
    m_nBorderSize = n;
    Invalidate();
}
void CControlUI::SetBorderRound(SIZE s) {
    m_cxyBorderRound = s;
    Invalidate();
}

bool CControlUI::DrawImage(HDC hDC, const char* pStrImage, const char* pStrModify) {
    if (!pStrImage || !*pStrImage) return false;
    std::string s = pStrImage;
    if (pStrModify && *pStrModify) {
        if (s.find('\'') == std::string::npos) s = "file='" + s + "'";
        s += " ";
        s += pStrModify;
    }
    return CRenderEngine::DrawImageString(hDC, m_pManager, m_rcItem, m_rcPaint, s.c_str());
}

void CControlUI::SetPos(RECT rc, bool bNeedInvalidate) {
    if (rc.right < rc.left) rc.right = rc.left;
    if (rc.bottom < rc.top) rc.bottom = rc.top;
    if (bNeedInvalidate) Invalidate();
    m_rcItem = rc;
    m_bUpdateNeeded = false;
    if (bNeedInvalidate) Invalidate();
}

void CControlUI::SetPadding(RECT rc) {
    m_rcPadding = rc;
    NeedParentUpdate();
}
void CControlUI::SetFixedXY(SIZE sz) {
    m_cXY = sz;
    NeedParentUpdate();
}
void CControlUI::SetFixedWidth(int cx) {
    if (cx < 0) return;
    m_cxyFixed.cx = cx;
    NeedParentUpdate();
}
void CControlUI::SetFixedHeight(int cy) {
    if (cy < 0) return;
    m_cxyFixed.cy = cy;
    NeedParentUpdate();
}
void CControlUI::SetMinWidth(int cx) {
    if (cx < 0) return;
    m_cxyMin.cx = cx;
    NeedParentUpdate();
}
void CControlUI::SetMaxWidth(int cx) {
    if (cx < 0) return;
    m_cxyMax.cx = cx;
    NeedParentUpdate();
}
void CControlUI::SetMinHeight(int cy) {
    if (cy < 0) return;
    m_cxyMin.cy = cy;
    NeedParentUpdate();
}
void CControlUI::SetMaxHeight(int cy) {
    if (cy < 0) return;
    m_cxyMax.cy = cy;
    NeedParentUpdate();
}

SIZE CControlUI::EstimateSize(SIZE) {
    return m_cxyFixed;
}

void CControlUI::SetVisible(bool bVisible) {
    if (m_bVisible == bVisible) return;
    bool v = IsVisible();
    m_bVisible = bVisible;
    if (m_bFocused) m_bFocused = false;
    if (!bVisible && m_pManager && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr);
    if (IsVisible() != v) NeedParentUpdate();
}

void CControlUI::SetInternVisible(bool bVisible) {
    m_bInternVisible = bVisible;
    if (!bVisible && m_pManager && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr);
}

void CControlUI::SetEnabled(bool bEnable) {
    if (m_bEnabled == bEnable) return;
    m_bEnabled = bEnable;
    if (!bEnable && m_pManager && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr);
    Invalidate();
}

void CControlUI::SetFocus() {
    if (m_pManager) m_pManager->SetFocus(this);
}

void CControlUI::SetFloat(bool bFloat) {
    if (m_bFloat == bFloat) return;
    m_bFloat = bFloat;
    NeedParentUpdate();
}

CControlUI* CControlUI::FindControl(FINDCONTROLPROC Proc, void* pData, UINT uFlags) {
    if ((uFlags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
    if ((uFlags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
    if ((uFlags & UIFIND_HITTEST) && (!m_bMouseEnabled || !PtInRect(m_rcItem, *static_cast<POINT*>(pData))))
        return nullptr;
    return Proc(this, pData);
}

void CControlUI::Invalidate() {
    if (!IsVisible() || !m_pManager) return;
    RECT rc = m_rcItem;
    m_pManager->Invalidate(rc);
}

void CControlUI::NeedUpdate() {
    if (!IsVisible()) return;
    m_bUpdateNeeded = true;
    Invalidate();
    if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::NeedParentUpdate() {
    if (m_pParent) {
        m_pParent->NeedUpdate();
        m_pParent->Invalidate();
    } else {
        NeedUpdate();
    }
    if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::Init() {
    DoInit();
    for (auto& f : OnInit) f(this);
}

void CControlUI::Event(TEventUI& event) {
    for (auto& f : OnEvent)
        if (!f(&event)) return;
    DoEvent(event);
}

void CControlUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
    case UIEVENT_SETCURSOR:
        if (m_pManager && m_pManager->GetBackend())
            m_pManager->GetBackend()->SetCursor((GetControlFlags() & UIFLAG_SETCURSOR) ? UICURSOR_HAND
                                                                                       : UICURSOR_ARROW);
        return;
    case UIEVENT_SETFOCUS:
        m_bFocused = true;
        Invalidate();
        return;
    case UIEVENT_KILLFOCUS:
        m_bFocused = false;
        Invalidate();
        return;
    case UIEVENT_TIMER:
        if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_TIMER, event.wParam, event.lParam);
        return;
    case UIEVENT_CONTEXTMENU:
        if (m_bMenuUsed && m_pManager) {
            m_pManager->SendNotify(this, DUI_MSGTYPE_MENU, event.wParam, event.lParam);
            return;
        }
        break;
    default:
        break;
    }
    if (m_pParent) m_pParent->DoEvent(event);
}

DWORD CControlUI::ParseColor(const char* v) {
    if (!v) return 0;
    while (*v == ' ') ++v;
    if (*v == '#') {
        ++v;
        size_t n = strlen(v);
        DWORD c = (DWORD)strtoul(v, nullptr, 16);
        if (n <= 6) c |= 0xFF000000;
        return c;
    }
    if (v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) return (DWORD)strtoul(v + 2, nullptr, 16);
    return (DWORD)strtoul(v, nullptr, 10);
}

RECT CControlUI::ParseRect(const char* v) {
    RECT rc;
    if (!v) return rc;
    char* end = nullptr;
    int* f[4] = {&rc.left, &rc.top, &rc.right, &rc.bottom};
    for (int i = 0; i < 4; ++i) {
        while (*v == ' ' || *v == ',') ++v;
        if (!*v) break;
        *f[i] = (int)strtol(v, &end, 10);
        if (end == v) break;
        v = end;
    }
    return rc;
}

static SIZE ParseSize(const char* v) {
    RECT r = CControlUI::ParseRect(v);
    return {r.left, r.top};
}

CDuiString CControlUI::GetVirtualWnd() const {
    if (!m_sVirtualWnd.empty()) return m_sVirtualWnd;
    return m_pParent ? m_pParent->GetVirtualWnd() : CDuiString();
}

void CControlUI::SetAttribute(const char* n, const char* v) {
    if (!n || !v) return;
    if (EqualNoCase(n, "pos")) {
        RECT rc = ParseRect(v);
        m_cXY = {rc.left, rc.top};
        m_cxyFixed = {rc.right - rc.left, rc.bottom - rc.top};
        if (m_cxyFixed.cx < 0) m_cxyFixed.cx = 0;
        if (m_cxyFixed.cy < 0) m_cxyFixed.cy = 0;
        NeedParentUpdate();
    } else if (EqualNoCase(n, "padding")) SetPadding(ParseRect(v));
    else if (EqualNoCase(n, "bkcolor") || EqualNoCase(n, "bkcolor1")) SetBkColor(ParseColor(v));
    else if (EqualNoCase(n, "bkcolor2")) m_dwBackColor2 = ParseColor(v);
    else if (EqualNoCase(n, "bordercolor")) SetBorderColor(ParseColor(v));
    else if (EqualNoCase(n, "focusbordercolor")) SetFocusBorderColor(ParseColor(v));
    else if (EqualNoCase(n, "bordersize")) SetBorderSize(atoi(v));
    else if (EqualNoCase(n, "borderround")) SetBorderRound(ParseSize(v));
    else if (EqualNoCase(n, "bkimage")) SetBkImage(v);
    else if (EqualNoCase(n, "width")) SetFixedWidth(atoi(v));
    else if (EqualNoCase(n, "height")) SetFixedHeight(atoi(v));
    else if (EqualNoCase(n, "minwidth")) SetMinWidth(atoi(v));
    else if (EqualNoCase(n, "minheight")) SetMinHeight(atoi(v));
    else if (EqualNoCase(n, "maxwidth")) SetMaxWidth(atoi(v));
    else if (EqualNoCase(n, "maxheight")) SetMaxHeight(atoi(v));
    else if (EqualNoCase(n, "name")) SetName(v);
    else if (EqualNoCase(n, "text")) SetText(v);
    else if (EqualNoCase(n, "tooltip")) SetToolTip(v);
    else if (EqualNoCase(n, "userdata")) SetUserData(v);
    else if (EqualNoCase(n, "tag")) SetTag((UINT_PTR)strtoull(v, nullptr, 10));
    else if (EqualNoCase(n, "enabled")) SetEnabled(ParseBool(v));
    else if (EqualNoCase(n, "mouse")) SetMouseEnabled(ParseBool(v));
    else if (EqualNoCase(n, "keyboard")) SetKeyboardEnabled(ParseBool(v));
    else if (EqualNoCase(n, "visible")) SetVisible(ParseBool(v));
    else if (EqualNoCase(n, "float")) SetFloat(ParseBool(v));
    else if (EqualNoCase(n, "menu")) m_bMenuUsed = ParseBool(v);
    else if (EqualNoCase(n, "virtualwnd")) SetVirtualWnd(v);
    else if (EqualNoCase(n, "setcursor")) m_bSetCursor = ParseBool(v);
    // Other names are accepted and ignored.
}

CControlUI* CControlUI::ApplyAttributeList(const char* pstrList) {
    // name="value" pairs, as skins write them in default attribute lists.
    std::string s = pstrList ? pstrList : "";
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
        size_t eq = s.find('=', i);
        if (eq == std::string::npos) break;
        std::string name = s.substr(i, eq - i);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        size_t q = eq + 1;
        while (q < s.size() && s[q] == ' ') ++q;
        if (q >= s.size()) break;
        char quote = s[q];
        if (quote != '"' && quote != '\'') break;
        size_t end = s.find(quote, q + 1);
        if (end == std::string::npos) break;
        SetAttribute(name.c_str(), s.substr(q + 1, end - q - 1).c_str());
        i = end + 1;
    }
    return this;
}

void CControlUI::DoPaint(HDC hDC, const RECT& rcPaint) {
    if (!IntersectRect(&m_rcPaint, rcPaint, m_rcItem)) return;
    PaintBkColor(hDC);
    PaintBkImage(hDC);
    PaintStatusImage(hDC);
    PaintText(hDC);
    PaintBorder(hDC);
}

void CControlUI::PaintBkColor(HDC hDC) {
    if (m_dwBackColor != 0) CRenderEngine::DrawRoundColor(hDC, m_rcItem, m_cxyBorderRound.cx / 2, m_dwBackColor);
}

void CControlUI::PaintBkImage(HDC hDC) {
    if (!m_sBkImage.empty()) DrawImage(hDC, m_sBkImage.c_str());
}

void CControlUI::PaintStatusImage(HDC) {}
void CControlUI::PaintText(HDC) {}

void CControlUI::PaintBorder(HDC hDC) {
    if (m_nBorderSize <= 0) return;
    DWORD c = (m_bFocused && m_dwFocusBorderColor) ? m_dwFocusBorderColor : m_dwBorderColor;
    if (c) CRenderEngine::DrawRoundRect(hDC, m_rcItem, m_nBorderSize, m_cxyBorderRound.cx / 2, c);
}

}  // namespace DuiLib
