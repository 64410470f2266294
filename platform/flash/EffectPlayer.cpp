#include "EffectPlayer.h"

#include <gtk/gtk.h>

#include <cstdlib>

#include "RichEditView.h"
#include "UIRender.h"
#include "ZqLib.h"

// Last: its macros would reach the headers above.
#include <gdk/gdkx.h>

namespace flash {

namespace {
std::string Invoke(const char* name, const std::vector<std::string>& args) {
    std::string x = std::string("<invoke name=\"") + name + "\" returntype=\"xml\">";
    for (const auto& a : args) x += "<arguments><string>" + XmlEscape(a) + "</string></arguments>";
    return x + "</invoke>";
}
// The top-level window of a window of the library (carrying its handle as "varnet-hwnd").
GtkWidget* WindowOf(HWND hwnd) {
    if (!hwnd) return nullptr;
    GtkWidget* found = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l && !found; l = l->next)
        if (g_object_get_data(G_OBJECT(l->data), "varnet-hwnd") == hwnd) found = GTK_WIDGET(l->data);
    g_list_free(all);
    return found;
}

// The child of the root that holds an X window: its window manager's frame, or the window itself.
::Window RootChildOf(Display* d, ::Window w) {
    for (;;) {
        ::Window root = 0, parent = 0, *kids = nullptr;
        unsigned n = 0;
        if (!XQueryTree(d, w, &root, &parent, &kids, &n)) return 0;
        if (kids) XFree(kids);
        if (!parent || parent == root) return w;
        w = parent;
    }
}
GdkFilterReturn FilterDisplayEvent(GdkXEvent* xevent, GdkEvent*, gpointer self) {
    static_cast<CEffectPlayer*>(self)->OnDisplayEvent(xevent);
    return GDK_FILTER_CONTINUE;
}
}  // namespace

CEffectPlayer::CEffectPlayer() = default;

CEffectPlayer::~CEffectPlayer() {
    if (m_timer) g_source_remove(m_timer);
    if (m_initTimer) g_source_remove(m_initTimer);
    Follow(0);
    if (m_filter) gdk_window_remove_filter(nullptr, FilterDisplayEvent, this);
    if (m_window) {
        gtk_widget_destroy(m_window);
        g_object_unref(m_window);
    }
}

