// Lists and combo boxes with their label and container elements.
#pragma once

#include "UIControls.h"

namespace DuiLib {

class IListOwnerUI {
public:
    virtual ~IListOwnerUI() = default;
    virtual int GetCurSel() const = 0;
    virtual bool SelectItem(int iIndex, bool bTakeFocus = false) = 0;
    virtual void DoEvent(TEventUI& event) = 0;
    virtual DWORD GetItemTextColor() const = 0;
    virtual DWORD GetSelectedItemBkColor() const = 0;
    virtual DWORD GetHotItemBkColor() const = 0;
    virtual int GetItemFont() const = 0;
    // The index of `item`: `hint` (the index it last had) while that is right, else looked up (owners whose
    // items' indexes are kept lazily); -1 when the item is not the owner's.
    virtual int ItemIndex(const CControlUI* item, int hint) const {
        (void)item;
        return hint;
    }
};

class IListItemUI {
public:
    virtual ~IListItemUI() = default;
    virtual int GetIndex() const = 0;
    virtual void SetIndex(int iIndex) = 0;
    virtual IListOwnerUI* GetOwner() = 0;
    virtual void SetOwner(CControlUI* pOwner) = 0;
    virtual bool IsSelected() const = 0;
    virtual bool Select(bool bSelect = true) = 0;
};

// Common state and behaviour of list elements (mixed into the label and container elements).
class CListElementState {
protected:
    void SetElementOwner(CControlUI* pOwner);
    bool SelectElement(CControlUI* self, bool bSelect);
    bool ActivateElement(CControlUI* self);
    // Handles what every list element does with an event; false when the element's base class should.
    bool DoElementEvent(CControlUI* self, IListItemUI* item, TEventUI& event);
    // The background of the element's state: selected, hot, else `normal`.
    DWORD ElementBkColor(DWORD normal) const;
    int CurrentIndex(const CControlUI* self) const { return m_pOwner ? m_pOwner->ItemIndex(self, m_iIndex) : m_iIndex; }

