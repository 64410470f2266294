// The font dialog of the chat input on the desktop: a GTK font chooser run in a nested loop of the UI
// thread (RunGtkDialog). Its stand-in window is owned by the input's window and goes on the room's modal
// stack, so WM_DISMISS_POPUP or the window's destruction ends it.
// UI thread only.
#pragma once

#include "RichEditCtrlEx.h"

namespace roomui {

class CGtkFontDialog : public IFontDialog {
public:
    // widget: a widget of the input (its top-level window owns the dialog); may be null.
    explicit CGtkFontDialog(void* widget) : m_widget(widget) {}
    // 0 without a display.
    int Choose(HWND owner, FontChoice& io, FontDialogSession& session) override;

private:
    void* m_widget;
};

}  // namespace roomui
