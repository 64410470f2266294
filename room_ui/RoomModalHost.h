// What the room window's inputs and pickers need of the room window: its modal-window stack (newest last)
// and the own chat view for tips. The room window implements it. UI thread only.
#pragma once

#include <string>

#include "Win32Types.h"

namespace roomui {

class IRoomModalHost {
public:
    virtual ~IRoomModalHost() = default;
    virtual void PushModalWnd(HWND hwnd) = 0;
    virtual void PopModalWnd(HWND hwnd) = 0;
    virtual HWND TopModalWnd() = 0;
    virtual int GetModalWndCount() = 0;
    // Goes on with a modal cancel that ended one of our loops: WM_DISMISS_POPUP to the top modal window,
    // or closing the room when the stack is empty.
    virtual void ContinueModalCancel() = 0;
    // Appends a line (GBK HTML) to the own chat view (view 0).
    virtual void AppendOwnViewHtml(const std::string& html) = 0;
    // Gift effects off (true) or on.
    virtual void ShieldFlash(bool shield) { (void)shield; }
};

}  // namespace roomui
