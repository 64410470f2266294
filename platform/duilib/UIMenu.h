// A modal popup menu: items with text, id, check mark and disabled state, separators, and submenus.
#pragma once

#include <vector>

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

// Items are controls named "menuitem_<index>"; Escape, a click outside or losing the focus choose nothing.
// Clicking an item with sub-items opens them in a menu of its own beside the item; its choice is this menu's
// choice, Escape there returns to this menu, and losing the focus there closes both.
class CZqMenuUI : public CWindowWnd, public INotifyUI, public IMessageFilterUI {
public:
    enum { kNone = -1, kDismissed = -2 };
    CZqMenuUI();
    ~CZqMenuUI() override;
    void SetMenuItem(const std::vector<ZqMenuItem>& items);
    // Creates the (hidden) popup with its top-left corner at the screen point pt.
    HWND CreateMenu(CPoint pt, HWND hOwner, int nReserved1 = 0, int nReserved2 = 0);
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

protected:
    CPaintManagerUI* GetPaintManager() override { return &m_pm; }
    void Finish(int result);
    void OpenSubMenu(size_t index);
    CPaintManagerUI m_pm;
    std::vector<ZqMenuItem> m_items;
    int m_nResult = kNone;
    bool m_bDone = false;
    bool m_bActive = false;
    bool m_bEscaped = false;
    bool m_bSubmenu = false;
    CZqMenuUI* m_pSub = nullptr;
};

}  // namespace DuiLib
