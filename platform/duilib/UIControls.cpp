#include "UIControls.h"

#include <algorithm>
#include <cstdlib>

#include "UIBackend.h"
#include "UIManager.h"

namespace DuiLib {

// ---- Label

void* CLabelUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "Label")) return this;
    return CControlUI::GetInterface(n);
}

void CLabelUI::SetTextStyle(UINT u) {
    m_uTextStyle = u;
    Invalidate();
}
void CLabelUI::SetTextColor(DWORD c) {
    m_dwTextColor = c;
    Invalidate();
}
void CLabelUI::SetDisabledTextColor(DWORD c) {
    m_dwDisabledTextColor = c;
    Invalidate();
}
void CLabelUI::SetFont(int i) {
    m_iFont = i;
    Invalidate();
}
void CLabelUI::SetTextPadding(RECT rc) {
    m_rcTextPadding = rc;
    Invalidate();
}
void CLabelUI::SetShowHtml(bool b) {
    m_bShowHtml = b;
    Invalidate();
}

SIZE CLabelUI::GetTextSize() const {
    return CRenderEngine::GetTextSize(m_pManager, m_sText.c_str(), m_iFont, m_uTextStyle);
}

SIZE CLabelUI::EstimateSize(SIZE) {
    SIZE sz = m_cxyFixed;
    if (m_bAutoCalcWidth) {
        SIZE t = GetTextSize();
        sz.cx = t.cx + m_rcTextPadding.left + m_rcTextPadding.right;
    }
    if (sz.cy == 0) {
        TFontInfo* f = m_pManager ? m_pManager->GetFont(m_iFont) : nullptr;
        sz.cy = (f ? f->iSize : 12) + 8;
    }
    return sz;
}

void CLabelUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEVENT_SETFOCUS || event.Type == UIEVENT_KILLFOCUS) {
        m_bFocused = event.Type == UIEVENT_SETFOCUS;
        return;
    }
    CControlUI::DoEvent(event);
}

void CLabelUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "align")) {
        std::string s = v;
        if (s.find("left") != std::string::npos) m_uTextStyle &= ~(DT_CENTER | DT_RIGHT);
        if (s.find("center") != std::string::npos) {
            m_uTextStyle &= ~DT_RIGHT;
            m_uTextStyle |= DT_CENTER;
        }
        if (s.find("right") != std::string::npos) {
            m_uTextStyle &= ~DT_CENTER;
            m_uTextStyle |= DT_RIGHT;
        }
        if (s.find("top") != std::string::npos) m_uTextStyle &= ~(DT_VCENTER | DT_BOTTOM);
        if (s.find("vcenter") != std::string::npos) {
            m_uTextStyle &= ~DT_BOTTOM;
            m_uTextStyle |= DT_VCENTER;
        }
        if (s.find("bottom") != std::string::npos) {
            m_uTextStyle &= ~DT_VCENTER;
            m_uTextStyle |= DT_BOTTOM;
        }
        Invalidate();
    } else if (EqualNoCase(n, "valign")) {
        std::string s = v;
        m_uTextStyle &= ~(DT_VCENTER | DT_BOTTOM);
        if (s == "vcenter" || s == "center") m_uTextStyle |= DT_VCENTER;
        else if (s == "bottom") m_uTextStyle |= DT_BOTTOM;
        Invalidate();
    } else if (EqualNoCase(n, "endellipsis")) {
        if (ParseBool(v)) m_uTextStyle |= DT_END_ELLIPSIS;
        else m_uTextStyle &= ~DT_END_ELLIPSIS;
    } else if (EqualNoCase(n, "wordbreak") || EqualNoCase(n, "multiline")) {
        if (ParseBool(v)) {
            m_uTextStyle &= ~DT_SINGLELINE;
            m_uTextStyle |= DT_WORDBREAK;
        } else {
            m_uTextStyle &= ~DT_WORDBREAK;
            m_uTextStyle |= DT_SINGLELINE;
        }
    } else if (EqualNoCase(n, "font")) SetFont(atoi(v));
    else if (EqualNoCase(n, "textcolor")) SetTextColor(ParseColor(v));
    else if (EqualNoCase(n, "disabledtextcolor")) SetDisabledTextColor(ParseColor(v));
    else if (EqualNoCase(n, "textpadding")) SetTextPadding(ParseRect(v));
    else if (EqualNoCase(n, "showhtml")) SetShowHtml(ParseBool(v));
    else if (EqualNoCase(n, "autocalcwidth")) SetAutoCalcWidth(ParseBool(v));
    else CControlUI::SetAttribute(n, v);
}

