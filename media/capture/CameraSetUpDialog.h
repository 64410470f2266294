// The camera's settings dialog (GTK): one row per setting of the device - a slider, a check box or a list -
// each change applied to the device at once. Its widgets are named "camera-control-<id>".
//
// Threads: the UI thread (the thread that runs GTK), while the camera is open; EndSetUpDialog from any.
#pragma once

#include <memory>

#pragma GCC visibility push(default)

namespace capture {

class CameraSource;

// The dialog (a GtkWidget*), not yet shown, owned by the window whose handle is `owner` (the GTK window
// carrying it as "varnet-hwnd"; null for none); null when no display is open. `source` must outlive it.
void* CreateSetUpDialog(CameraSource& source, void* owner);
// Shows the dialog at (30, 30) from its owner's corner and waits until it is closed; false when no display
// is open.
bool RunSetUpDialog(CameraSource& source, void* owner);
// Ends the dialogs RunSetUpDialog runs for `source` (they return soon after). Any thread: the dialogs and
// their list belong to the UI thread, so from another thread (a publisher closes its camera on its
// session thread) the close is handed to the UI thread's main loop.
void EndSetUpDialog(const std::shared_ptr<CameraSource>& source);

}  // namespace capture

#pragma GCC visibility pop
