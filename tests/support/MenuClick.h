// What the tests that choose in a popup menu from inside its loop share: a task run from the UI loop (inside
// whatever nested loop runs when its message comes) and a click on an item of the menu that runs.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "UIMenu.h"
#include "Win32Window.h"

namespace menutest {

// Runs fn when its message WM_USER + 1 comes.
struct LoopTask : CWin32Window {
    std::function<void()> fn;
    LRESULT HandleMessage(UINT msg, WPARAM, LPARAM) override {
        if (msg == WM_USER + 1 && fn) fn();
        return 0;
    }
};

// Item `index` of the menu whose window is `menu`; null (a failure) when there is none.
inline DuiLib::CControlUI* MenuItem(HWND menu, int index) {
    auto* m = dynamic_cast<DuiLib::CZqMenuUI*>(DuiLib::CWindowWnd::FromHandle(menu));
    EXPECT_NE(nullptr, m) << "no menu";
    DuiLib::CControlUI* item =
        m ? m->GetMenuManager()->FindControl(("menuitem_" + std::to_string(index)).c_str()) : nullptr;
    EXPECT_NE(nullptr, item) << "no item " << index;
    return item;
}

// Clicks item `index` of the menu whose window is `menu`, as the menu's notification of the click.
inline void ChooseMenuItem(HWND menu, int index) {
    DuiLib::TNotifyUI click;
    click.sType = DUI_MSGTYPE_CLICK;
    click.pSender = MenuItem(menu, index);
    if (click.pSender) dynamic_cast<DuiLib::CZqMenuUI*>(DuiLib::CWindowWnd::FromHandle(menu))->Notify(click);
}

}  // namespace menutest