static RECT TextRect(const RECT& item, const RECT& pad) {
    return {item.left + pad.left, item.top + pad.top, item.right - pad.right, item.bottom - pad.bottom};
}

void CLabelUI::PaintText(HDC hDC) {
    if (m_sText.empty()) return;
    DWORD color = m_dwTextColor ? m_dwTextColor : (m_pManager ? m_pManager->GetDefaultFontColor() : 0xFF000000);
    if (!IsEnabled())
        color = m_dwDisabledTextColor ? m_dwDisabledTextColor
                                      : (m_pManager ? m_pManager->GetDefaultDisabledColor() : color);
    RECT rc = TextRect(m_rcItem, m_rcTextPadding);
    // Tags in angle brackets, or in braces when the text starts with one ("{u}{a}...{/a}{/u}").
    if (m_bShowHtml)
        CRenderEngine::DrawHtmlText(hDC, m_pManager, rc, m_sText.c_str(), color, 0, m_iFont, m_uTextStyle,
                                    m_sText[0] != '{');
    else CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText.c_str(), color, m_iFont, m_uTextStyle);
}

// ---- Text with links

CTextUI::CTextUI() {
    m_uTextStyle = DT_WORDBREAK;
    m_bShowHtml = true;  // tags unless "showhtml" says otherwise
}

void* CTextUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "Text")) return this;
    return CLabelUI::GetInterface(n);
}

UINT CTextUI::GetControlFlags() const {
    return (IsEnabled() && !m_links.empty()) ? UIFLAG_SETCURSOR : 0;
}

CDuiString* CTextUI::GetLinkContent(int i) {
    if (i < 0 || i >= (int)m_links.size()) return nullptr;
    return &m_links[(size_t)i];
}

void CTextUI::SetText(const char* p) {
    CLabelUI::SetText(p);
    ParseLinks();
}

void CTextUI::SetShowHtml(bool b) {
    CLabelUI::SetShowHtml(b);
    ParseLinks();
}

void CTextUI::ParseLinks() {
    m_links.clear();
    if (!m_bShowHtml) return;  // plain text has no links
    const std::string& s = m_sText;
    size_t i = 0;
    while ((i = s.find("{a", i)) != std::string::npos) {
        size_t close = s.find('}', i);
        if (close == std::string::npos) break;
        std::string name = s.substr(i + 2, close - i - 2);
        size_t a = name.find_first_not_of(' ');
        name = a == std::string::npos ? "" : name.substr(a);
        size_t endTag = s.find("{/a}", close);
        if (name.empty()) name = s.substr(close + 1, (endTag == std::string::npos ? s.size() : endTag) - close - 1);
        m_links.push_back(name);
        i = close + 1;
    }
}

void CTextUI::DoEvent(TEventUI& event) {
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        return;
    }
    RECT rc = TextRect(m_rcItem, m_rcTextPadding);
    if (event.Type == UIEVENT_SETCURSOR) {
        int hit = m_links.empty() ? -1
                                  : CRenderEngine::HitTestHtmlText(m_pManager, rc, m_sText.c_str(), m_iFont,
                                                                   m_uTextStyle, false, event.ptMouse);
        if (m_pManager && m_pManager->GetBackend())
            m_pManager->GetBackend()->SetCursor(hit >= 0 ? UICURSOR_HAND : UICURSOR_ARROW);
        return;
    }
    if ((event.Type == UIEVENT_BUTTONUP) && IsEnabled() && !m_links.empty()) {
        int hit = CRenderEngine::HitTestHtmlText(m_pManager, rc, m_sText.c_str(), m_iFont, m_uTextStyle, false,
                                                 event.ptMouse);
        if (hit >= 0 && m_pManager) {
            m_pManager->SendNotify(this, DUI_MSGTYPE_LINK, (WPARAM)hit);
            return;
        }
    }
    CLabelUI::DoEvent(event);
}

