// The base control: position, attributes, states, painting and events.
#pragma once

#include <functional>
#include <map>

#include "UIDefine.h"

namespace DuiLib {

class CContainerUI;

// Flags of FindControl.
enum {
    UIFIND_ALL = 0x00000000,
    UIFIND_VISIBLE = 0x00000001,
    UIFIND_ENABLED = 0x00000002,
    UIFIND_HITTEST = 0x00000004,
    UIFIND_TOP_FIRST = 0x00000008,
    UIFIND_ME_FIRST = 0x80000000,
};

// Control states.
enum {
    UISTATE_FOCUSED = 0x00000001,
    UISTATE_SELECTED = 0x00000002,
    UISTATE_DISABLED = 0x00000004,
    UISTATE_HOT = 0x00000008,
    UISTATE_PUSHED = 0x00000010,
    UISTATE_READONLY = 0x00000020,
    UISTATE_CAPTURED = 0x00000040,
};

typedef CControlUI*(FINDCONTROLPROC)(CControlUI*, void*);

class CControlUI {
public:
    CControlUI();
    virtual ~CControlUI();

    virtual CDuiString GetName() const { return m_sName; }
    virtual void SetName(const char* pstrName) { m_sName = pstrName ? pstrName : ""; }
    virtual const char* GetClass() const { return "ControlUI"; }
    virtual void* GetInterface(const char* pstrName);
    virtual UINT GetControlFlags() const;

    virtual bool Activate();
    virtual CPaintManagerUI* GetManager() const { return m_pManager; }
    virtual void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true);
    virtual CControlUI* GetParent() const { return m_pParent; }

    // Text
    virtual CDuiString GetText() const { return m_sText; }
    virtual void SetText(const char* pstrText);

    // Background and border
    DWORD GetBkColor() const { return m_dwBackColor; }
    void SetBkColor(DWORD dwBackColor);
    const char* GetBkImage() const { return m_sBkImage.c_str(); }
    void SetBkImage(const char* pStrImage);
    DWORD GetBorderColor() const { return m_dwBorderColor; }
    void SetBorderColor(DWORD dwBorderColor);
    DWORD GetFocusBorderColor() const { return m_dwFocusBorderColor; }
    void SetFocusBorderColor(DWORD dwBorderColor);
    int GetBorderSize() const { return m_nBorderSize; }
    void SetBorderSize(int nSize);
    SIZE GetBorderRound() const { return m_cxyBorderRound; }
    void SetBorderRound(SIZE cxyRound);
    bool DrawImage(HDC hDC, const char* pStrImage, const char* pStrModify = nullptr);

    // Position
    virtual const RECT& GetPos() const { return m_rcItem; }
    virtual void SetPos(RECT rc, bool bNeedInvalidate = true);
    virtual int GetWidth() const { return m_rcItem.right - m_rcItem.left; }
    virtual int GetHeight() const { return m_rcItem.bottom - m_rcItem.top; }
    virtual int GetX() const { return m_rcItem.left; }
    virtual int GetY() const { return m_rcItem.top; }
    virtual RECT GetPadding() const { return m_rcPadding; }
    virtual void SetPadding(RECT rcPadding);
    virtual SIZE GetFixedXY() const { return m_cXY; }
    virtual void SetFixedXY(SIZE szXY);
    virtual int GetFixedWidth() const { return m_cxyFixed.cx; }
    virtual void SetFixedWidth(int cx);
    virtual int GetFixedHeight() const { return m_cxyFixed.cy; }
    virtual void SetFixedHeight(int cy);
    virtual int GetMinWidth() const { return m_cxyMin.cx; }
    virtual void SetMinWidth(int cx);
    virtual int GetMaxWidth() const { return m_cxyMax.cx; }
    virtual void SetMaxWidth(int cx);
    virtual int GetMinHeight() const { return m_cxyMin.cy; }
    virtual void SetMinHeight(int cy);
    virtual int GetMaxHeight() const { return m_cxyMax.cy; }
    virtual void SetMaxHeight(int cy);
    // Size a layout gives this control; 0 in a direction means "share what is left".
    virtual SIZE EstimateSize(SIZE szAvailable);

