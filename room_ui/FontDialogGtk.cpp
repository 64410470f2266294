#include "FontDialogGtk.h"

#include <gtk/gtk.h>

#include "UIGtkDialog.h"
#include "UIRender.h"

namespace roomui {

int CGtkFontDialog::Choose(HWND owner, FontChoice& io, FontDialogSession& session) {
    if (!gdk_display_get_default()) return 0;
    GtkWidget* top = m_widget ? gtk_widget_get_toplevel(GTK_WIDGET(m_widget)) : nullptr;
    GtkWidget* dlg = gtk_font_chooser_dialog_new(DuiLib::GbkToUtf8("字体").c_str(),
                                                 top && GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
    gtk_window_set_modal(GTK_WINDOW(dlg), TRUE);
    char desc[160];
    snprintf(desc, sizeof(desc), "%s%s%s %d", DuiLib::GbkToUtf8(io.face).c_str(), io.weight > 699 ? " Bold" : "",
             io.italic ? " Italic" : "", io.pointTenths / 10);
    gtk_font_chooser_set_font(GTK_FONT_CHOOSER(dlg), desc);

    int response = DuiLib::RunGtkDialog(dlg, owner, [&session](HWND standIn) { session.Opened(standIn); });
    if (response == DuiLib::kGtkDialogDismissed) session.Dismiss();
    int result = 0;
    if (response == GTK_RESPONSE_OK && !session.Dismissed()) {
        if (PangoFontDescription* fd = gtk_font_chooser_get_font_desc(GTK_FONT_CHOOSER(dlg))) {
            if (const char* family = pango_font_description_get_family(fd)) io.face = DuiLib::Utf8ToGbk(family);
            io.pointTenths = pango_font_description_get_size(fd) * 10 / PANGO_SCALE;
            io.weight = pango_font_description_get_weight(fd);
            io.italic = pango_font_description_get_style(fd) != PANGO_STYLE_NORMAL;
            pango_font_description_free(fd);
            result = 1;
        }
    }
    gtk_widget_destroy(dlg);
    return result;
}

}  // namespace roomui