SIZE CTextUI::EstimateSize(SIZE szAvailable) {
    SIZE sz = CLabelUI::EstimateSize(szAvailable);
    if (m_cxyFixed.cy != 0 || m_sText.empty()) return sz;
    int width = (m_cxyFixed.cx > 0 ? m_cxyFixed.cx : szAvailable.cx - m_rcPadding.left - m_rcPadding.right) -
                m_rcTextPadding.left - m_rcTextPadding.right;
    SIZE t = m_bShowHtml
                 ? CRenderEngine::GetHtmlTextSize(m_pManager, m_sText.c_str(), m_iFont, m_uTextStyle, width, false)
                 : CRenderEngine::GetWrappedTextSize(m_pManager, m_sText.c_str(), m_iFont, m_uTextStyle, width);
    sz.cy = std::max<int>(sz.cy, t.cy + m_rcTextPadding.top + m_rcTextPadding.bottom + 4);
    return sz;
}

void CTextUI::PaintText(HDC hDC) {
    if (m_sText.empty()) return;
    DWORD color = m_dwTextColor ? m_dwTextColor : (m_pManager ? m_pManager->GetDefaultFontColor() : 0xFF000000);
    if (!IsEnabled()) color = m_pManager ? m_pManager->GetDefaultDisabledColor() : color;
    RECT rc = TextRect(m_rcItem, m_rcTextPadding);
    if (!m_bShowHtml) {
        CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText.c_str(), color, m_iFont, m_uTextStyle);
        return;
    }
    CRenderEngine::DrawHtmlText(hDC, m_pManager, rc, m_sText.c_str(), color, m_dwLinkColor, m_iFont, m_uTextStyle,
                                false);
}

void CTextUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "linkcolor")) m_dwLinkColor = ParseColor(v);
    else if (EqualNoCase(n, "text")) SetText(v);
    else CLabelUI::SetAttribute(n, v);
}

// ---- Button

CButtonUI::CButtonUI() {
    m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
}

void* CButtonUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "Button")) return this;
    return CLabelUI::GetInterface(n);
}

UINT CButtonUI::GetControlFlags() const {
    return (IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0) | ((IsEnabled() && m_bSetCursor) ? UIFLAG_SETCURSOR : 0);
}

bool CButtonUI::Activate() {
    if (!CControlUI::Activate()) return false;
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_CLICK);
    return true;
}

void CButtonUI::SetEnabled(bool b) {
    CControlUI::SetEnabled(b);
    if (!b) m_uButtonState = 0;
}

void CButtonUI::DoEvent(TEventUI& event) {
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        else CLabelUI::DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
        m_bFocused = event.Type == UIEVENT_SETFOCUS;
        Invalidate();
        return;
    case UIEVENT_KEYDOWN:
        if (IsKeyboardEnabled() && (event.chKey == VK_SPACE || event.chKey == VK_RETURN)) {
            Activate();
            return;
        }
        break;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (PtInRect(m_rcItem, event.ptMouse) && IsEnabled()) {
            m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSEMOVE:
        if (m_uButtonState & UISTATE_CAPTURED) {
            if (PtInRect(m_rcItem, event.ptMouse)) m_uButtonState |= UISTATE_PUSHED;
            else m_uButtonState &= ~UISTATE_PUSHED;
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONUP:
        if (m_uButtonState & UISTATE_CAPTURED) {
            bool inside = PtInRect(m_rcItem, event.ptMouse);
            m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
            Invalidate();
            if (inside) Activate();
        }
        return;
    case UIEVENT_MOUSEENTER:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_HOT;
            Invalidate();
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_MOUSEENTER);
        }
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_MOUSELEAVE);
        return;
    case UIEVENT_SETCURSOR:
        if (m_pManager && m_pManager->GetBackend())
            m_pManager->GetBackend()->SetCursor((GetControlFlags() & UIFLAG_SETCURSOR) ? UICURSOR_HAND
                                                                                       : UICURSOR_ARROW);
        return;
    default:
        break;
    }
    CLabelUI::DoEvent(event);
}

void CButtonUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "normalimage")) SetNormalImage(v);
    else if (EqualNoCase(n, "hotimage")) SetHotImage(v);
    else if (EqualNoCase(n, "pushedimage")) SetPushedImage(v);
    else if (EqualNoCase(n, "focusedimage")) SetFocusedImage(v);
    else if (EqualNoCase(n, "disabledimage")) SetDisabledImage(v);
    else if (EqualNoCase(n, "hottextcolor")) SetHotTextColor(ParseColor(v));
    else if (EqualNoCase(n, "pushedtextcolor")) SetPushedTextColor(ParseColor(v));
    else if (EqualNoCase(n, "focusedtextcolor")) SetFocusedTextColor(ParseColor(v));
    else if (EqualNoCase(n, "hotbkcolor")) SetHotBkColor(ParseColor(v));
    else if (EqualNoCase(n, "pushedbkcolor")) SetPushedBkColor(ParseColor(v));
    else CLabelUI::SetAttribute(n, v);
}

void CButtonUI::PaintBkColor(HDC hDC) {
    DWORD c = m_dwBackColor;
    if (IsEnabled()) {
        if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedBkColor) c = m_dwPushedBkColor;
        else if ((m_uButtonState & UISTATE_HOT) && m_dwHotBkColor) c = m_dwHotBkColor;
    }
    if (c) CRenderEngine::DrawRoundColor(hDC, m_rcItem, m_cxyBorderRound.cx / 2, c);
}

void CButtonUI::PaintText(HDC hDC) {
    if (m_sText.empty()) return;
    DWORD c = m_dwTextColor;
    if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedTextColor) c = m_dwPushedTextColor;
    else if ((m_uButtonState & UISTATE_HOT) && m_dwHotTextColor) c = m_dwHotTextColor;
    else if (m_bFocused && m_dwFocusedTextColor) c = m_dwFocusedTextColor;
    DWORD saved = m_dwTextColor;
    m_dwTextColor = c;
    CLabelUI::PaintText(hDC);
    m_dwTextColor = saved;
}

void CButtonUI::PaintStatusImage(HDC hDC) {
    if (!IsEnabled() && !m_sDisabledImage.empty()) {
        DrawImage(hDC, m_sDisabledImage.c_str());
        return;
    }
    if ((m_uButtonState & UISTATE_PUSHED) && !m_sPushedImage.empty() && DrawImage(hDC, m_sPushedImage.c_str())) return;
    if ((m_uButtonState & UISTATE_HOT) && !m_sHotImage.empty() && DrawImage(hDC, m_sHotImage.c_str())) return;
    if (m_bFocused && !m_sFocusedImage.empty() && DrawImage(hDC, m_sFocusedImage.c_str())) return;
    if (!m_sNormalImage.empty()) DrawImage(hDC, m_sNormalImage.c_str());
}

// ---- Option and check box

COptionUI::~COptionUI() {
    if (!m_sGroupName.empty() && m_pManager) m_pManager->RemoveOptionGroup(m_sGroupName.c_str(), this);
}

void* COptionUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "Option")) return this;
    return CButtonUI::GetInterface(n);
}

void COptionUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit) {
    CControlUI::SetManager(pManager, pParent, bInit);
    if (bInit && !m_sGroupName.empty() && m_pManager) m_pManager->AddOptionGroup(m_sGroupName.c_str(), this);
}

void COptionUI::SetGroup(const char* g) {
    CDuiString name = g ? g : "";
    if (name == m_sGroupName) return;
    if (!m_sGroupName.empty() && m_pManager) m_pManager->RemoveOptionGroup(m_sGroupName.c_str(), this);
    m_sGroupName = name;
    if (!m_sGroupName.empty() && m_pManager) m_pManager->AddOptionGroup(m_sGroupName.c_str(), this);
    Selected(m_bSelected, false);
}

