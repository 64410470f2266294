// Shows windows of the UI library as GTK windows: painted with cairo and Pango, mouse and keyboard input,
// native entries (with input methods) over edit controls while they have the focus. Each GTK window
// carries its window handle as object data "varnet-hwnd", so that a library showing a GTK dialog of its
// own can find the dialog's owner. Init also installs the desktop of the window runtime (attention
// requests and icons, Win32Desktop.h).
#pragma once

#include <functional>

#include "UIBackend.h"

typedef struct _GtkWidget GtkWidget;

namespace DuiLib {

// Opens the display and makes windows created from now on real windows; false (headless stays) when no
// display can be opened. Call on the UI thread, before creating windows.
bool UIBackendGtkInit();

// RunGtkDialog's result when the dialog was dismissed (WM_DISMISS_POPUP, or its owner destroyed).
constexpr int kGtkDialogDismissed = -2000;
// Shows a GTK dialog and runs a nested loop of the window runtime until it answers. A hidden stand-in
// window owned by `owner` carries it (`opened` gets the stand-in, e.g. to put it on a modal stack): the
// stand-in's WM_DISMISS_POPUP, or the owner's destruction, ends the dialog dismissed. Returns the response
// id, or kGtkDialogDismissed. The caller still owns the dialog and destroys it.
int RunGtkDialog(GtkWidget* dialog, HWND owner, const std::function<void(HWND)>& opened = {});

}  // namespace DuiLib
