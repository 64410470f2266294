// Shows windows of the UI library as GTK windows: painted with cairo and Pango, mouse and keyboard input,
// native entries (with input methods) over edit controls while they have the focus.
#pragma once

#include "UIBackend.h"

namespace DuiLib {

// Opens the display and makes windows created from now on real windows; false (headless stays) when no
// display can be opened. Call on the UI thread, before creating windows.
bool UIBackendGtkInit();

}  // namespace DuiLib
