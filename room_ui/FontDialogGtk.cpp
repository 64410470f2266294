#include "FontDialogGtk.h"

#include <gtk/gtk.h>

#include "UIRender.h"
#include "UIWindow.h"

namespace roomui {

namespace {
// Stands for the dialog on the modal stack.
class DialogProxy : public DuiLib::CWindowWnd {
public:
    const char* GetWindowClassName() const override { return "VarnetFontDialogProxy"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_DISMISS_POPUP) {
            if (session) session->Dismiss();
            if (dialog) gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
            return 0;
        }
        return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
    }
    FontDialogSession* session = nullptr;
    GtkWidget* dialog = nullptr;
};

struct RunState {
    ::CModalLoop loop;
    int response = GTK_RESPONSE_CANCEL;
};

void OnResponse(GtkDialog*, int response, gpointer p) {
    auto* st = static_cast<RunState*>(p);
    st->response = response;
    st->loop.End(0);
}
}  // namespace

int CGtkFontDialog::Choose(HWND, FontChoice& io, FontDialogSession& session) {
    if (!gdk_display_get_default()) return 0;
    GtkWidget* top = m_widget ? gtk_widget_get_toplevel(GTK_WIDGET(m_widget)) : nullptr;
    GtkWidget* dlg = gtk_font_chooser_dialog_new(DuiLib::GbkToUtf8("字体").c_str(),
                                                 top && GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
    gtk_window_set_modal(GTK_WINDOW(dlg), TRUE);
    char desc[160];
    snprintf(desc, sizeof(desc), "%s%s%s %d", DuiLib::GbkToUtf8(io.face).c_str(), io.weight > 699 ? " Bold" : "",
             io.italic ? " Italic" : "", io.pointTenths / 10);
    gtk_font_chooser_set_font(GTK_FONT_CHOOSER(dlg), desc);

    DialogProxy proxy;
    proxy.session = &session;
    proxy.dialog = dlg;
    proxy.Create(nullptr, "", 0, 0, 0, 0, 0, 0);
    session.Opened(proxy.GetHWND());
    RunState st;
    g_signal_connect(dlg, "response", G_CALLBACK(OnResponse), &st);
    gtk_widget_show_all(dlg);
    st.loop.Run();
    int result = 0;
    if (st.response == GTK_RESPONSE_OK && !session.Dismissed()) {
        if (PangoFontDescription* fd = gtk_font_chooser_get_font_desc(GTK_FONT_CHOOSER(dlg))) {
            if (const char* family = pango_font_description_get_family(fd)) io.face = DuiLib::Utf8ToGbk(family);
            io.pointTenths = pango_font_description_get_size(fd) * 10 / PANGO_SCALE;
            io.weight = pango_font_description_get_weight(fd);
            io.italic = pango_font_description_get_style(fd) != PANGO_STYLE_NORMAL;
            pango_font_description_free(fd);
            result = 1;
        }
    }
    g_signal_handlers_disconnect_by_data(dlg, &st);
    gtk_widget_destroy(dlg);
    proxy.session = nullptr;
    proxy.dialog = nullptr;
    ::DestroyWindow(proxy.GetHWND());
    return result;
}

}  // namespace roomui
