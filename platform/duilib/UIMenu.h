// A modal popup menu: items with text, id, check mark and disabled state, separators, and submenus.
#pragma once

#include <vector>

#include "UIContainer.h"
#include "UIWindow.h"

namespace DuiLib {

struct ZqMenuItem {
    ZqMenuItem() : bSeparator(true) {}
    ZqMenuItem(const CDuiString& text, int id, bool checked = false, bool disabled = false, const CDuiString& icon = "",
               const CDuiString& hotIcon = "", const CDuiString& extra = "", CControlUI* control = nullptr)
        : sText(text),
          nID(id),
          bChecked(checked),
          bDisabled(disabled),
          sIcon(icon),
          sHotIcon(hotIcon),
          sExtra(extra),
          pControl(control) {}
    CDuiString sText;
    int nID = 0;
    bool bChecked = false;
    bool bDisabled = false;
    CDuiString sIcon;
    CDuiString sHotIcon;
    CDuiString sExtra;
    CControlUI* pControl = nullptr;
    bool bSeparator = false;
    // Non-empty: the item opens these as a submenu beside it (its own id is never chosen).
    std::vector<ZqMenuItem> vSubItems;
};

// Where a popup of `size` goes for its field (a screen rectangle; a point is an empty one) inside the work
// area: under the field when it fits there, else above it (aboveFirst: above, else under), else on the side
// with more room when that holds minHeight (the popup is cut to it and scrolls), else as much of it as the
// work area holds at its bottom. From the field's left edge, else ending at its right edge; shifted inside.
RECT PlacePopup(const RECT& field, SIZE size, const RECT& workArea, bool aboveFirst, int minHeight);

// Items are controls named "menuitem_<index>"; Escape, a click outside or losing the focus choose nothing.
// The popup is as wide as its widest item and stays inside the work area of its field's monitor
// (PlacePopup); a list taller than the room it gets scrolls (wheel, Up/Down with Enter choosing).
// Clicking an item with sub-items opens them in a menu of its own beside the item; its choice is this menu's
// choice, Escape there returns to this menu, and losing the focus there closes both.
class CZqMenuUI : public CWindowWnd, public INotifyUI, public IMessageFilterUI {
public:
    enum { kNone = -1, kDismissed = -2 };
    CZqMenuUI();
    ~CZqMenuUI() override;
    void SetMenuItem(const std::vector<ZqMenuItem>& items);
    // Creates the (hidden) popup with its top-left corner at the screen point pt (where it fits).
    HWND CreateMenu(CPoint pt, HWND hOwner, int nReserved1 = 0, int nReserved2 = 0);
    // Creates the (hidden) popup for the field it belongs to (a screen rectangle: a button, a box, a row):
    // under it, or above it (aboveFirst: the other way round), as PlacePopup says.
    HWND CreateMenuFor(const RECT& field, HWND hOwner, bool aboveFirst = false);
    // Before creating: the popup is at least this wide (a list as wide as its box).
    void SetMinWidth(int width) { m_minWidth = width; }
    // Shows the popup and waits: the chosen id, -1 for none, -2 when WM_DISMISS_POPUP arrived.
    int PopupMenuNoCreate();
    CPaintManagerUI* GetMenuManager() { return &m_pm; }
    // The submenu open now, or nullptr.
    CZqMenuUI* GetSubMenu() const { return m_pSub; }
    const char* GetWindowClassName() const override { return "ZqMenuWnd"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void Notify(TNotifyUI& msg) override;
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

    static constexpr int kItemHeight = 28;
    static constexpr int kSeparatorHeight = 9;
    static constexpr int kWidth = 140;
    static constexpr int kArrowWidth = 18;  // a submenu's mark

protected:
    CPaintManagerUI* GetPaintManager() override { return &m_pm; }
    void Finish(int result);
    void Place(const RECT& field, bool aboveFirst);
    void MoveCurrent(int step);
    void OpenSubMenu(size_t index);
    CPaintManagerUI m_pm;
    std::vector<ZqMenuItem> m_items;
    int m_nResult = kNone;
    bool m_bDone = false;
    bool m_bActive = false;
    int m_minWidth = 0;
    int m_current = -1;  // index in m_items of the item chosen by keys
    CVerticalLayoutUI* m_root = nullptr;
    bool m_bEscaped = false;
    bool m_bSubmenu = false;
    CZqMenuUI* m_pSub = nullptr;
};

}  // namespace DuiLib
