// GTK's own dialogs (a font or file chooser) run in a nested loop of the window runtime, carried by a stand-in
// window of ours so that the loop ends with the window that owns it. UI thread only.
#pragma once

#include <functional>

#include "UIDefine.h"

typedef struct _GtkWidget GtkWidget;

namespace DuiLib {

// RunGtkDialog's result when the dialog was dismissed (WM_DISMISS_POPUP, or its owner destroyed).
constexpr int kGtkDialogDismissed = -2000;
// Shows a GTK dialog and runs a nested loop of the window runtime until it answers. A hidden stand-in
// window owned by `owner` carries it (`opened` gets the stand-in, e.g. to put it on a modal stack): the
// stand-in's WM_DISMISS_POPUP, or the owner's destruction, ends the dialog dismissed. Returns the response
// id, or kGtkDialogDismissed. The caller still owns the dialog and destroys it.
int RunGtkDialog(GtkWidget* dialog, HWND owner, const std::function<void(HWND)>& opened = {});

}  // namespace DuiLib
