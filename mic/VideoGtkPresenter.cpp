#include "VideoGtkPresenter.h"

#include "UIBackendGtk.h"
#include "UIDoubleClick.h"

#include <gtk/gtk.h>

namespace {

// The view a widget's presses go to, and where they stand in a double click.
struct ViewInput {
    HWND hwnd;
    DuiLib::CDoubleClickRule clicks;
};

using WeakPresenter = std::weak_ptr<CVideoGtkPresenter>;

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer weak) {
    if (auto self = static_cast<WeakPresenter*>(weak)->lock()) self->Draw(cr);
    return TRUE;
}

LPARAM Point(double x, double y) {
    return MAKELPARAM(static_cast<WORD>(int(x)), static_cast<WORD>(int(y)));
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer view) {
    PostMessage(static_cast<HWND>(view), WM_SETCURSOR, 0, Point(e->x, e->y));
    PostMessage(static_cast<HWND>(view), WM_MOUSEMOVE, 0, Point(e->x, e->y));
    return FALSE;
}

// GTK reports both presses of a double click and then the double click; the view takes double clicks,
// so the second press comes as the double click only.
gboolean OnButton(GtkWidget*, GdkEventButton* e, gpointer data) {
    auto* view = static_cast<ViewInput*>(data);
    if (e->button != 1 || e->type == GDK_2BUTTON_PRESS || e->type == GDK_3BUTTON_PRESS) return FALSE;
    UINT msg = WM_LBUTTONUP;
    if (e->type == GDK_BUTTON_PRESS) {
        gint time = 400, distance = 5;
        if (GtkSettings* s = gtk_settings_get_default())
            g_object_get(s, "gtk-double-click-time", &time, "gtk-double-click-distance", &distance, nullptr);
        msg = view->clicks.IsSecondPress(e->button, e->time, int(e->x_root), int(e->y_root), guint32(time), distance)
                  ? WM_LBUTTONDBLCLK
                  : WM_LBUTTONDOWN;
    }
    PostMessage(view->hwnd, msg, 0, Point(e->x, e->y));
    return FALSE;
}

gboolean OnLeave(GtkWidget*, GdkEventCrossing*, gpointer view) {
    PostMessage(static_cast<HWND>(view), WM_MOUSELEAVE, 0, 0);
    return FALSE;
}

}  // namespace

std::shared_ptr<CVideoGtkPresenter> CVideoGtkPresenter::Create(HWND view) {
    if (!gdk_display_get_default()) return nullptr;
    std::shared_ptr<CVideoGtkPresenter> p(new CVideoGtkPresenter());
    GtkWidget* area = gtk_drawing_area_new();
    g_object_ref_sink(area);
    if (SendMessage(view, WM_NCHITTEST, 0, 0) == HTTRANSPARENT) {
        // A view transparent to the pointer: presses and moves reach the window under it (its owner).
        g_signal_connect(area, "realize", G_CALLBACK(+[](GtkWidget* w, gpointer) {
                             if (GdkWindow* win = gtk_widget_get_window(w)) gdk_window_set_pass_through(win, TRUE);
                         }),
                         nullptr);
    } else {
        gtk_widget_add_events(
            area, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK);
    }
    // The draw handler holds the presenter weakly: its last owner may be the render thread.
    g_signal_connect_data(
        area, "draw", G_CALLBACK(OnDraw), new WeakPresenter(p),
        [](gpointer weak, GClosure*) { delete static_cast<WeakPresenter*>(weak); }, GConnectFlags(0));
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(OnMotion), view);
    auto* input = new ViewInput{view, {}};
    g_object_set_data_full(G_OBJECT(area), "varnet-view-input", input,
                           [](gpointer p) { delete static_cast<ViewInput*>(p); });
    g_signal_connect(area, "button-press-event", G_CALLBACK(OnButton), input);
    g_signal_connect(area, "button-release-event", G_CALLBACK(OnButton), input);
    g_signal_connect(area, "leave-notify-event", G_CALLBACK(OnLeave), view);
    p->m_widget = area;
    p->m_view = view;
    return p;
}

CVideoGtkPresenter::~CVideoGtkPresenter() {
    if (!m_widget) return;
    // Widgets belong to the UI thread: from elsewhere the reference is dropped there.
    auto release = [](gpointer w) -> gboolean {
        g_object_unref(w);
        return G_SOURCE_REMOVE;
    };
    if (IsUIThread()) {
        release(m_widget);
    } else {
        g_idle_add(release, m_widget);
    }
}

void CVideoGtkPresenter::Present(const mic::Image32& picture) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_picture = picture;
    if (m_redrawQueued) return;
    m_redrawQueued = true;
    // The idle call holds a reference to this presenter until it has run.
    auto* keep = new std::weak_ptr<CVideoGtkPresenter>(weak_from_this());
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer data) -> gboolean {
            auto* weak = static_cast<std::weak_ptr<CVideoGtkPresenter>*>(data);
            if (auto self = weak->lock()) {
                {
                    std::lock_guard<std::mutex> lock(self->m_lock);
                    self->m_redrawQueued = false;
                }
                gtk_widget_queue_draw(static_cast<GtkWidget*>(self->m_widget));
            }
            return G_SOURCE_REMOVE;
        },
        keep, [](gpointer data) { delete static_cast<std::weak_ptr<CVideoGtkPresenter>*>(data); });
}

void CVideoGtkPresenter::SetCursor(int cursor) {
    GdkWindow* win = gtk_widget_get_window(static_cast<GtkWidget*>(m_widget));
    if (!win) return;
    GdkCursor* c = gdk_cursor_new_from_name(gdk_window_get_display(win), cursor == 1 ? "pointer" : "default");
    gdk_window_set_cursor(win, c);
    if (c) g_object_unref(c);
}

void CVideoGtkPresenter::Draw(void* cairo) {
    cairo_t* cr = static_cast<cairo_t*>(cairo);
    auto* area = static_cast<GtkWidget*>(m_widget);
    std::lock_guard<std::mutex> lock(m_lock);
    // While the picture covers the area, the window under it is not painted: a smaller one (the view
    // resized, the picture not yet) has the rest black until the next drawing, with the window's.
    const bool covers = m_picture.width >= gtk_widget_get_allocated_width(area) &&
                        m_picture.height >= gtk_widget_get_allocated_height(area);
    if (!covers && g_object_get_data(G_OBJECT(area), DuiLib::kOpaqueWidgetData)) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        gtk_widget_queue_draw(area);
    }
    g_object_set_data(G_OBJECT(area), DuiLib::kOpaqueWidgetData, covers ? area : nullptr);
    if (m_picture.Empty()) return;
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(m_picture.pixels.data()),
                                                             CAIRO_FORMAT_ARGB32, m_picture.width, m_picture.height,
                                                             m_picture.width * 4);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(s);
    m_centre = m_picture.pixels[static_cast<size_t>(m_picture.height / 2) * m_picture.width + m_picture.width / 2];
    ++m_draws;
}