bool CEffectPlayer::Create(const std::string& gbkMoviePath, GiftResolver resolver) {
    if (gbkMoviePath.empty() || !g_file_test(Dir::ToNativePath(gbkMoviePath).c_str(), G_FILE_TEST_IS_REGULAR))
        return false;
    m_resolver = std::move(resolver);
    if (gdk_display_get_default()) {
        m_window = gtk_window_new(GTK_WINDOW_POPUP);
        g_object_ref_sink(m_window);
        gtk_window_set_title(GTK_WINDOW(m_window), "VarnetGiftEffect");
        gtk_window_set_decorated(GTK_WINDOW(m_window), FALSE);
        gtk_window_set_accept_focus(GTK_WINDOW(m_window), FALSE);
        gtk_window_set_skip_taskbar_hint(GTK_WINDOW(m_window), TRUE);
        gtk_widget_set_app_paintable(m_window, TRUE);
        if (GdkVisual* v = gdk_screen_get_rgba_visual(gtk_widget_get_screen(m_window)))
            gtk_widget_set_visual(m_window, v);
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
        gtk_widget_set_valign(box, GTK_ALIGN_CENTER);
        m_image = gtk_image_new();
        m_label = gtk_label_new("");
        // The effect's look belongs to its own widgets, never to the screen's other windows.
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(
            css,
            "window { background: transparent; } label { color: #FFE000; font-size: 18px; font-weight: bold;"
            " text-shadow: 1px 1px 2px #000000; }",
            -1, nullptr);
        for (GtkWidget* w : {m_window, m_label})
            gtk_style_context_add_provider(gtk_widget_get_style_context(w), GTK_STYLE_PROVIDER(css),
                                           GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(css);
        gtk_box_pack_start(GTK_BOX(box), m_image, TRUE, TRUE, 0);
        gtk_box_pack_start(GTK_BOX(box), m_label, FALSE, FALSE, 0);
        gtk_container_add(GTK_CONTAINER(m_window), box);
        gtk_window_set_default_size(GTK_WINDOW(m_window), 800, 460);
        // Click-through from before it is first shown: an empty input region.
        gtk_widget_realize(m_window);
        EmptyInput(m_window);
    }
    m_initTimer = g_timeout_add(0, (GSourceFunc)OnInitTimer, this);
    return true;
}

void CEffectPlayer::Raise(const std::string& request) {
    if (OnRequest) OnRequest(request);
}

int CEffectPlayer::OnInitTimer(void* p) {
    auto* self = static_cast<CEffectPlayer*>(p);
    self->m_initTimer = 0;
    self->Raise(Invoke("GetGift", {"Init"}));
    return G_SOURCE_REMOVE;
}

int CEffectPlayer::OnCloseTimer(void* p) {
    auto* self = static_cast<CEffectPlayer*>(p);
    self->m_timer = 0;
    self->Raise(Invoke("Close", {std::to_string(self->m_gift)}));
    return G_SOURCE_REMOVE;
}

std::string CEffectPlayer::CallFunction(const std::string& xml) {
    std::string name;
    std::vector<std::string> args;
    if (!ParseInvoke(xml, name, args)) return "<false/>";
    if (name == "GetGift" && args.size() == 1) {
        m_catalogue = args[0];
        return "<true/>";
    }
    if (name == "ShowGift" && args.size() == 3) {
        char* end = nullptr;
        unsigned long gift = strtoul(args[0].c_str(), &end, 10);
        int count = atoi(args[2].c_str());
        if (gift == 0 || count <= 0 || args[1].empty()) return "<false/>";
        StartEffect((uint32_t)gift, args[1], count);
        return "<true/>";
    }
    return "<false/>";
}

void CEffectPlayer::StartEffect(uint32_t gift, const std::string& text, int count) {
    m_gift = gift;
    m_text = text;
    GiftLook look = m_resolver ? m_resolver(gift) : GiftLook{};
    m_caption = look.name.empty() ? text : look.name;
    if (m_window) {
        if (GdkPixbufAnimation* a = richedit::LoadAnimation(look.picture)) {
            gtk_image_set_from_animation(GTK_IMAGE(m_image), a);
            g_object_unref(a);
        } else {
            gtk_image_clear(GTK_IMAGE(m_image));
        }
        std::string label = DuiLib::GbkToUtf8(m_caption) + " x" + std::to_string(count);
        gtk_label_set_text(GTK_LABEL(m_label), label.c_str());
    }
    if (m_timer) g_source_remove(m_timer);
    m_timer = g_timeout_add(m_effectMs, (GSourceFunc)OnCloseTimer, this);
    // The effect is on screen now.
    Raise(Invoke("ShowGift", {std::to_string(gift)}));
}

void CEffectPlayer::EmptyInput(GtkWidget* window) {
    cairo_region_t* none = cairo_region_create();
    gtk_widget_input_shape_combine_region(window, none);
    cairo_region_destroy(none);
}

void CEffectPlayer::Show(bool show) {
    if (!m_window) return;
    if (show) {
        Restack();  // below what lies above the owner from the start
        gtk_widget_show_all(m_window);
        Place(m_rc);
        Restack();  // showing raised it
    } else {
        Follow(0);
        gtk_widget_hide(m_window);
    }
}

void CEffectPlayer::Stop() {
    if (m_timer) g_source_remove(m_timer);
    m_timer = 0;
    if (m_image) gtk_image_clear(GTK_IMAGE(m_image));
}

void CEffectPlayer::Place(const RECT& rc) {
    m_rc = rc;
    if (!m_window) return;
    gtk_window_move(GTK_WINDOW(m_window), rc.left, rc.top);
    gtk_window_resize(GTK_WINDOW(m_window), std::max<int>(1, rc.right - rc.left), std::max<int>(1, rc.bottom - rc.top));
    EmptyInput(m_window);  // whatever size it takes
}

void CEffectPlayer::StackAbove(HWND owner) {
    m_owner = owner;
    Restack();
}

void CEffectPlayer::Restack() {
    GdkWindow* mine = m_window ? gtk_widget_get_window(m_window) : nullptr;
    GtkWidget* ownerWnd = WindowOf(m_owner);
    GdkWindow* theirs = ownerWnd ? gtk_widget_get_window(ownerWnd) : nullptr;
    if (!mine || !theirs || !GDK_IS_X11_WINDOW(mine) || !GDK_IS_X11_WINDOW(theirs)) return;
    GdkDisplay* gd = gdk_window_get_display(mine);
    Display* d = GDK_DISPLAY_XDISPLAY(gd);
    const ::Window me = GDK_WINDOW_XID(mine);
    // The owner's frame may go at any moment: its errors are ignored.
    gdk_x11_display_error_trap_push(gd);
    const ::Window frame = RootChildOf(d, GDK_WINDOW_XID(theirs));
    ::Window root = 0, parent = 0, *kids = nullptr;
    unsigned n = 0;
    bool above = false;
    if (frame && XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n)) {
        for (unsigned i = 0; i + 1 < n; ++i) above = above || (kids[i] == frame && kids[i + 1] == me);
        if (kids) XFree(kids);
    }
    if (frame && !above) {
        XWindowChanges c{};
        c.sibling = frame;
        c.stack_mode = Above;
        XConfigureWindow(d, me, CWSibling | CWStackMode, &c);
    }
    gdk_x11_display_error_trap_pop_ignored(gd);
    if (gtk_widget_get_visible(m_window)) Follow(frame != GDK_WINDOW_XID(theirs) ? frame : 0);
}

void CEffectPlayer::Follow(unsigned long frame) {
    if (frame == m_frame) return;
    GdkDisplay* gd = gdk_display_get_default();
    if (!gd || !GDK_IS_X11_DISPLAY(gd)) return;
    Display* d = GDK_DISPLAY_XDISPLAY(gd);
    gdk_x11_display_error_trap_push(gd);
    // Our own selection on the window manager's frame: its restacking comes as ConfigureNotify.
    if (m_frame) XSelectInput(d, m_frame, NoEventMask);
    if (frame) XSelectInput(d, frame, StructureNotifyMask);
    gdk_x11_display_error_trap_pop_ignored(gd);
    m_frame = frame;
    if (frame && !m_filter) {
        gdk_window_add_filter(nullptr, FilterDisplayEvent, this);
        m_filter = true;
    }
}

void CEffectPlayer::OnDisplayEvent(const void* xevent) {
    const auto* e = static_cast<const XEvent*>(xevent);
    if (m_frame && e->type == ConfigureNotify && e->xconfigure.window == m_frame) Restack();
}

}  // namespace flash
