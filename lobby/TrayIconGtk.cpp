// The desktop hosts of the tray icons. Where the session bus has a StatusNotifierItem watcher, one
// application indicator per icon: the desktop shows its menu, whose choices are posted to the icon's window
// (kTrayMenuShow, kTrayMenuQuit). Elsewhere one GtkStatusIcon per icon (a legacy tray shows it): a double
// click and the menu button post the icon's callback message; the window pops its own menu at the cursor.
#include <dlfcn.h>
#include <gtk/gtk.h>
#include <glib/gstdio.h>
#include <libayatana-appindicator/app-indicator.h>
#include <unistd.h>

#include <map>
#include <string>
#include <utility>

#include "TrayIcon.h"
#include "Win32.h"
#include "ZqLib.h"

#include <gdk/gdkx.h>  // after the program's headers: Xlib's macros

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// The indicator library (and the menu libraries it brings) is opened only where the desktop has a watcher
// for indicators; nullptr when it cannot be. Its functions are looked up there when first called.
void* IndicatorLibrary() {
    static void* lib = dlopen("libayatana-appindicator3.so.1", RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

void* IndicatorSymbol(const char* name) {
    void* lib = IndicatorLibrary();
    return lib ? dlsym(lib, name) : nullptr;
}

}  // namespace

#define VARNET_INDICATOR_CALL(name)                                                           \
    ([] {                                                                                     \
        static const auto call = reinterpret_cast<decltype(&::name)>(IndicatorSymbol(#name)); \
        return call;                                                                          \
    }())
#define app_indicator_new VARNET_INDICATOR_CALL(app_indicator_new)
#define app_indicator_set_menu VARNET_INDICATOR_CALL(app_indicator_set_menu)
#define app_indicator_set_secondary_activate_target VARNET_INDICATOR_CALL(app_indicator_set_secondary_activate_target)
#define app_indicator_set_status VARNET_INDICATOR_CALL(app_indicator_set_status)
#define app_indicator_set_title VARNET_INDICATOR_CALL(app_indicator_set_title)

namespace {

struct Icon {
    GtkStatusIcon* icon = nullptr;  // made when the loop is idle (a shown window draws first)
    HWND hWnd = nullptr;
    UINT id = 0;
    UINT callback = 0;
    GdkPixbuf* picture = nullptr;
    std::string tip;  // GBK
    guint idle = 0;
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
        auto* i = new Icon{nullptr, d.hWnd, d.uID, d.uCallbackMessage, Pixbuf(d.hIcon), d.szTip, 0};
        i->idle = g_idle_add_full(G_PRIORITY_LOW, Show, i, nullptr);
        m_icons[{d.hWnd, d.uID}] = i;
        return true;
    }
    bool Delete(HWND hWnd, UINT id) override {
        auto it = m_icons.find({hWnd, id});
        if (it == m_icons.end()) return false;
        Icon* i = it->second;
        m_icons.erase(it);
        if (i->idle) g_source_remove(i->idle);
        if (i->icon) {
            g_signal_handlers_disconnect_by_data(i->icon, i);
            gtk_status_icon_set_visible(i->icon, FALSE);
            g_object_unref(i->icon);
        }
        if (i->picture) g_object_unref(i->picture);
        delete i;
        return true;
    }
    bool GetRect(HWND hWnd, UINT id, DuiLib::RECT& rc) override {
        auto it = m_icons.find({hWnd, id});
        GdkRectangle area;
        if (it == m_icons.end() || !it->second->icon ||
            !gtk_status_icon_get_geometry(it->second->icon, nullptr, &area, nullptr))
            return false;
        rc = {area.x, area.y, area.x + area.width, area.y + area.height};
        return true;
    }

private:
    // The status icon itself, made once the loop has nothing else to do.
    static gboolean Show(gpointer data) {
        auto* i = static_cast<Icon*>(data);
        i->idle = 0;
        i->icon = i->picture ? gtk_status_icon_new_from_pixbuf(i->picture)
                             : gtk_status_icon_new_from_icon_name("video-display");
        std::string tip = Charset::GbkToUtf8(i->tip);
        gtk_status_icon_set_tooltip_text(i->icon, tip.c_str());
        gtk_status_icon_set_title(i->icon, tip.c_str());
        g_signal_connect(i->icon, "button-press-event", G_CALLBACK(OnButtonPress), i);
        g_signal_connect(i->icon, "popup-menu", G_CALLBACK(OnPopupMenu), i);
        gtk_status_icon_set_visible(i->icon, TRUE);
        return G_SOURCE_REMOVE;
    }

    std::map<std::pair<HWND, UINT>, Icon*> m_icons;
};

struct Indicator {
    AppIndicator* indicator = nullptr;
    GtkWidget* menu = nullptr;
    HWND hWnd = nullptr;
    UINT id = 0;
    UINT callback = 0;
    std::string iconFile;
};

void PostChoice(GtkMenuItem* item, gpointer data) {
    auto* i = static_cast<Indicator*>(data);
    UINT choice = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "varnet-choice"));
    ::PostMessage(i->hWnd, i->callback, i->id, choice);
}

class CIndicatorTrayHost : public ITrayHost {
public:
    ~CIndicatorTrayHost() override {
        if (!m_dir.empty()) g_rmdir(m_dir.c_str());
    }
    bool Add(const NOTIFYICONDATAA& d) override {
        auto* i = new Indicator{nullptr, nullptr, d.hWnd, d.uID, d.uCallbackMessage, {}};
        i->iconFile = WriteIcon(d.hIcon, d.uID, d.hWnd);
        std::string tip = Charset::GbkToUtf8(d.szTip);
        std::string key = "varnet-" + std::to_string((long)getpid()) + "-" + std::to_string(++m_next);
        i->indicator = app_indicator_new(key.c_str(), i->iconFile.empty() ? "video-display" : i->iconFile.c_str(),
                                         APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
        app_indicator_set_title(i->indicator, tip.c_str());
        i->menu = gtk_menu_new();
        g_object_ref_sink(i->menu);
        GtkWidget* show = nullptr;
        for (auto [text, choice] :
             {std::pair<const char*, UINT>{"显示主窗口", kTrayMenuShow}, {"退出", kTrayMenuQuit}}) {
            GtkWidget* item = gtk_menu_item_new_with_label(Charset::GbkToUtf8(text).c_str());
            g_object_set_data(G_OBJECT(item), "varnet-choice", GUINT_TO_POINTER(choice));
            g_signal_connect(item, "activate", G_CALLBACK(PostChoice), i);
            gtk_menu_shell_append(GTK_MENU_SHELL(i->menu), item);
            if (!show) show = item;
        }
        gtk_widget_show_all(i->menu);
        app_indicator_set_menu(i->indicator, GTK_MENU(i->menu));
        app_indicator_set_secondary_activate_target(i->indicator, show);  // a middle click shows the window
        app_indicator_set_status(i->indicator, APP_INDICATOR_STATUS_ACTIVE);
        m_icons[{d.hWnd, d.uID}] = i;
        return true;
    }
    bool Delete(HWND hWnd, UINT id) override {
        auto it = m_icons.find({hWnd, id});
        if (it == m_icons.end()) return false;
        Indicator* i = it->second;
        m_icons.erase(it);
        app_indicator_set_status(i->indicator, APP_INDICATOR_STATUS_PASSIVE);
        g_object_unref(i->indicator);
        gtk_widget_destroy(i->menu);
        g_object_unref(i->menu);
        if (!i->iconFile.empty()) g_unlink(i->iconFile.c_str());
        delete i;
        return true;
    }

private:
    // The indicator names its picture by a file: the icon's PNG in a private folder; empty when it has none.
    std::string WriteIcon(HICON icon, UINT id, HWND hWnd) {
        size_t size = 0;
        const unsigned char* png = IconImage(icon, &size);
        if (!png) return "";
        if (m_dir.empty()) {
            gchar* dir = g_dir_make_tmp("varnet-tray-XXXXXX", nullptr);
            if (!dir) return "";
            m_dir = dir;
            g_free(dir);
        }
        std::string file = m_dir + "/icon-" + std::to_string((uintptr_t)hWnd) + "-" + std::to_string(id) + ".png";
        if (!g_file_set_contents(file.c_str(), reinterpret_cast<const gchar*>(png), (gssize)size, nullptr)) return "";
        return file;
    }

    std::map<std::pair<HWND, UINT>, Indicator*> m_icons;
    std::string m_dir;
    unsigned m_next = 0;
};

bool HasStatusNotifierWatcher() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* r =
        g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "NameHasOwner", g_variant_new("(s)", "org.kde.StatusNotifierWatcher"),
                                    G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    gboolean has = FALSE;
    if (r) {
        g_variant_get(r, "(b)", &has);
        g_variant_unref(r);
    }
    g_object_unref(bus);
    return has;
}

bool HasLegacyTray() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display)) return false;
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x));
    return XGetSelectionOwner(x, XInternAtom(x, name.c_str(), False)) != None;
}

}  // namespace

DesktopTray FindDesktopTray() {
    if (HasStatusNotifierWatcher()) return DesktopTray::StatusNotifier;
    return HasLegacyTray() ? DesktopTray::Legacy : DesktopTray::NoTray;
}

DesktopTray EnableDesktopTray() {
    DesktopTray tray = FindDesktopTray();
    if (tray == DesktopTray::StatusNotifier && IndicatorLibrary()) {
        static CIndicatorTrayHost indicators;
        SetTrayHost(&indicators);
    } else {
        static CGtkTrayHost icons;  // also where no tray is there yet: a legacy tray started later shows it
        SetTrayHost(&icons);
    }
    return tray;
}