void COptionUI::Selected(bool bSelected, bool bTriggerEvent) {
    if (m_bSelected == bSelected) return;
    m_bSelected = bSelected;
    if (m_pManager) {
        if (!m_sGroupName.empty()) {
            if (m_bSelected) {
                auto* group = m_pManager->GetOptionGroup(m_sGroupName.c_str());
                if (group) {
                    std::vector<CControlUI*> copy = *group;
                    for (CControlUI* c : copy) {
                        auto* o = static_cast<COptionUI*>(c->GetInterface("Option"));
                        if (o && o != this) o->Selected(false, bTriggerEvent);
                    }
                }
                if (bTriggerEvent) m_pManager->SendNotify(this, DUI_MSGTYPE_SELECTCHANGED);
            }
        } else if (bTriggerEvent) {
            m_pManager->SendNotify(this, DUI_MSGTYPE_SELECTCHANGED);
        }
    }
    Invalidate();
}

bool COptionUI::Activate() {
    if (!CButtonUI::Activate()) return false;
    if (!m_sGroupName.empty()) Selected(true);
    else Selected(!m_bSelected);
    return true;
}

void COptionUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "group")) SetGroup(v);
    else if (EqualNoCase(n, "selected")) Selected(ParseBool(v), false);
    else if (EqualNoCase(n, "selectedimage")) SetSelectedImage(v);
    else if (EqualNoCase(n, "selectedhotimage")) SetSelectedHotImage(v);
    else if (EqualNoCase(n, "selectedtextcolor")) SetSelectedTextColor(ParseColor(v));
    else if (EqualNoCase(n, "selectedbkcolor")) SetSelectedBkColor(ParseColor(v));
    else CButtonUI::SetAttribute(n, v);
}

void COptionUI::PaintBkColor(HDC hDC) {
    if (m_bSelected && m_dwSelectedBkColor)
        CRenderEngine::DrawRoundColor(hDC, m_rcItem, m_cxyBorderRound.cx / 2, m_dwSelectedBkColor);
    else CButtonUI::PaintBkColor(hDC);
}

void COptionUI::PaintStatusImage(HDC hDC) {
    if (m_bSelected) {
        if ((m_uButtonState & UISTATE_HOT) && !m_sSelectedHotImage.empty() &&
            DrawImage(hDC, m_sSelectedHotImage.c_str()))
            return;
        if (!m_sSelectedImage.empty() && DrawImage(hDC, m_sSelectedImage.c_str())) return;
    }
    CButtonUI::PaintStatusImage(hDC);
}

void COptionUI::PaintText(HDC hDC) {
    if (m_bSelected && m_dwSelectedTextColor) {
        DWORD saved = m_dwTextColor;
        m_dwTextColor = m_dwSelectedTextColor;
        CLabelUI::PaintText(hDC);
        m_dwTextColor = saved;
        return;
    }
    CButtonUI::PaintText(hDC);
}

void* CCheckBoxUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "CheckBox")) return this;
    return COptionUI::GetInterface(n);
}

RECT CCheckBoxUI::TickBox() const {
    if (!m_sNormalImage.empty() || !m_sSelectedImage.empty() || m_dwSelectedBkColor) return RECT{};
    constexpr int kSize = 13;
    const int top = (m_rcItem.top + m_rcItem.bottom - kSize) / 2;
    return RECT{m_rcItem.left + 1, top, m_rcItem.left + 1 + kSize, top + kSize};
}

void CCheckBoxUI::PaintStatusImage(HDC hDC) {
    const RECT box = TickBox();
    if (box.right <= box.left) {
        COptionUI::PaintStatusImage(hDC);
        return;
    }
    CRenderEngine::DrawColor(hDC, box, 0xFFFFFFFF);
    CRenderEngine::DrawRect(hDC, box, 1, IsEnabled() ? 0xFF6F7C8F : 0xFFB4B9C0);
    if (!m_bSelected) return;
    const DWORD tick = IsEnabled() ? 0xFF1F6FD1 : 0xFF9AA3AE;
    CRenderEngine::DrawLine(hDC, RECT{box.left + 3, box.top + 6, box.left + 5, box.top + 9}, 2, tick);
    CRenderEngine::DrawLine(hDC, RECT{box.left + 5, box.top + 9, box.left + 10, box.top + 3}, 2, tick);
}

