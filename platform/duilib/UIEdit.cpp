#include <cctype>
#include <cstdlib>

#include "GbkCut.h"
#include "UIBackend.h"
#include "UIControls.h"
#include "UIManager.h"

namespace DuiLib {

static size_t GbkCharCount(const std::string& s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++n) i += varnet::GbkUnitLength(s.data(), s.size(), i);
    return n;
}

CEditUI::CEditUI() {
    m_uTextStyle = DT_SINGLELINE | DT_VCENTER;
    m_rcTextPadding = {4, 2, 4, 2};
    m_dwBackColor = 0xFFFFFFFF;
}

CEditUI::~CEditUI() {
    if (m_pManager && m_pManager->GetBackend()) m_pManager->GetBackend()->EndEdit(this);
}

void* CEditUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "Edit")) return this;
    return CLabelUI::GetInterface(n);
}

UINT CEditUI::GetControlFlags() const {
    return IsEnabled() ? UIFLAG_TABSTOP | UIFLAG_SETCURSOR : 0;
}

void CEditUI::SetEnabled(bool b) {
    CControlUI::SetEnabled(b);
    if (!b) m_uButtonState = 0;
}

size_t CEditUI::CutToLimit(const std::string& t) const {
    return varnet::GbkCut(t, m_uMaxChar);
}

void CEditUI::SetText(const char* p) {
    CDuiString t = p ? p : "";
    t.resize(CutToLimit(t));
    m_sText = t;
    m_bSelAll = false;
    if (m_pManager && m_pManager->GetBackend() && m_bFocused) m_pManager->GetBackend()->UpdateEdit(this);
    Invalidate();
}

void CEditUI::SetReadOnly(bool b) {
    m_bReadOnly = b;
    if (m_pManager && m_pManager->GetBackend() && m_bFocused) m_pManager->GetBackend()->UpdateEdit(this);
}
void CEditUI::SetPasswordMode(bool b) {
    m_bPasswordMode = b;
    Invalidate();
}

void CEditUI::SetSel(long nStart, long nEnd) {
    m_bSelAll = nStart == 0 && nEnd == -1;
    if (m_pManager && m_pManager->GetBackend() && m_bFocused) m_pManager->GetBackend()->UpdateEdit(this);
}

void CEditUI::SetSelAll() {
    SetSel(0, -1);
}

void CEditUI::InputText(const char* gbk) {
    if (m_bReadOnly || !IsEnabled()) return;
    std::string t = gbk ? gbk : "";
    if (m_bNumberOnly) {
        std::string digits;
        for (char c : t)
            if (isdigit((unsigned char)c)) digits += c;
        t = digits;
    }
    t.resize(CutToLimit(t));
    if (t == m_sText) return;
    m_sText = t;
    m_bSelAll = false;
    Invalidate();
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_TEXTCHANGED);
}

void CEditUI::DoEvent(TEventUI& event) {
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        return;
    }
    IWindowBackend* be = m_pManager ? m_pManager->GetBackend() : nullptr;
    switch (event.Type) {
    case UIEVENT_SETCURSOR:
        if (be && IsEnabled()) be->SetCursor(UICURSOR_IBEAM);
        return;
    case UIEVENT_SETFOCUS:
        m_bFocused = true;
        if (be && IsEnabled()) be->BeginEdit(this);
        Invalidate();
        return;
    case UIEVENT_KILLFOCUS:
        m_bFocused = false;
        if (be) be->EndEdit(this);
        Invalidate();
        return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (IsEnabled() && m_pManager) {
            m_pManager->ReleaseCapture();
            if (!m_bFocused) SetFocus();
        }
        return;
    case UIEVENT_MOUSEENTER:
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_CHAR: {
        unsigned char c = (unsigned char)event.chKey;
        if (c < 0x20 || m_bReadOnly || !IsEnabled()) return;
        std::string t = m_bSelAll ? std::string() : std::string(m_sText);
        t += (char)c;
        InputText(t.c_str());
        return;
    }
    case UIEVENT_KEYDOWN:
        if (event.chKey == VK_RETURN) {
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_RETURN);
            return;
        }
        if (event.chKey == VK_BACK && !m_bReadOnly && IsEnabled()) {
            std::string t = m_sText;
            if (m_bSelAll) t.clear();
            else if (!t.empty()) t.resize(varnet::GbkCut(t, t.size() - 1));
            InputText(t.c_str());
            return;
        }
        break;
    default:
        break;
    }
    CLabelUI::DoEvent(event);
}

