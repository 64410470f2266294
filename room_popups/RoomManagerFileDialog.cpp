// The open-file dialog of the room management dialog on the desktop: pictures only (jpg, jpeg, png, bmp),
// run in a nested loop of the window runtime (RunGtkDialog). No display: no choice.
#include <gtk/gtk.h>

#include <string>

#include "UIGtkDialog.h"
#include "UIRender.h"
#include "Win32.h"

bool RoomManagerChooseImageFile(HWND owner, std::string& gbkPath) {
    if (!gdk_display_get_default()) return false;
    GtkWidget* dlg =
        gtk_file_chooser_dialog_new(DuiLib::GbkToUtf8("选择图片").c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_OPEN,
                                    "_Cancel", GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dlg), TRUE);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Image Files (*.jpg;*.jpeg;*.png;*.bmp)");
    for (const char* p : {"*.jpg", "*.jpeg", "*.png", "*.bmp", "*.JPG", "*.JPEG", "*.PNG", "*.BMP"})
        gtk_file_filter_add_pattern(filter, p);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dlg), filter);
    // Owned by the management dialog: the room closing ends it with nothing chosen.
    int response = DuiLib::RunGtkDialog(dlg, owner);
    bool ok = false;
    if (response == GTK_RESPONSE_ACCEPT) {
        if (char* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dlg))) {
            gbkPath = DuiLib::Utf8ToGbk(file);
            ok = !gbkPath.empty();
            g_free(file);
        }
    }
    gtk_widget_destroy(dlg);
    return ok;
}
