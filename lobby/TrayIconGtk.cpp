// The desktop host of the tray icons: one GtkStatusIcon per icon. A double click and the menu button post
// the icon's callback message to its window; the window pops its own menu at the cursor.
#include <gtk/gtk.h>

#include <map>
#include <utility>

#include "TrayIcon.h"
#include "Win32.h"
#include "ZqLib.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

struct Icon {
    GtkStatusIcon* icon = nullptr;
    HWND hWnd = nullptr;
    UINT id = 0;
    UINT callback = 0;
};

gboolean OnButtonPress(GtkStatusIcon*, GdkEventButton* e, gpointer data) {
    auto* i = static_cast<Icon*>(data);
    if (e->type == GDK_2BUTTON_PRESS && e->button == 1) ::PostMessage(i->hWnd, i->callback, i->id, WM_LBUTTONDBLCLK);
    return FALSE;
}

void OnPopupMenu(GtkStatusIcon*, guint, guint, gpointer data) {
    auto* i = static_cast<Icon*>(data);
    ::PostMessage(i->hWnd, i->callback, i->id, WM_RBUTTONDOWN);
}

GdkPixbuf* Pixbuf(HICON icon) {
    size_t size = 0;
    const unsigned char* png = IconImage(icon, &size);
    if (!png) return nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GdkPixbuf* pb = nullptr;
    if (gdk_pixbuf_loader_write(loader, png, size, nullptr) && gdk_pixbuf_loader_close(loader, nullptr))
        pb = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pb) g_object_ref(pb);
    g_object_unref(loader);
    return pb;
}

class CGtkTrayHost : public ITrayHost {
public:
    bool Add(const NOTIFYICONDATAA& d) override {
        auto* i = new Icon{nullptr, d.hWnd, d.uID, d.uCallbackMessage};
        GdkPixbuf* pb = Pixbuf(d.hIcon);
        i->icon = pb ? gtk_status_icon_new_from_pixbuf(pb) : gtk_status_icon_new_from_icon_name("video-display");
        if (pb) g_object_unref(pb);
        std::string tip = Charset::GbkToUtf8(d.szTip);
        gtk_status_icon_set_tooltip_text(i->icon, tip.c_str());
        gtk_status_icon_set_title(i->icon, tip.c_str());
        g_signal_connect(i->icon, "button-press-event", G_CALLBACK(OnButtonPress), i);
        g_signal_connect(i->icon, "popup-menu", G_CALLBACK(OnPopupMenu), i);
        gtk_status_icon_set_visible(i->icon, TRUE);
        m_icons[{d.hWnd, d.uID}] = i;
        return true;
    }
    bool Delete(HWND hWnd, UINT id) override {
        auto it = m_icons.find({hWnd, id});
        if (it == m_icons.end()) return false;
        Icon* i = it->second;
        m_icons.erase(it);
        g_signal_handlers_disconnect_by_data(i->icon, i);
        gtk_status_icon_set_visible(i->icon, FALSE);
        g_object_unref(i->icon);
        delete i;
        return true;
    }

private:
    std::map<std::pair<HWND, UINT>, Icon*> m_icons;
};

}  // namespace

void EnableDesktopTray() {
    static CGtkTrayHost host;
    SetTrayHost(&host);
}