void* CRichEditUI::GetInterface(const char* n) {
    if (EqualNoCase(n, "RichEdit")) return this;
    return CEditUI::GetInterface(n);
}

int CRichEditUI::GetTextLength() const {
    return (int)GbkCharCount(m_sText);
}

size_t CRichEditUI::CutToLimit(const std::string& t) const {
    size_t at = 0;
    for (UINT n = 0; at < t.size() && n < m_uMaxChar; ++n) at += varnet::GbkUnitLength(t.data(), t.size(), at);
    return at;
}

void CEditUI::SetAttribute(const char* n, const char* v) {
    if (EqualNoCase(n, "readonly")) SetReadOnly(ParseBool(v));
    else if (EqualNoCase(n, "numberonly")) SetNumberOnly(ParseBool(v));
    else if (EqualNoCase(n, "password")) SetPasswordMode(ParseBool(v));
    else if (EqualNoCase(n, "passwordchar")) SetPasswordChar(v[0] ? v[0] : '*');
    else if (EqualNoCase(n, "maxchar")) SetMaxChar((UINT)std::max(0, atoi(v)));
    else if (EqualNoCase(n, "normalimage")) m_sNormalImage = v;
    else if (EqualNoCase(n, "hotimage")) m_sHotImage = v;
    else if (EqualNoCase(n, "focusedimage")) m_sFocusedImage = v;
    else if (EqualNoCase(n, "disabledimage")) m_sDisabledImage = v;
    else if (EqualNoCase(n, "nativebkcolor")) SetNativeEditBkColor(ParseColor(v));
    else CLabelUI::SetAttribute(n, v);
}

void CEditUI::PaintStatusImage(HDC hDC) {
    if (!IsEnabled() && !m_sDisabledImage.empty() && DrawImage(hDC, m_sDisabledImage.c_str())) return;
    if (m_bFocused && !m_sFocusedImage.empty() && DrawImage(hDC, m_sFocusedImage.c_str())) return;
    if ((m_uButtonState & UISTATE_HOT) && !m_sHotImage.empty() && DrawImage(hDC, m_sHotImage.c_str())) return;
    if (!m_sNormalImage.empty()) DrawImage(hDC, m_sNormalImage.c_str());
}

void CEditUI::PaintText(HDC hDC) {
    if (m_sText.empty()) return;
    CDuiString shown = m_bPasswordMode ? CDuiString(GbkCharCount(m_sText), m_cPasswordChar) : m_sText;
    CDuiString saved = m_sText;
    m_sText = shown;
    CLabelUI::PaintText(hDC);
    m_sText = saved;
}

void CEditUI::SetPos(RECT rc, bool b) {
    CControlUI::SetPos(rc, b);
    if (m_bFocused && m_pManager && m_pManager->GetBackend()) m_pManager->GetBackend()->UpdateEdit(this);
}

void CEditUI::SetVisible(bool b) {
    CControlUI::SetVisible(b);
    if (!IsVisible() && m_pManager && m_pManager->GetBackend()) m_pManager->GetBackend()->EndEdit(this);
}

void CEditUI::SetInternVisible(bool b) {
    CControlUI::SetInternVisible(b);
    if (!IsVisible() && m_pManager && m_pManager->GetBackend()) m_pManager->GetBackend()->EndEdit(this);
}

}  // namespace DuiLib
