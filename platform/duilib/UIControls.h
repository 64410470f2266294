// The stock controls: label, rich text, button, option/check box, edit, progress, slider, native host.
#pragma once

#include "UIContainer.h"
#include "UIRender.h"

namespace DuiLib {

class CLabelUI : public CControlUI {
public:
    const char* GetClass() const override { return "LabelUI"; }
    void* GetInterface(const char* pstrName) override;
    void SetTextStyle(UINT uStyle);
    UINT GetTextStyle() const { return m_uTextStyle; }
    void SetTextColor(DWORD dwTextColor);
    DWORD GetTextColor() const { return m_dwTextColor; }
    void SetDisabledTextColor(DWORD dwTextColor);
    DWORD GetDisabledTextColor() const { return m_dwDisabledTextColor; }
    void SetFont(int index);
    int GetFont() const { return m_iFont; }
    RECT GetTextPadding() const { return m_rcTextPadding; }
    void SetTextPadding(RECT rc);
    bool IsShowHtml() const { return m_bShowHtml; }
    virtual void SetShowHtml(bool bShowHtml = true);
    bool IsAutoCalcWidth() const { return m_bAutoCalcWidth; }
    void SetAutoCalcWidth(bool bAuto) { m_bAutoCalcWidth = bAuto; }
    // Width and height of the text in the label's font.
    SIZE GetTextSize() const;
    SIZE EstimateSize(SIZE szAvailable) override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    void PaintText(HDC hDC) override;

protected:
    DWORD m_dwTextColor = 0;
    DWORD m_dwDisabledTextColor = 0;
    int m_iFont = -1;
    UINT m_uTextStyle = DT_VCENTER | DT_SINGLELINE;
    RECT m_rcTextPadding;
    bool m_bShowHtml = false;
    bool m_bAutoCalcWidth = false;
};

// Text with "{a name}..{/a}", "{c #rrggbb}..{/c}" and "{u}..{/u}" tags; a click on a link sends "link"
// with the link's index in wParam. With "showhtml" false the text is drawn as it stands, without links.
class CTextUI : public CLabelUI {
public:
    CTextUI();
    const char* GetClass() const override { return "TextUI"; }
    void* GetInterface(const char* pstrName) override;
    UINT GetControlFlags() const override;
    CDuiString* GetLinkContent(int iIndex);
    int GetLinkCount() const { return (int)m_links.size(); }
    // Without a fixed height: the height of the text wrapped in the width it gets (at least one line).
    SIZE EstimateSize(SIZE szAvailable) override;
    void SetText(const char* pstrText) override;
    // false: the text is drawn and measured as it stands (a server's text), without tags or links.
    void SetShowHtml(bool bShowHtml = true) override;
    void DoEvent(TEventUI& event) override;
    void PaintText(HDC hDC) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;

protected:
    void ParseLinks();
    std::vector<CDuiString> m_links;
    DWORD m_dwLinkColor = 0xFF1F6FD1;
    int m_iHotLink = -1;
};

class CButtonUI : public CLabelUI {
public:
    CButtonUI();
    const char* GetClass() const override { return "ButtonUI"; }
    void* GetInterface(const char* pstrName) override;
    UINT GetControlFlags() const override;
    bool Activate() override;
    void SetEnabled(bool bEnable = true) override;
    void DoEvent(TEventUI& event) override;
    UINT GetButtonState() const { return m_uButtonState; }