void CCheckBoxUI::PaintText(HDC hDC) {
    const RECT box = TickBox();
    if (box.right <= box.left) {
        COptionUI::PaintText(hDC);
        return;
    }
    const RECT saved = m_rcTextPadding;
    m_rcTextPadding.left += box.right - m_rcItem.left + 4;
    COptionUI::PaintText(hDC);
    m_rcTextPadding = saved;
}

// ---- Progress and slider

void* CProgressUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "Progress")) return this;
    return CLabelUI::GetInterface(n);
}

void CProgressUI::SetValue(int n) {
    m_nValue = std::clamp(n, std::min(m_nMin, m_nMax), std::max(m_nMin, m_nMax));
    Invalidate();
}

void CProgressUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "foreimage")) SetForeImage(v);
    else if (EqualNoCase(n, "forecolor")) m_dwForeColor = ParseColor(v);
    else if (EqualNoCase(n, "hor")) SetHorizontal(ParseBool(v));
    else if (EqualNoCase(n, "min")) SetMinValue(atoi(v));
    else if (EqualNoCase(n, "max")) SetMaxValue(atoi(v));
    else if (EqualNoCase(n, "value")) SetValue(atoi(v));
    else CLabelUI::SetAttribute(n, v);
}

void CProgressUI::PaintStatusImage(HDC hDC) {
    if (m_nMax <= m_nMin) return;
    RECT rc = m_rcItem;
    long long span = m_nMax - m_nMin;
    if (m_bHorizontal)
        rc.right = rc.left + (int)((long long)(m_rcItem.right - m_rcItem.left) * (m_nValue - m_nMin) / span);
    else rc.top = rc.bottom - (int)((long long)(m_rcItem.bottom - m_rcItem.top) * (m_nValue - m_nMin) / span);
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    if (!m_sForeImage.empty()) {
        RECT dest = {rc.left - m_rcItem.left, rc.top - m_rcItem.top, rc.right - m_rcItem.left,
                     rc.bottom - m_rcItem.top};
        std::string mod = CDuiString::Format("dest='%d,%d,%d,%d'", dest.left, dest.top, dest.right, dest.bottom);
        if (DrawImage(hDC, m_sForeImage.c_str(), mod.c_str())) return;
    }
    CRenderEngine::DrawColor(hDC, rc, m_dwForeColor);
}

void* CSliderUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "Slider")) return this;
    return CProgressUI::GetInterface(n);
}

UINT CSliderUI::GetControlFlags() const {
    return IsEnabled() ? UIFLAG_SETCURSOR : 0;
}

RECT CSliderUI::GetThumbRect() const {
    RECT rc;
    int span = std::max(1, m_nMax - m_nMin);
    if (m_bHorizontal) {
        int left = m_rcItem.left +
                   (int)((long long)(m_rcItem.right - m_rcItem.left - m_szThumb.cx) * (m_nValue - m_nMin) / span);
        int top = (m_rcItem.bottom + m_rcItem.top - m_szThumb.cy) / 2;
        rc = {left, top, left + m_szThumb.cx, top + m_szThumb.cy};
    } else {
        int top = m_rcItem.bottom - m_szThumb.cy -
                  (int)((long long)(m_rcItem.bottom - m_rcItem.top - m_szThumb.cy) * (m_nValue - m_nMin) / span);
        int left = (m_rcItem.right + m_rcItem.left - m_szThumb.cx) / 2;
        rc = {left, top, left + m_szThumb.cx, top + m_szThumb.cy};
    }
    return rc;
}