    int m_iIndex = -1;
    bool m_bSelected = false;
    UINT m_uButtonState = 0;
    IListOwnerUI* m_pOwner = nullptr;
};

class CListLabelElementUI : public CLabelUI, public IListItemUI, protected CListElementState {
public:
    const char* GetClass() const override { return "ListLabelElementUI"; }
    void* GetInterface(const char* pstrName) override;
    UINT GetControlFlags() const override { return UIFLAG_WANTRETURN; }
    int GetIndex() const override { return CurrentIndex(this); }
    void SetIndex(int iIndex) override { m_iIndex = iIndex; }
    IListOwnerUI* GetOwner() override { return m_pOwner; }
    void SetOwner(CControlUI* pOwner) override;
    bool IsSelected() const override { return m_bSelected; }
    bool Select(bool bSelect = true) override;
    bool Activate() override;
    void DoEvent(TEventUI& event) override;
    SIZE EstimateSize(SIZE szAvailable) override;
    void PaintBkColor(HDC hDC) override;
};

// A row of a list that holds other controls; a button-down sends "itemclick".
class CListContainerElementUI : public CHorizontalLayoutUI, public IListItemUI, protected CListElementState {
public:
    const char* GetClass() const override { return "ListContainerElementUI"; }
    void* GetInterface(const char* pstrName) override;
    UINT GetControlFlags() const override { return UIFLAG_WANTRETURN; }
    int GetIndex() const override { return CurrentIndex(this); }
    void SetIndex(int iIndex) override { m_iIndex = iIndex; }
    IListOwnerUI* GetOwner() override { return m_pOwner; }
    void SetOwner(CControlUI* pOwner) override;
    bool IsSelected() const override { return m_bSelected; }
    bool Select(bool bSelect = true) override;
    bool Activate() override;
    void DoEvent(TEventUI& event) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    // A row outside the list's visible part is only placed: its contents are laid out when it is shown.
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
};

class CListUI : public CVerticalLayoutUI, public IListOwnerUI {
public:
    CListUI();
    const char* GetClass() const override { return "ListUI"; }
    void* GetInterface(const char* pstrName) override;
    UINT GetControlFlags() const override { return IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0; }
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    bool RemoveAt(int iIndex, bool bDoNotDestroy = false) override;
    void RemoveAll() override;
    bool SetItemIndex(CControlUI* pControl, int iIndex) override;
    int GetItemIndex(CControlUI* pControl) const override;
    int GetCurSel() const override { return m_iCurSel; }
    bool SelectItem(int iIndex, bool bTakeFocus = false) override;
    void DoEvent(TEventUI& event) override;
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
    int ItemIndex(const CControlUI* item, int hint) const override;
    DWORD GetItemTextColor() const override { return m_dwItemTextColor; }
    DWORD GetSelectedItemBkColor() const override { return m_dwSelectedBkColor; }
    DWORD GetHotItemBkColor() const override { return m_dwHotBkColor; }
    int GetItemFont() const override { return m_iItemFont; }
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    bool IsItemShowHtml() const { return m_bItemShowHtml; }
    void SetItemShowHtml(bool b = true) { m_bItemShowHtml = b; }
    // Rows of one height (every item visible, not floating): the rows' places are computed from their
    // indexes, and only the rows in the visible part are laid out, painted and hit; the others are placed
    // outside it. The items' own heights and vertical paddings are not consulted. 0: the general layout.
    void SetRowHeight(int cy);
    int GetRowHeight() const { return m_iRowHeight; }
    // The rows laid out in the visible part, in index order (row height set; else empty).
    const std::vector<CControlUI*>& GetShownItems() const { return m_shown; }
    // The index of the row under a point of the list's visible part; -1 none.
    int GetItemIndexAt(POINT pt) const;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    CControlUI* FindControl(FINDCONTROLPROC Proc, void* pData, UINT uFlags) override;

protected:
    // Moves the item at `from` to `to` (both valid), keeping the selection on its item.
    void MoveItem(int from, int to);
    int m_iCurSel = -1;
    DWORD m_dwItemTextColor = 0;
    DWORD m_dwSelectedBkColor = 0xFFDCE9F8;
    DWORD m_dwHotBkColor = 0xFFEEF4FB;
    int m_iItemFont = -1;
    bool m_bItemShowHtml = false;

private:
    void PlaceRows();
    int m_iRowHeight = 0;
    std::vector<CControlUI*> m_shown;
};

// A closed combo box shows the selected item's text; the drop-down is a popup menu of the items.
class CComboUI : public CContainerUI, public IListOwnerUI {
public:
    const char* GetClass() const override { return "ComboUI"; }
    void* GetInterface(const char* pstrName) override;
    UINT GetControlFlags() const override { return IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0; }
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    bool RemoveAt(int iIndex, bool bDoNotDestroy = false) override;
    void RemoveAll() override;
    CDuiString GetText() const override;
    int GetCurSel() const override { return m_iCurSel; }
    // -1 clears the selection.
    bool SelectItem(int iIndex, bool bTakeFocus = false) override;
    bool Activate() override;
    void DoEvent(TEventUI& event) override;
    DWORD GetItemTextColor() const override { return m_dwItemTextColor; }
    DWORD GetSelectedItemBkColor() const override { return 0xFFDCE9F8; }
    DWORD GetHotItemBkColor() const override { return 0xFFEEF4FB; }
    int GetItemFont() const override { return m_iItemFont; }
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    void SetAttribute(const char* pstrName, const char* pstrValue) override;
    // Attribute "dropfield": the name of a control beside the combo (the box it fills): the list opens
    // under both together and is at least as wide.
    RECT GetDropField() const;

protected:
    void Reindex();
    int m_iCurSel = -1;
    CDuiString m_sDropField;
    DWORD m_dwItemTextColor = 0;
    DWORD m_dwTextColor = 0;
    int m_iItemFont = -1;
    int m_iFont = -1;
    RECT m_rcTextPadding{6, 0, 20, 0};
    UINT m_uButtonState = 0;
    CDuiString m_sNormalImage, m_sHotImage, m_sPushedImage;
};

}  // namespace DuiLib