    const char* GetNormalImage() const { return m_sNormalImage.c_str(); }
    void SetNormalImage(const char* p) {
        m_sNormalImage = p ? p : "";
        Invalidate();
    }
    void SetHotImage(const char* p) {
        m_sHotImage = p ? p : "";
        Invalidate();
    }
    void SetPushedImage(const char* p) {
        m_sPushedImage = p ? p : "";
        Invalidate();
    }
    void SetFocusedImage(const char* p) {
        m_sFocusedImage = p ? p : "";
        Invalidate();
    }
    void SetDisabledImage(const char* p) {
        m_sDisabledImage = p ? p : "";
        Invalidate();
    }
    void SetHotTextColor(DWORD c) { m_dwHotTextColor = c; }
    DWORD GetHotTextColor() const { return m_dwHotTextColor; }
    void SetPushedTextColor(DWORD c) { m_dwPushedTextColor = c; }
    DWORD GetPushedTextColor() const { return m_dwPushedTextColor; }
    void SetFocusedTextColor(DWORD c) { m_dwFocusedTextColor = c; }
    DWORD GetFocusedTextColor() const { return m_dwFocusedTextColor; }
    void SetHotBkColor(DWORD c) { m_dwHotBkColor = c; }
    void SetPushedBkColor(DWORD c) { m_dwPushedBkColor = c; }
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    void PaintText(HDC hDC) override;
    void PaintBkColor(HDC hDC) override;
    void PaintStatusImage(HDC hDC) override;

protected:
    UINT m_uButtonState = 0;
    DWORD m_dwHotTextColor = 0;
    DWORD m_dwPushedTextColor = 0;
    DWORD m_dwFocusedTextColor = 0;
    DWORD m_dwHotBkColor = 0;
    DWORD m_dwPushedBkColor = 0;
    CDuiString m_sNormalImage, m_sHotImage, m_sPushedImage, m_sFocusedImage, m_sDisabledImage;
};

// A button that stays selected; options of one group deselect each other.
class COptionUI : public CButtonUI {
public:
    ~COptionUI() override;
    const char* GetClass() const override { return "OptionUI"; }
    void* GetInterface(const char* pstrName) override;
    void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
    bool Activate() override;
    const char* GetGroup() const { return m_sGroupName.c_str(); }
    void SetGroup(const char* pStrGroupName = nullptr);
    bool IsSelected() const { return m_bSelected; }
    virtual void Selected(bool bSelected, bool bTriggerEvent = true);
    void SetSelectedImage(const char* p) {
        m_sSelectedImage = p ? p : "";
        Invalidate();
    }
    void SetSelectedHotImage(const char* p) {
        m_sSelectedHotImage = p ? p : "";
        Invalidate();
    }
    void SetSelectedTextColor(DWORD c) { m_dwSelectedTextColor = c; }
    void SetSelectedBkColor(DWORD c) { m_dwSelectedBkColor = c; }
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    void PaintBkColor(HDC hDC) override;
    void PaintStatusImage(HDC hDC) override;
    void PaintText(HDC hDC) override;

protected:
    bool m_bSelected = false;
    CDuiString m_sGroupName;
    DWORD m_dwSelectedTextColor = 0;
    DWORD m_dwSelectedBkColor = 0;
    CDuiString m_sSelectedImage, m_sSelectedHotImage;
};

// A check box that the skin gives no pictures and no selected colour draws a box at its left, ticked while
// selected, with its text after the box.
class CCheckBoxUI : public COptionUI {
public:
    const char* GetClass() const override { return "CheckBoxUI"; }
    void* GetInterface(const char* pstrName) override;
    void SetCheck(bool bCheck) { Selected(bCheck); }
    bool GetCheck() const { return IsSelected(); }
    void PaintStatusImage(HDC hDC) override;
    void PaintText(HDC hDC) override;
    // The box (in the co-ordinates of the control's place); empty when the skin draws the check box.
    RECT TickBox() const;
};

// One-line edit box. Headless it edits its own text from key events; on a display the window backend
// places a native entry over it while it has the focus.
class CEditUI : public CLabelUI {
public:
    CEditUI();
    ~CEditUI() override;
    const char* GetClass() const override { return "EditUI"; }
    void* GetInterface(const char* pstrName) override;
    UINT GetControlFlags() const override;
    void SetEnabled(bool bEnable = true) override;
    void SetText(const char* pstrText) override;
    // The most the edit takes: GBK bytes here, characters in a rich edit.
    void SetMaxChar(UINT uMax) { m_uMaxChar = uMax; }
    UINT GetMaxChar() const { return m_uMaxChar; }
    void SetReadOnly(bool bReadOnly);
    bool IsReadOnly() const { return m_bReadOnly; }
    void SetPasswordMode(bool bPasswordMode);
    bool IsPasswordMode() const { return m_bPasswordMode; }
    void SetPasswordChar(char c) { m_cPasswordChar = c; }
    char GetPasswordChar() const { return m_cPasswordChar; }
    void SetNumberOnly(bool bNumberOnly) { m_bNumberOnly = bNumberOnly; }
    bool IsNumberOnly() const { return m_bNumberOnly; }
    void SetSel(long nStartChar, long nEndChar);
    void SetSelAll();
    bool IsAllSelected() const { return m_bSelAll; }
    void SetNativeEditBkColor(DWORD c) { m_dwEditbkColor = c; }
    DWORD GetNativeEditBkColor() const { return m_dwEditbkColor; }
    // Text typed by the user (from a native entry or key events): cut to the maximum, filtered, notified.
    void InputText(const char* gbk);
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    void PaintStatusImage(HDC hDC) override;
    void PaintText(HDC hDC) override;
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
    void SetVisible(bool bVisible = true) override;
    void SetInternVisible(bool bVisible = true) override;

protected:
    // Length of the longest prefix of t within the limit, ending on a whole character.
    virtual size_t CutToLimit(const std::string& t) const;
    UINT m_uMaxChar = 255;
    bool m_bReadOnly = false;
    bool m_bPasswordMode = false;
    bool m_bNumberOnly = false;
    bool m_bSelAll = false;
    char m_cPasswordChar = '*';
    DWORD m_dwEditbkColor = 0xFFFFFFFF;
    UINT m_uButtonState = 0;
    CDuiString m_sNormalImage, m_sHotImage, m_sFocusedImage, m_sDisabledImage;
};

// The edit whose limit counts characters (a Chinese character is one), as a rich edit counts them.
class CRichEditUI : public CEditUI {
public:
    const char* GetClass() const override { return "RichEditUI"; }
    void* GetInterface(const char* pstrName) override;
    // The text's length in characters.
    int GetTextLength() const;

protected:
    size_t CutToLimit(const std::string& t) const override;
};

class CProgressUI : public CLabelUI {
public:
    const char* GetClass() const override { return "ProgressUI"; }
    void* GetInterface(const char* pstrName) override;
    bool IsHorizontal() const { return m_bHorizontal; }
    void SetHorizontal(bool b = true) {
        m_bHorizontal = b;
        Invalidate();
    }
    int GetMinValue() const { return m_nMin; }
    void SetMinValue(int n) {
        m_nMin = n;
        Invalidate();
    }
    int GetMaxValue() const { return m_nMax; }
    void SetMaxValue(int n) {
        m_nMax = n;
        Invalidate();
    }
    int GetValue() const { return m_nValue; }
    void SetValue(int n);
    void SetForeImage(const char* p) {
        m_sForeImage = p ? p : "";
        Invalidate();
    }
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    void PaintStatusImage(HDC hDC) override;

protected:
    bool m_bHorizontal = true;
    int m_nMin = 0;
    int m_nMax = 100;
    int m_nValue = 0;
    DWORD m_dwForeColor = 0xFF3C8CE7;
    CDuiString m_sForeImage;
};

// A progress bar with a thumb the user drags; sends "valuechanged".
class CSliderUI : public CProgressUI {
public:
    const char* GetClass() const override { return "SliderUI"; }
    void* GetInterface(const char* pstrName) override;
    UINT GetControlFlags() const override;
    void SetChangeStep(int step) { m_nStep = step; }
    void SetThumbSize(SIZE sz) { m_szThumb = sz; }
    RECT GetThumbRect() const;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    void PaintStatusImage(HDC hDC) override;

protected:
    int ValueAt(POINT pt) const;
    int m_nStep = 1;
    SIZE m_szThumb{10, 10};
    UINT m_uButtonState = 0;
    CDuiString m_sThumbImage;
};

// Reserves a rectangle for a native child widget (video surface, web view, rich edit) that a backend
// places over it; headless it is an empty control.
class CNativeHostUI : public CControlUI {
public:
    const char* GetClass() const override { return "NativeHostUI"; }
    void* GetInterface(const char* pstrName) override;
    void SetNativeWidget(void* widget);
    void* GetNativeWidget() const { return m_pWidget; }
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
    void SetVisible(bool bVisible = true) override;
    void SetInternVisible(bool bVisible = true) override;
    ~CNativeHostUI() override;

protected:
    void Sync();
    void* m_pWidget = nullptr;
};

}  // namespace DuiLib