int CSliderUI::ValueAt(POINT pt) const {
    int span = m_nMax - m_nMin;
    if (m_bHorizontal) {
        int w = m_rcItem.right - m_rcItem.left - m_szThumb.cx;
        if (w <= 0) return m_nMin;
        return m_nMin + (int)((long long)std::clamp((int)(pt.x - m_rcItem.left - m_szThumb.cx / 2), 0, w) * span / w);
    }
    int h = m_rcItem.bottom - m_rcItem.top - m_szThumb.cy;
    if (h <= 0) return m_nMin;
    return m_nMin + (int)((long long)std::clamp((int)(m_rcItem.bottom - pt.y - m_szThumb.cy / 2), 0, h) * span / h);
}

void CSliderUI::DoEvent(TEventUI& event) {
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_CAPTURED;
            SetValue(ValueAt(event.ptMouse));
        }
        return;
    case UIEVENT_MOUSEMOVE:
        if (m_uButtonState & UISTATE_CAPTURED) SetValue(ValueAt(event.ptMouse));
        return;
    case UIEVENT_BUTTONUP:
        if (m_uButtonState & UISTATE_CAPTURED) {
            m_uButtonState &= ~UISTATE_CAPTURED;
            SetValue(ValueAt(event.ptMouse));
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_VALUECHANGED);
        }
        return;
    case UIEVENT_SCROLLWHEEL:
        if (IsEnabled()) {
            SetValue(m_nValue + (event.wParam == 0 ? m_nStep : -m_nStep));
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_VALUECHANGED);
        }
        return;
    case UIEVENT_SETCURSOR:
        if (m_pManager && m_pManager->GetBackend()) m_pManager->GetBackend()->SetCursor(UICURSOR_HAND);
        return;
    default:
        CProgressUI::DoEvent(event);
    }
}

void CSliderUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "thumbimage")) m_sThumbImage = v;
    else if (EqualNoCase(n, "thumbsize")) {
        RECT r = ParseRect(v);
        SetThumbSize({r.left, r.top});
    } else if (EqualNoCase(n, "step")) SetChangeStep(atoi(v));
    else CProgressUI::SetAttribute(n, v);
}

void CSliderUI::PaintStatusImage(HDC hDC) {
    CProgressUI::PaintStatusImage(hDC);
    RECT t = GetThumbRect();
    if (!m_sThumbImage.empty()) {
        std::string mod = CDuiString::Format("dest='%d,%d,%d,%d'", t.left - m_rcItem.left, t.top - m_rcItem.top,
                                             t.right - m_rcItem.left, t.bottom - m_rcItem.top);
        if (DrawImage(hDC, m_sThumbImage.c_str(), mod.c_str())) return;
    }
    CRenderEngine::DrawColor(hDC, t, 0xFFFFFFFF);
    CRenderEngine::DrawRect(hDC, t, 1, m_dwForeColor);
}

// ---- Native host

void* CNativeHostUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "NativeHost")) return this;
    return CControlUI::GetInterface(n);
}

CNativeHostUI::~CNativeHostUI() {
    if (m_pWidget && m_pManager && m_pManager->GetBackend()) m_pManager->GetBackend()->RemoveNativeWidget(m_pWidget);
}

void CNativeHostUI::SetNativeWidget(void* w) {
    if (m_pWidget && m_pWidget != w && m_pManager && m_pManager->GetBackend())
        m_pManager->GetBackend()->RemoveNativeWidget(m_pWidget);
    m_pWidget = w;
    Sync();
}

void CNativeHostUI::Sync() {
    if (m_pWidget && m_pManager && m_pManager->GetBackend())
        m_pManager->GetBackend()->PlaceNativeWidget(m_pWidget, m_rcItem, IsVisible());
}

void CNativeHostUI::SetPos(RECT rc, bool b) {
    CControlUI::SetPos(rc, b);
    Sync();
}

void CNativeHostUI::SetVisible(bool b) {
    CControlUI::SetVisible(b);
    Sync();
}

void CNativeHostUI::SetInternVisible(bool b) {
    CControlUI::SetInternVisible(b);
    Sync();
}

}  // namespace DuiLib
