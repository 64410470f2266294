// Containers and layouts: plain container, vertical, horizontal, tile and tab layouts, scroll bars.
#pragma once

#include "UIControl.h"

namespace DuiLib {

class CScrollBarUI;

class CContainerUI : public CControlUI {
public:
    CContainerUI();
    ~CContainerUI() override;

    const char* GetClass() const override { return "ContainerUI"; }
    void* GetInterface(const char* pstrName) override;

    virtual CControlUI* GetItemAt(int iIndex) const;
    virtual int GetItemIndex(CControlUI* pControl) const;
    virtual bool SetItemIndex(CControlUI* pControl, int iIndex);
    virtual int GetCount() const { return (int)m_items.size(); }
    virtual bool Add(CControlUI* pControl);
    virtual bool AddAt(CControlUI* pControl, int iIndex);
    // Removes and deletes, unless bDoNotDestroy (or auto-destroy is off).
    virtual bool Remove(CControlUI* pControl, bool bDoNotDestroy = false);
    virtual bool RemoveAt(int iIndex, bool bDoNotDestroy = false);
    virtual void RemoveAll();

    void DoEvent(TEventUI& event) override;
    void SetVisible(bool bVisible = true) override;
    void SetInternVisible(bool bVisible = true) override;
    void SetMouseEnabled(bool bEnable = true) override;

    virtual RECT GetInset() const { return m_rcInset; }
    virtual void SetInset(RECT rcInset);
    virtual int GetChildPadding() const { return m_iChildPadding; }
    virtual void SetChildPadding(int iPadding);
    virtual bool IsAutoDestroy() const { return m_bAutoDestroy; }
    virtual void SetAutoDestroy(bool bAuto) { m_bAutoDestroy = bAuto; }
    virtual bool IsMouseChildEnabled() const { return m_bMouseChildEnabled; }
    virtual void SetMouseChildEnabled(bool bEnable = true) { m_bMouseChildEnabled = bEnable; }

    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
    CControlUI* FindControl(FINDCONTROLPROC Proc, void* pData, UINT uFlags) override;

    // Finds a descendant by name.
    CControlUI* FindSubControl(const char* pstrSubControlName);

    virtual SIZE GetScrollPos() const;
    virtual SIZE GetScrollRange() const;
    virtual void SetScrollPos(SIZE szPos);
    virtual void LineUp();
    virtual void LineDown();
    virtual void EnableScrollBar(bool bEnableVertical = true, bool bEnableHorizontal = false);
    virtual CScrollBarUI* GetVerticalScrollBar() const { return m_pVerticalScrollBar; }
    virtual CScrollBarUI* GetHorizontalScrollBar() const { return m_pHorizontalScrollBar; }

protected:
    virtual void SetFloatPos(int iIndex);
    virtual void ProcessScrollBar(RECT rc, int cxRequired, int cyRequired);

    std::vector<CControlUI*> m_items;
    RECT m_rcInset;
    int m_iChildPadding = 0;
    bool m_bAutoDestroy = true;
    bool m_bDelayedDestroy = true;
    bool m_bMouseChildEnabled = true;
    CScrollBarUI* m_pVerticalScrollBar = nullptr;
    CScrollBarUI* m_pHorizontalScrollBar = nullptr;
};

class CVerticalLayoutUI : public CContainerUI {
public:
    const char* GetClass() const override { return "VerticalLayoutUI"; }
    void* GetInterface(const char* pstrName) override;
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    const char* GetClass() const override { return "HorizontalLayoutUI"; }
    void* GetInterface(const char* pstrName) override;
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
};

class CTileLayoutUI : public CContainerUI {
public:
    const char* GetClass() const override { return "TileLayoutUI"; }
    void* GetInterface(const char* pstrName) override;
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
    SIZE GetItemSize() const { return m_szItem; }
    void SetItemSize(SIZE szItem);
    int GetColumns() const { return m_nColumns; }
    void SetColumns(int nCols);
    void SetAttribute(const char* pstrName, const char* pstrValue) override;

protected:
    SIZE m_szItem;
    int m_nColumns = 1;
};

class CTabLayoutUI : public CContainerUI {
public:
    const char* GetClass() const override { return "TabLayoutUI"; }
    void* GetInterface(const char* pstrName) override;
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    void RemoveAll() override;
    int GetCurSel() const { return m_iCurSel; }
    virtual bool SelectItem(int iIndex);
    virtual bool SelectItem(CControlUI* pControl);
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;

protected:
    int m_iCurSel = -1;
};

class CScrollBarUI : public CControlUI {
public:
    CScrollBarUI();
    const char* GetClass() const override { return "ScrollBarUI"; }
    void* GetInterface(const char* pstrName) override;
    CContainerUI* GetOwner() const { return m_pOwner; }
    void SetOwner(CContainerUI* pOwner) { m_pOwner = pOwner; }
    bool IsHorizontal() const { return m_bHorizontal; }
    void SetHorizontal(bool bHorizontal = true);
    int GetScrollRange() const { return m_nRange; }
    void SetScrollRange(int nRange);
    int GetScrollPos() const { return m_nScrollPos; }
    void SetScrollPos(int nPos);
    int GetLineSize() const { return m_nLineSize; }
    void SetLineSize(int nSize) { m_nLineSize = nSize; }
    RECT GetThumbRect() const;
    void DoEvent(TEventUI& event) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;

protected:
    bool m_bHorizontal = false;
    int m_nRange = 100;
    int m_nScrollPos = 0;
    int m_nLineSize = 8;
    CContainerUI* m_pOwner = nullptr;
    POINT m_ptLastMouse;
    int m_nLastScrollPos = 0;
    bool m_bDragging = false;
    DWORD m_dwThumbColor = 0xFFC4C9D2;
    DWORD m_dwThumbHotColor = 0xFF9AA3B0;
};

}  // namespace DuiLib
