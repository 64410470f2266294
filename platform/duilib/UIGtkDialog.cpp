#include "UIGtkDialog.h"

#include <gtk/gtk.h>

#include "UIWindow.h"

namespace DuiLib {

namespace {
// Stands for a GTK dialog among the windows of the runtime.
class CGtkDialogStandIn : public CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "VarnetGtkDialogStandIn"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if ((uMsg == WM_DISMISS_POPUP || uMsg == WM_DESTROY) && loop) {
            dismissed = true;
            loop->End(kGtkDialogDismissed);
            loop = nullptr;
            if (uMsg == WM_DISMISS_POPUP) return 0;
        }
        return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
    }
    ::CModalLoop* loop = nullptr;
    bool dismissed = false;
};
}  // namespace

int RunGtkDialog(GtkWidget* dialog, HWND owner, const std::function<void(HWND)>& opened) {
    ::AssertUIThread("RunGtkDialog");
    if (!dialog) return GTK_RESPONSE_NONE;
    struct Run {
        ::CModalLoop loop;
        int response = GTK_RESPONSE_NONE;
    } run;
    CGtkDialogStandIn standIn;
    standIn.loop = &run.loop;
    standIn.Create(owner, "", 0, 0, 0, 0, 0, 0);
    gulong id = g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, int response, gpointer p) {
                                     auto* r = static_cast<Run*>(p);
                                     r->response = response;
                                     r->loop.End(0);
                                 }),
                                 &run);
    if (opened) opened(standIn.GetHWND());
    gtk_widget_show_all(dialog);
    int code = standIn.GetHWND() ? run.loop.Run() : kGtkDialogDismissed;
    g_signal_handler_disconnect(dialog, id);
    standIn.loop = nullptr;
    gtk_widget_hide(dialog);
    if (HWND h = standIn.GetHWND()) ::DestroyWindow(h);
    if (standIn.dismissed || code == kGtkDialogDismissed || code == ::CModalLoop::kQuit) return kGtkDialogDismissed;
    return run.response;
}

}  // namespace DuiLib