    // Tooltip, tag, user data
    virtual CDuiString GetToolTip() const { return m_sToolTip; }
    virtual void SetToolTip(const char* pstrText) { m_sToolTip = pstrText ? pstrText : ""; }
    virtual UINT_PTR GetTag() const { return m_pTag; }
    virtual void SetTag(UINT_PTR pTag) { m_pTag = pTag; }
    virtual const CDuiString& GetUserData() const { return m_sUserData; }
    virtual void SetUserData(const char* pstrText) { m_sUserData = pstrText ? pstrText : ""; }

    // State
    virtual bool IsVisible() const { return m_bVisible && m_bInternVisible; }
    virtual void SetVisible(bool bVisible = true);
    virtual void SetInternVisible(bool bVisible = true);
    virtual bool IsEnabled() const { return m_bEnabled; }
    virtual void SetEnabled(bool bEnable = true);
    virtual bool IsMouseEnabled() const { return m_bMouseEnabled; }
    virtual void SetMouseEnabled(bool bEnable = true) { m_bMouseEnabled = bEnable; }
    virtual bool IsKeyboardEnabled() const { return m_bKeyboardEnabled; }
    virtual void SetKeyboardEnabled(bool bEnable = true) { m_bKeyboardEnabled = bEnable; }
    virtual bool IsFocused() const { return m_bFocused; }
    virtual void SetFocus();
    virtual bool IsFloat() const { return m_bFloat; }
    virtual void SetFloat(bool bFloat = true);
    bool IsSetCursor() const { return m_bSetCursor; }

    virtual CControlUI* FindControl(FINDCONTROLPROC Proc, void* pData, UINT uFlags);

    void Invalidate();
    bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
    void NeedUpdate();
    void NeedParentUpdate();

    virtual void Init();
    virtual void DoInit() {}

    virtual void Event(TEventUI& event);
    virtual void DoEvent(TEventUI& event);

    virtual void SetAttribute(const char* pstrName, const char* pstrValue);
    CControlUI* ApplyAttributeList(const char* pstrList);

    virtual void DoPaint(HDC hDC, const RECT& rcPaint);
    virtual void PaintBkColor(HDC hDC);
    virtual void PaintBkImage(HDC hDC);
    virtual void PaintStatusImage(HDC hDC);
    virtual void PaintText(HDC hDC);
    virtual void PaintBorder(HDC hDC);

    virtual void DoPostPaint(HDC, const RECT&) {}

    // Virtual window: notifications of this control go to the pump registered under this name.
    void SetVirtualWnd(const char* pstrValue) { m_sVirtualWnd = pstrValue ? pstrValue : ""; }
    CDuiString GetVirtualWnd() const;

    // Delegates on events: return false to stop the control's own handling.
    std::vector<std::function<bool(void*)>> OnEvent;
    std::vector<std::function<bool(void*)>> OnNotify;
    std::vector<std::function<bool(void*)>> OnInit;

    // Parses "#AARRGGBB", "#RRGGBB", "0xAARRGGBB" or a decimal number.
    static DWORD ParseColor(const char* value);
    static RECT ParseRect(const char* value);
    static bool ParseBool(const char* value) { return value && std::string(value) == "true"; }

protected:
    CPaintManagerUI* m_pManager = nullptr;
    CControlUI* m_pParent = nullptr;
    CDuiString m_sVirtualWnd;
    CDuiString m_sName;
    bool m_bUpdateNeeded = true;
    bool m_bMenuUsed = false;
    RECT m_rcItem;
    RECT m_rcPadding;
    SIZE m_cXY;
    SIZE m_cxyFixed;
    SIZE m_cxyMin;
    SIZE m_cxyMax;
    bool m_bVisible = true;
    bool m_bInternVisible = true;
    bool m_bEnabled = true;
    bool m_bMouseEnabled = true;
    bool m_bKeyboardEnabled = true;
    bool m_bFocused = false;
    bool m_bFloat = false;
    bool m_bSetPos = false;
    bool m_bSetCursor = false;
    CDuiString m_sText;
    CDuiString m_sToolTip;
    CDuiString m_sUserData;
    UINT_PTR m_pTag = 0;
    DWORD m_dwBackColor = 0;
    DWORD m_dwBackColor2 = 0;
    DWORD m_dwBorderColor = 0;
    DWORD m_dwFocusBorderColor = 0;
    int m_nBorderSize = 0;
    SIZE m_cxyBorderRound;
    CDuiString m_sBkImage;
    RECT m_rcPaint;
};

}  // namespace DuiLib
