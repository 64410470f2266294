// Shows windows of the UI library as GTK windows: painted with cairo and Pango, mouse and keyboard input,
// native entries (with input methods) over edit controls while they have the focus. Each GTK window
// carries its window handle as object data "varnet-hwnd", so that a library showing a GTK dialog of its
// own can find the dialog's owner. Init also installs the desktop of the window runtime (attention
// requests and icons, Win32Desktop.h).
#pragma once

#include "UIBackend.h"

namespace DuiLib {

// Opens the display and makes windows created from now on real windows; false (headless stays) when no
// display can be opened. Call on the UI thread, before creating windows.
bool UIBackendGtkInit();

// Object data on a native widget placed with PlaceNativeWidget: non-null while the widget paints every pixel
// of its rectangle, so that the window does not paint what it covers.
constexpr const char* kOpaqueWidgetData = "duilib-opaque";

}  // namespace DuiLib
