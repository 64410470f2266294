#include "UIBackendGtk.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <cmath>

#include "UIControls.h"
#include "UIDoubleClick.h"
#include "UIWindow.h"

namespace DuiLib {

namespace {

LPARAM Pt(double x, double y) {
    return (LPARAM)((((int)y & 0xFFFF) << 16) | ((int)x & 0xFFFF));
}

UINT KeyToVk(guint keyval) {
    switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
        return VK_RETURN;
    case GDK_KEY_Escape:
        return VK_ESCAPE;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
        return VK_TAB;
    case GDK_KEY_BackSpace:
        return VK_BACK;
    case GDK_KEY_Delete:
        return VK_DELETE;
    case GDK_KEY_Left:
        return VK_LEFT;
    case GDK_KEY_Right:
        return VK_RIGHT;
    case GDK_KEY_Up:
        return VK_UP;
    case GDK_KEY_Down:
        return VK_DOWN;
    case GDK_KEY_Home:
        return VK_HOME;
    case GDK_KEY_End:
        return VK_END;
    case GDK_KEY_space:
        return VK_SPACE;
    case GDK_KEY_F4:
        return VK_F4;
    default:
        return 0;
    }
}

// The container of a window's widgets: a layout for top-level windows (its size request does not follow
// its children's, so the window can shrink), a fixed container for child windows.
void PutIn(GtkWidget* container, GtkWidget* w, int x, int y) {
    if (GTK_IS_LAYOUT(container)) gtk_layout_put(GTK_LAYOUT(container), w, x, y);
    else gtk_fixed_put(GTK_FIXED(container), w, x, y);
}

void MoveIn(GtkWidget* container, GtkWidget* w, int x, int y) {
    if (GTK_IS_LAYOUT(container)) gtk_layout_move(GTK_LAYOUT(container), w, x, y);
    else gtk_fixed_move(GTK_FIXED(container), w, x, y);
}

// Whether a window manager that maximises windows runs on the screen.
bool HasWindowManager(GtkWidget* window) {
    GdkScreen* screen = gtk_widget_get_screen(window);
    return screen && GDK_IS_X11_SCREEN(screen) &&
           gdk_x11_screen_supports_net_wm_hint(screen, gdk_atom_intern_static_string("_NET_WM_STATE_MAXIMIZED_VERT"));
}

constexpr UINT kClassDoubleClicks = 0x8;  // CS_DBLCLKS

// The press's place in a double click by the display's settings (as GTK's own double click).
bool SecondPress(CDoubleClickRule& rule, const GdkEventButton* e) {
    gint time = 400, distance = 5;
    if (GtkSettings* s = gtk_settings_get_default())
        g_object_get(s, "gtk-double-click-time", &time, "gtk-double-click-distance", &distance, nullptr);
    return rule.IsSecondPress(e->button, e->time, int(e->x_root), int(e->y_root), guint32(time), distance);
}

}  // namespace

class CGtkBackend : public IWindowBackend {
public:
    ~CGtkBackend() override { Destroy(); }

    void Create(CWindowWnd* wnd, HWND hWndOwner, const char* title, DWORD style, DWORD exStyle,
                const RECT& rc) override {
        ::AssertUIThread("CGtkBackend::Create");
        m_wnd = wnd;
        m_rc = rc;
        bool menu = (exStyle & 0x80) && (style & UI_WS_POPUP);  // tool popup: menus
        m_menu = menu;
        CGtkBackend* parent = nullptr;
        if (CWindowWnd* owner = CWindowWnd::FromHandle(hWndOwner))
            parent = dynamic_cast<CGtkBackend*>(owner->GetBackend());
        if ((style & UI_WS_CHILD) && parent && parent->m_fixed) {
            CreateChild(parent);
            return;
        }
        m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref_sink(m_window);
        g_object_set_data(G_OBJECT(m_window), "varnet-hwnd", wnd ? wnd->GetHWND() : nullptr);
        gtk_window_set_decorated(GTK_WINDOW(m_window), FALSE);
        gtk_window_set_title(GTK_WINDOW(m_window), GbkToUtf8(title ? title : "").c_str());
        if (menu) {
            gtk_window_set_type_hint(GTK_WINDOW(m_window), GDK_WINDOW_TYPE_HINT_POPUP_MENU);
            gtk_window_set_skip_taskbar_hint(GTK_WINDOW(m_window), TRUE);
        }
        if (CWindowWnd* owner = CWindowWnd::FromHandle(hWndOwner)) {
            if (auto* ob = dynamic_cast<CGtkBackend*>(owner->GetBackend()))
                if (ob->m_window) gtk_window_set_transient_for(GTK_WINDOW(m_window), GTK_WINDOW(ob->m_window));
        }
        m_fixed = gtk_layout_new(nullptr, nullptr);
        gtk_container_add(GTK_CONTAINER(m_window), m_fixed);
        m_area = gtk_drawing_area_new();
        gtk_widget_set_can_focus(m_area, TRUE);
        gtk_widget_add_events(m_area, GDK_STRUCTURE_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                          GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK |
                                          GDK_KEY_PRESS_MASK | GDK_FOCUS_CHANGE_MASK);
        PutIn(m_fixed, m_area, 0, 0);
        ConnectArea();
        g_signal_connect(m_window, "window-state-event", G_CALLBACK(OnWindowState), this);
        g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
        g_signal_connect(m_window, "configure-event", G_CALLBACK(OnConfigure), this);
        g_signal_connect(m_window, "focus-out-event", G_CALLBACK(OnFocusOut), this);
        g_signal_connect(m_window, "focus-in-event", G_CALLBACK(OnFocusIn), this);
        if (menu) {
            g_signal_connect(m_area, "map-event", G_CALLBACK(OnMenuMapped), this);
            g_signal_connect(m_area, "grab-broken-event", G_CALLBACK(OnMenuGrabBroken), this);
        }
        ApplyGeometry();
        if (style & UI_WS_VISIBLE) Show(true, true);
    }

    void Destroy() override {
        ::AssertUIThread("CGtkBackend::Destroy");
        if (m_child) {
            DestroyChild();
            return;
        }
        if (!m_window) return;
        Ungrab();
        HideToolTip();
        if (m_tip) gtk_widget_destroy(m_tip);
        m_tip = nullptr;
        g_signal_handlers_disconnect_by_data(m_window, this);
        if (m_area) g_signal_handlers_disconnect_by_data(m_area, this);
        if (m_entry) g_signal_handlers_disconnect_by_data(m_entry, this);
        DisconnectText();
        gtk_widget_destroy(m_window);
        g_object_unref(m_window);
        if (m_css) g_object_unref(m_css);
        m_css = nullptr;
        m_entryCss.clear();
        m_icon.clear();
        m_iconSet = false;
        m_window = m_fixed = m_area = m_entry = m_text = m_textView = nullptr;
        m_edit = nullptr;
    }

    void Show(bool bShow, bool bActivate) override {
        ::AssertUIThread("CGtkBackend::Show");
        if (m_child) {
            ShowChild(bShow);
            return;
        }
        if (!m_window) return;
        if (bShow) {
            ApplyGeometry();
            gtk_widget_show_all(m_window);
            if (m_entry && (!m_edit || m_multi)) gtk_widget_hide(m_entry);
            if (m_text && (!m_edit || !m_multi)) gtk_widget_hide(m_text);
            for (auto& w : m_hidden) gtk_widget_hide(w);
            gtk_window_move(GTK_WINDOW(m_window), m_rc.left, m_rc.top);
            if (bActivate) {
                gtk_window_present(GTK_WINDOW(m_window));
                if (!m_edit) gtk_widget_grab_focus(m_area);
            }
        } else {
            Ungrab();
            HideToolTip();
            gtk_widget_hide(m_window);
        }
    }

    bool IsVisible() const override {
        ::AssertUIThread("CGtkBackend::IsVisible");
        if (m_child) return m_fixed && gtk_widget_get_visible(m_fixed);
        return m_window && gtk_widget_get_visible(m_window);
    }

    void Move(const RECT& rc) override {
        ::AssertUIThread("CGtkBackend::Move");
        if (Maximised()) {
            m_restore = rc;  // where restoring will put it
            return;
        }
        m_rc = rc;
        ApplyGeometry();
    }

    RECT GetRect() const override { return m_rc; }
    void SetTitle(const char* gbk) override {
        ::AssertUIThread("CGtkBackend::SetTitle");
        if (m_window) gtk_window_set_title(GTK_WINDOW(m_window), GbkToUtf8(gbk ? gbk : "").c_str());
    }
    void SetEnabled(bool b) override {
        ::AssertUIThread("CGtkBackend::SetEnabled");
        m_enabled = b;
        if (m_window) gtk_widget_set_sensitive(m_fixed, b);
    }
    bool IsEnabled() const override { return m_enabled; }
    void Invalidate(const RECT& rc) override {
        ::AssertUIThread("CGtkBackend::Invalidate");
        if (m_area) gtk_widget_queue_draw_area(m_area, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    }
    void Minimize() override {
        ::AssertUIThread("CGtkBackend::Minimize");
        if (m_window) gtk_window_iconify(GTK_WINDOW(m_window));
        m_min = true;
    }
    void Maximize() override {
        ::AssertUIThread("CGtkBackend::Maximize");
        if (!m_window || m_max) return;
        m_restore = m_rc;
        m_max = true;
        gtk_window_maximize(GTK_WINDOW(m_window));  // the window manager's to do (none: nothing happens)
    }
    void Restore() override {
        ::AssertUIThread("CGtkBackend::Restore");
        if (!m_window) return;
        gtk_window_deiconify(GTK_WINDOW(m_window));
        m_min = false;
        if (!m_max) return;
        m_max = false;
        gtk_window_unmaximize(GTK_WINDOW(m_window));
        // The size and place from before maximising, whatever the window manager remembered.
        m_rc = m_restore;
        ApplyGeometry();
    }
    void SetMinSize(SIZE min) override {
        ::AssertUIThread("CGtkBackend::SetMinSize");
        if (!m_window || min.cx <= 0 || min.cy <= 0) return;
        GdkGeometry g{};
        g.min_width = min.cx;
        g.min_height = min.cy;
        gtk_window_set_geometry_hints(GTK_WINDOW(m_window), nullptr, &g, GDK_HINT_MIN_SIZE);
    }
    bool IsMaximized() const override { return m_max; }
    bool IsMinimized() const override { return m_min; }

    void BeginMoveDrag(POINT) override {
        ::AssertUIThread("CGtkBackend::BeginMoveDrag");
        if (m_window && m_pressTime)
            gtk_window_begin_move_drag(GTK_WINDOW(m_window), 1, (int)m_pressRootX, (int)m_pressRootY, m_pressTime);
    }

    void BeginResizeDrag(int hit) override {
        ::AssertUIThread("CGtkBackend::BeginResizeDrag");
        GdkWindowEdge edge;
        switch (hit) {
        case HTLEFT:
            edge = GDK_WINDOW_EDGE_WEST;
            break;
        case HTRIGHT:
            edge = GDK_WINDOW_EDGE_EAST;
            break;
        case HTTOP:
            edge = GDK_WINDOW_EDGE_NORTH;
            break;
        case HTBOTTOM:
            edge = GDK_WINDOW_EDGE_SOUTH;
            break;
        case HTTOPLEFT:
            edge = GDK_WINDOW_EDGE_NORTH_WEST;
            break;
        case HTTOPRIGHT:
            edge = GDK_WINDOW_EDGE_NORTH_EAST;
            break;
        case HTBOTTOMLEFT:
            edge = GDK_WINDOW_EDGE_SOUTH_WEST;
            break;
        case HTBOTTOMRIGHT:
            edge = GDK_WINDOW_EDGE_SOUTH_EAST;
            break;
        default:
            return;
        }
        if (m_window && m_pressTime)
            gtk_window_begin_resize_drag(GTK_WINDOW(m_window), edge, 1, (int)m_pressRootX, (int)m_pressRootY,
                                         m_pressTime);
    }

    void SetCursor(int c) override {
        ::AssertUIThread("CGtkBackend::SetCursor");
        if (!m_area || c == m_cursor) return;
        m_cursor = c;
        ApplyCursor();
    }

    void ShowToolTip(const char* gbk, POINT pt) override {
        ::AssertUIThread("CGtkBackend::ShowToolTip");
        if (!m_window || !gbk || !*gbk) return;
        if (!m_tip) {
            m_tip = gtk_window_new(GTK_WINDOW_POPUP);
            gtk_window_set_title(GTK_WINDOW(m_tip), "ZqToolTip");
            GtkWidget* label = gtk_label_new("");
            gtk_widget_set_margin_start(label, 6);
            gtk_widget_set_margin_end(label, 6);
            gtk_widget_set_margin_top(label, 3);
            gtk_widget_set_margin_bottom(label, 3);
            gtk_container_add(GTK_CONTAINER(m_tip), label);
        }
        gtk_label_set_text(GTK_LABEL(gtk_bin_get_child(GTK_BIN(m_tip))), GbkToUtf8(gbk).c_str());
        gtk_window_move(GTK_WINDOW(m_tip), m_rc.left + pt.x + 12, m_rc.top + pt.y + 18);
        gtk_widget_show_all(m_tip);
    }
    void HideToolTip() override {
        ::AssertUIThread("CGtkBackend::HideToolTip");
        if (m_tip) gtk_widget_hide(m_tip);
    }

    // An edit whose text wraps (multiline) takes a text view, any other a one-line entry.
    static bool MultiLine(CEditUI* edit) {
        return (edit->GetTextStyle() & DT_WORDBREAK) != 0 && !edit->IsPasswordMode();
    }
    GtkWidget* Native() const { return m_multi ? m_text : m_entry; }

    void BeginEdit(CEditUI* edit) override {
        ::AssertUIThread("CGtkBackend::BeginEdit");
        if ((!m_window && !m_child) || !edit || !m_fixed) return;
        const bool multi = MultiLine(edit);
        if (m_edit && multi != m_multi && Native()) gtk_widget_hide(Native());
        m_multi = multi;
        if (multi && !m_text) {
            // In a scrolled window of the edit's size: the view never grows over what lies below it.
            m_text = gtk_scrolled_window_new(nullptr, nullptr);
            gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(m_text), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
            m_textView = gtk_text_view_new();
            gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(m_textView), GTK_WRAP_WORD_CHAR);
            gtk_container_add(GTK_CONTAINER(m_text), m_textView);
            gtk_widget_show(m_textView);
            PutIn(m_fixed, m_text, 0, 0);
            AddCss(m_textView);
            g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView)), "changed", G_CALLBACK(OnEntryChanged),
                             this);
            g_signal_connect(m_textView, "key-press-event", G_CALLBACK(OnEntryKey), this);
        } else if (!multi && !m_entry) {
            m_entry = gtk_entry_new();
            gtk_entry_set_has_frame(GTK_ENTRY(m_entry), FALSE);
            // GTK's default minimum (150 px and the padding) would draw a narrower edit over what lies beside it.
            gtk_entry_set_width_chars(GTK_ENTRY(m_entry), 1);
            PutIn(m_fixed, m_entry, 0, 0);
            AddCss(m_entry);
            g_signal_connect(m_entry, "changed", G_CALLBACK(OnEntryChanged), this);
            g_signal_connect(m_entry, "key-press-event", G_CALLBACK(OnEntryKey), this);
        }
        m_edit = edit;
        UpdateEdit(edit);
        gtk_widget_show(Native());
        gtk_widget_grab_focus(multi ? m_textView : m_entry);
        if (edit->IsAllSelected()) return;
        if (multi) {
            GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView));
            GtkTextIter end;
            gtk_text_buffer_get_end_iter(b, &end);
            gtk_text_buffer_place_cursor(b, &end);
        } else {
            gtk_editable_set_position(GTK_EDITABLE(m_entry), -1);
        }
    }

    void EndEdit(CEditUI* edit) override {
        ::AssertUIThread("CGtkBackend::EndEdit");
        if (!Native() || m_edit != edit) return;
        m_edit = nullptr;
        gtk_widget_hide(Native());
        if (m_area) gtk_widget_grab_focus(m_area);
    }

    std::string NativeText() const {
        if (!m_multi) return gtk_entry_get_text(GTK_ENTRY(m_entry));
        GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView));
        GtkTextIter from, to;
        gtk_text_buffer_get_bounds(b, &from, &to);
        gchar* t = gtk_text_buffer_get_text(b, &from, &to, FALSE);
        std::string out = t ? t : "";
        g_free(t);
        return out;
    }
    void SetNativeText(const std::string& utf8) {
        if (m_multi) gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView)), utf8.c_str(), -1);
        else gtk_entry_set_text(GTK_ENTRY(m_entry), utf8.c_str());
    }

    void UpdateEdit(CEditUI* edit) override {
        ::AssertUIThread("CGtkBackend::UpdateEdit");
        if (!Native() || m_edit != edit) return;
        RECT rc = edit->GetPos();
        int bs = edit->GetBorderSize();
        int x = rc.left + std::max(bs, 1), y = rc.top + std::max(bs, 1);
        int w = std::max(1, rc.right - rc.left - 2 * std::max(bs, 1)),
            h = std::max(1, rc.bottom - rc.top - 2 * std::max(bs, 1));
        if (m_multi) {
            MoveIn(m_fixed, m_text, x, y);
            gtk_widget_set_size_request(m_text, w, h);
            gtk_text_view_set_editable(GTK_TEXT_VIEW(m_textView), !edit->IsReadOnly());
            StyleEntry(edit);
            std::string utf8 = GbkToUtf8(edit->GetText());
            if (utf8 != NativeText()) {
                m_syncing = true;
                SetNativeText(utf8);
                m_syncing = false;
            }
            if (edit->IsAllSelected()) {
                GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView));
                GtkTextIter from, to;
                gtk_text_buffer_get_bounds(b, &from, &to);
                gtk_text_buffer_select_range(b, &from, &to);
            }
            return;
        }
        MoveIn(m_fixed, m_entry, x, y);
        gtk_widget_set_size_request(m_entry, w, h);
        gtk_entry_set_visibility(GTK_ENTRY(m_entry), !edit->IsPasswordMode());
        gtk_entry_set_invisible_char(GTK_ENTRY(m_entry), (gunichar)(unsigned char)edit->GetPasswordChar());
        gtk_editable_set_editable(GTK_EDITABLE(m_entry), !edit->IsReadOnly());
        StyleEntry(edit);
        std::string utf8 = GbkToUtf8(edit->GetText());
        if (utf8 != gtk_entry_get_text(GTK_ENTRY(m_entry))) {
            m_syncing = true;
            gtk_entry_set_text(GTK_ENTRY(m_entry), utf8.c_str());
            m_syncing = false;
        }
        if (edit->IsAllSelected()) gtk_editable_select_region(GTK_EDITABLE(m_entry), 0, -1);
    }

    void PlaceNativeWidget(void* widget, const RECT& rc, bool visible) override {
        ::AssertUIThread("CGtkBackend::PlaceNativeWidget");
        if (!m_fixed || !widget) return;
        GtkWidget* w = GTK_WIDGET(widget);
        if (gtk_widget_get_parent(w) != m_fixed) PutIn(m_fixed, w, rc.left, rc.top);
        else MoveIn(m_fixed, w, rc.left, rc.top);
        gtk_widget_set_size_request(w, std::max(1, rc.right - rc.left), std::max(1, rc.bottom - rc.top));
        if (visible) {
            m_hidden.erase(std::remove(m_hidden.begin(), m_hidden.end(), w), m_hidden.end());
            gtk_widget_show(w);
        } else {
            if (std::find(m_hidden.begin(), m_hidden.end(), w) == m_hidden.end()) m_hidden.push_back(w);
            gtk_widget_hide(w);
        }
    }

    void RemoveNativeWidget(void* widget) override {
        ::AssertUIThread("CGtkBackend::RemoveNativeWidget");
        if (!m_fixed || !widget) return;
        GtkWidget* w = GTK_WIDGET(widget);
        m_hidden.erase(std::remove(m_hidden.begin(), m_hidden.end(), w), m_hidden.end());
        if (gtk_widget_get_parent(w) == m_fixed) gtk_container_remove(GTK_CONTAINER(m_fixed), w);
    }

    bool HasNativeWidgets() const override { return m_fixed != nullptr; }

    SIZE GetScreenSize() const override {
        ::AssertUIThread("CGtkBackend::GetScreenSize");
        GdkDisplay* d = gdk_display_get_default();
        GdkMonitor* m = d ? gdk_display_get_primary_monitor(d) : nullptr;
        if (!m && d) m = gdk_display_get_monitor(d, 0);
        if (!m) return {1280, 1024};
        GdkRectangle r;
        gdk_monitor_get_workarea(m, &r);
        return {r.x + r.width, r.y + r.height};
    }

    RECT GetWorkArea(POINT near) const override {
        ::AssertUIThread("CGtkBackend::GetWorkArea");
        GdkDisplay* d = gdk_display_get_default();
        GdkMonitor* m = d ? gdk_display_get_monitor_at_point(d, near.x, near.y) : nullptr;
        if (!m) return IWindowBackend::GetWorkArea(near);
        GdkRectangle r;
        gdk_monitor_get_workarea(m, &r);
        return {r.x, r.y, r.x + r.width, r.y + r.height};
    }

    POINT GetCursorPos() const override {
        ::AssertUIThread("CGtkBackend::GetCursorPos");
        GdkDisplay* d = gdk_display_get_default();
        GdkSeat* seat = d ? gdk_display_get_default_seat(d) : nullptr;
        GdkDevice* dev = seat ? gdk_seat_get_pointer(seat) : nullptr;
        int x = 0, y = 0;
        if (dev) gdk_device_get_position(dev, nullptr, &x, &y);
        return {x, y};
    }

private:
    // The entry looks like the control under it: its background, text colour and font, no frame.
    void StyleEntry(CEditUI* edit) {
        CPaintManagerUI* pm = edit->GetManager();
        TFontInfo* f = pm ? pm->GetFont(edit->GetFont()) : nullptr;
        DWORD bk = edit->GetNativeEditBkColor();
        DWORD fg = edit->GetTextColor() ? edit->GetTextColor() : pm ? pm->GetDefaultFontColor() : 0xFF000000;
        RECT pad = edit->GetTextPadding();
        std::string family;
        for (char c : GbkToUtf8(f ? f->sFontName : CDuiString()))
            if (c != '"' && c != '\\' && c != ';' && c != '}') family += c;
        char css[1024];
        snprintf(css, sizeof(css),
                 "entry, textview, textview text { background: #%06X; color: #%06X; border: none; box-shadow: none;"
                 " border-radius: 0; min-height: 0; padding: 0 %dpx 0 %dpx; font-size: %dpx;"
                 " font-family: \"%s\", \"WenQuanYi Micro Hei\", sans-serif; }",
                 (unsigned)(bk & 0xFFFFFF), (unsigned)(fg & 0xFFFFFF), std::clamp((int)pad.right, 0, 100),
                 std::clamp((int)pad.left, 0, 100), f ? f->iSize : 12, family.substr(0, 200).c_str());
        if (m_entryCss == css) return;
        m_entryCss = css;
        gtk_css_provider_load_from_data(m_css, css, -1, nullptr);
    }

    // The cursor asked for, also one set before the drawing area had its window (applied when it gets one).
    void ApplyCursor() {
        GdkWindow* gw = m_area ? gtk_widget_get_window(m_area) : nullptr;
        if (!gw || m_cursor < 0) return;
        static const char* const kNames[] = {"default",   "pointer",   "text",        "wait",
                                             "ew-resize", "ns-resize", "nwse-resize", "nesw-resize"};
        const char* name = m_cursor < (int)(sizeof kNames / sizeof *kNames) ? kNames[m_cursor] : "default";
        GdkCursor* cur = gdk_cursor_new_from_name(gdk_window_get_display(gw), name);
        gdk_window_set_cursor(gw, cur);
        if (cur) g_object_unref(cur);
    }

    static void OnAreaRealized(GtkWidget*, gpointer p) { static_cast<CGtkBackend*>(p)->ApplyCursor(); }

    // The native editors share one style, loaded by StyleEntry.
    void AddCss(GtkWidget* w) {
        if (!m_css) m_css = gtk_css_provider_new();
        gtk_style_context_add_provider(gtk_widget_get_style_context(w), GTK_STYLE_PROVIDER(m_css),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }

    void DisconnectText() {
        if (!m_text) return;
        g_signal_handlers_disconnect_by_data(m_textView, this);
        g_signal_handlers_disconnect_by_data(gtk_text_view_get_buffer(GTK_TEXT_VIEW(m_textView)), this);
    }

    // The drawing area's painting and input, for top-level and child windows alike.
    void ConnectArea() {
        g_signal_connect_after(m_area, "realize", G_CALLBACK(OnAreaRealized), this);
        g_signal_connect(m_area, "draw", G_CALLBACK(OnDraw), this);
        g_signal_connect(m_area, "button-press-event", G_CALLBACK(OnButton), this);
        g_signal_connect(m_area, "button-release-event", G_CALLBACK(OnButton), this);
        g_signal_connect(m_area, "motion-notify-event", G_CALLBACK(OnMotion), this);
        g_signal_connect(m_area, "leave-notify-event", G_CALLBACK(OnLeave), this);
        g_signal_connect(m_area, "scroll-event", G_CALLBACK(OnScroll), this);
        g_signal_connect(m_area, "key-press-event", G_CALLBACK(OnAreaKey), this);
    }

    // A child window: its own fixed container inside the parent's, at rc in the parent's client
    // coordinates; it draws and takes input like a top-level one. The parent's show_all leaves it alone.
    void CreateChild(CGtkBackend* parent) {
        m_child = true;
        m_passThrough = false;
        m_fixed = gtk_fixed_new();
        g_object_ref_sink(m_fixed);
        gtk_widget_set_no_show_all(m_fixed, TRUE);
        m_area = gtk_drawing_area_new();
        g_object_ref(m_area);  // the parent's destruction may dispose of both before ours
        gtk_widget_set_can_focus(m_area, TRUE);
        gtk_widget_add_events(m_area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                          GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK);
        gtk_fixed_put(GTK_FIXED(m_fixed), m_area, 0, 0);
        ConnectArea();
        PutIn(parent->m_fixed, m_fixed, m_rc.left, m_rc.top);
        ApplyGeometry();
    }

    void DestroyChild() {
        if (!m_fixed) return;
        if (m_area) g_signal_handlers_disconnect_by_data(m_area, this);
        // Without a parent the entry went with the parent's destruction.
        if (m_entry && gtk_widget_get_parent(m_fixed)) g_signal_handlers_disconnect_by_data(m_entry, this);
        if (gtk_widget_get_parent(m_fixed)) DisconnectText();
        if (GtkWidget* p = gtk_widget_get_parent(m_fixed)) gtk_container_remove(GTK_CONTAINER(p), m_fixed);
        if (m_area) g_object_unref(m_area);
        g_object_unref(m_fixed);
        m_fixed = m_area = m_entry = m_text = m_textView = nullptr;
        m_edit = nullptr;
    }

    void ShowChild(bool show) {
        if (!m_fixed) return;
        if (!show) {
            gtk_widget_hide(m_fixed);
            return;
        }
        ApplyGeometry();
        // A child that answers WM_NCHITTEST with HTTRANSPARENT lets the pointer through to its parent.
        if (!m_passThrough && Send(WM_NCHITTEST, 0, 0) == HTTRANSPARENT) {
            m_passThrough = true;
            cairo_region_t* none = cairo_region_create();
            gtk_widget_input_shape_combine_region(m_area, none);
            cairo_region_destroy(none);
        }
        GList* kids = gtk_container_get_children(GTK_CONTAINER(m_fixed));
        for (GList* k = kids; k; k = k->next) {
            auto* w = static_cast<GtkWidget*>(k->data);
            bool hidden = (w == m_entry && (!m_edit || m_multi)) || (w == m_text && (!m_edit || !m_multi)) ||
                          std::find(m_hidden.begin(), m_hidden.end(), w) != m_hidden.end();
            if (!hidden) gtk_widget_show(w);
        }
        g_list_free(kids);
        gtk_widget_show(m_fixed);
    }

    void ApplyGeometry() {
        if (m_child) {
            if (!m_fixed) return;
            int w = std::max(1, m_rc.right - m_rc.left), h = std::max(1, m_rc.bottom - m_rc.top);
            gtk_widget_set_size_request(m_area, w, h);
            gtk_widget_set_size_request(m_fixed, w, h);
            if (GtkWidget* p = gtk_widget_get_parent(m_fixed)) MoveIn(p, m_fixed, m_rc.left, m_rc.top);
            return;
        }
        if (!m_window) return;
        int w = std::max(1, m_rc.right - m_rc.left), h = std::max(1, m_rc.bottom - m_rc.top);
        gtk_widget_set_size_request(m_area, w, h);
        if (Maximised()) return;  // the window manager's size and place
        gtk_window_resize(GTK_WINDOW(m_window), w, h);
        gtk_window_move(GTK_WINDOW(m_window), m_rc.left, m_rc.top);
    }

    // Maximised by a window manager (asked for or done): its size and place are the manager's.
    bool Maximised() const { return m_window && m_max && HasWindowManager(m_window); }

    LRESULT Send(UINT msg, WPARAM w, LPARAM l) {
        HWND h = m_wnd ? m_wnd->GetHWND() : nullptr;
        return h ? ::SendMessage(h, msg, w, l) : 0;
    }

    // Takes from `open` (in the area's coordinates) what the opaque widgets in `container` cover, those of child
    // windows too (their fixed containers share the area's coordinates).
    void Uncover(GtkWidget* container, const GtkAllocation& area, cairo_region_t* open) const {
        GList* kids = gtk_container_get_children(GTK_CONTAINER(container));
        for (GList* k = kids; k && !cairo_region_is_empty(open); k = k->next) {
            auto* w = static_cast<GtkWidget*>(k->data);
            if (w == m_area || !gtk_widget_is_drawable(w)) continue;
            if (g_object_get_data(G_OBJECT(w), kOpaqueWidgetData)) {
                GtkAllocation a;
                gtk_widget_get_allocation(w, &a);
                cairo_rectangle_int_t ri{a.x - area.x, a.y - area.y, a.width, a.height};
                cairo_region_subtract_rectangle(open, &ri);
            } else if (GTK_IS_FIXED(w) && !gtk_widget_get_has_window(w)) {
                Uncover(w, area, open);
            }
        }
        g_list_free(kids);
    }

    // Whether opaque native widgets (kOpaqueWidgetData) cover the whole clip of the area's drawing. They
    // stand over the area: it is the container's first child.
    bool Covered(cairo_t* cr) const {
        if (!m_fixed || !m_area) return false;
        cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr);
        if (clip->status != CAIRO_STATUS_SUCCESS || clip->num_rectangles == 0) {
            cairo_rectangle_list_destroy(clip);
            return false;
        }
        cairo_region_t* open = cairo_region_create();
        for (int i = 0; i < clip->num_rectangles; ++i) {
            const cairo_rectangle_t& r = clip->rectangles[i];
            const int x = (int)std::floor(r.x), y = (int)std::floor(r.y);
            cairo_rectangle_int_t ri{x, y, (int)std::ceil(r.x + r.width) - x, (int)std::ceil(r.y + r.height) - y};
            cairo_region_union_rectangle(open, &ri);
        }
        cairo_rectangle_list_destroy(clip);
        GtkAllocation area;
        gtk_widget_get_allocation(m_area, &area);
        Uncover(m_fixed, area, open);
        const bool covered = cairo_region_is_empty(open);
        cairo_region_destroy(open);
        return covered;
    }

    static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        double x1, y1, x2, y2;
        cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
        RECT rc{(int)x1, (int)y1, (int)x2 + 1, (int)y2 + 1};
        // A video picture redrawn over the window asks for the window under it too.
        if (self->Covered(cr)) return TRUE;
        IRenderTarget rt(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        self->Send(WM_PAINT, (WPARAM)&rt, (LPARAM)&rc);
        return TRUE;
    }

    // A shown menu takes the pointer and the keyboard, so that a click anywhere else ends it.
    static gboolean OnMenuMapped(GtkWidget* w, GdkEvent*, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        GdkWindow* gw = gtk_widget_get_window(w);
        GdkSeat* seat = gw ? gdk_display_get_default_seat(gdk_window_get_display(gw)) : nullptr;
        if (seat && !self->m_grabbed)
            self->m_grabbed = gdk_seat_grab(seat, gw, GDK_SEAT_CAPABILITY_ALL, FALSE, nullptr, nullptr, nullptr,
                                            nullptr) == GDK_GRAB_SUCCESS;
        return FALSE;
    }

    static bool PointerGrabbed() {
        GdkDisplay* d = gdk_display_get_default();
        GdkSeat* seat = d ? gdk_display_get_default_seat(d) : nullptr;
        GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
        return pointer && gdk_display_device_is_grabbed(d, pointer);
    }

    // Another window (a submenu) took the grab: this menu holds it no more.
    static gboolean OnMenuGrabBroken(GtkWidget*, GdkEvent*, gpointer p) {
        static_cast<CGtkBackend*>(p)->m_grabbed = false;
        return FALSE;
    }

    void Ungrab() {
        if (!m_grabbed) return;
        m_grabbed = false;
        if (GdkDisplay* d = gdk_display_get_default()) gdk_seat_ungrab(gdk_display_get_default_seat(d));
    }

    static gboolean OnButton(GtkWidget*, GdkEventButton* e, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        if (self->m_menu && e->type == GDK_BUTTON_PRESS) {
            int w = self->m_rc.right - self->m_rc.left, h = self->m_rc.bottom - self->m_rc.top;
            if (e->x < 0 || e->y < 0 || e->x >= w || e->y >= h) {
                self->Send(WM_KILLFOCUS, kClickOutside, 0);
                return TRUE;
            }
        }
        UINT msg = 0;
        if (e->type == GDK_BUTTON_PRESS) {
            self->m_pressTime = e->time;
            self->m_pressRootX = e->x_root;
            self->m_pressRootY = e->y_root;
            if (!self->m_edit && self->m_area) gtk_widget_grab_focus(self->m_area);
            // GTK reports both presses of a double click and then the double click: a window of the
            // double-click class takes the second press as the double click only.
            const bool second =
                SecondPress(self->m_clicks, e) && self->m_wnd && (self->m_wnd->GetClassStyle() & kClassDoubleClicks);
            msg = e->button == 1 ? (second ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN) : e->button == 3 ? WM_RBUTTONDOWN : 0;
        } else if (e->type == GDK_BUTTON_RELEASE) {
            msg = e->button == 1 ? WM_LBUTTONUP : e->button == 3 ? WM_RBUTTONUP : 0;
        }
        if (msg) self->Send(msg, e->button == 1 ? MK_LBUTTON : MK_RBUTTON, Pt(e->x, e->y));
        return TRUE;
    }

    static gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer p) {
        static_cast<CGtkBackend*>(p)->Send(WM_MOUSEMOVE, 0, Pt(e->x, e->y));
        return TRUE;
    }

    static gboolean OnLeave(GtkWidget*, GdkEventCrossing*, gpointer p) {
        static_cast<CGtkBackend*>(p)->Send(WM_MOUSELEAVE, 0, 0);
        return FALSE;
    }

    static gboolean OnScroll(GtkWidget*, GdkEventScroll* e, gpointer p) {
        int delta = 0;
        if (e->direction == GDK_SCROLL_UP) delta = 120;
        else if (e->direction == GDK_SCROLL_DOWN) delta = -120;
        else if (e->direction == GDK_SCROLL_SMOOTH) delta = e->delta_y < 0 ? 120 : e->delta_y > 0 ? -120 : 0;
        if (delta) static_cast<CGtkBackend*>(p)->Send(WM_MOUSEWHEEL, (WPARAM)((delta & 0xFFFF) << 16), Pt(e->x, e->y));
        return TRUE;
    }

    static gboolean OnAreaKey(GtkWidget*, GdkEventKey* e, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        UINT vk = KeyToVk(e->keyval);
        LPARAM shift = (e->state & GDK_SHIFT_MASK) ? MK_SHIFT : 0;
        if (vk) {
            self->Send(WM_KEYDOWN, vk, shift);
            if (vk != VK_SPACE) return TRUE;
        }
        guint32 uc = gdk_keyval_to_unicode(e->keyval);
        if (uc >= 0x20) {
            char utf8[8] = {0};
            g_unichar_to_utf8(uc, utf8);
            std::string gbk = Utf8ToGbk(utf8);
            HWND h = self->m_wnd ? self->m_wnd->GetHWND() : nullptr;
            for (char c : gbk)
                if (h && ::IsWindow(h)) ::SendMessage(h, WM_CHAR, (unsigned char)c, 0);
        }
        return TRUE;
    }

    static gboolean OnEntryKey(GtkWidget* w, GdkEventKey* e, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        UINT vk = KeyToVk(e->keyval);
        if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_TAB) {
            // The input method sees the key first: Enter or Escape may end a composition.
            if (gtk_entry_im_context_filter_keypress(GTK_ENTRY(w), e)) return TRUE;
            self->SyncEntry();
            self->Send(WM_KEYDOWN, vk, (e->state & GDK_SHIFT_MASK) ? MK_SHIFT : 0);
            return TRUE;
        }
        return FALSE;
    }

    static void OnEntryChanged(gpointer, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        if (!self->m_syncing) self->SyncEntry();
    }

    void SyncEntry() {
        if (!Native() || !m_edit) return;
        CEditUI* edit = m_edit;
        edit->InputText(Utf8ToGbk(NativeText()).c_str());
        // The control may refuse or cut the text: show what it kept.
        if (m_edit == edit && Native()) {
            std::string kept = GbkToUtf8(edit->GetText());
            if (kept != NativeText()) {
                m_syncing = true;
                SetNativeText(kept);
                if (!m_multi) gtk_editable_set_position(GTK_EDITABLE(m_entry), -1);
                m_syncing = false;
            }
        }
    }

    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer p) {
        static_cast<CGtkBackend*>(p)->Send(WM_SYSCOMMAND, SC_CLOSE, 0);
        return TRUE;
    }

    // The window manager's maximised state (its own buttons and keys too).
    static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* e, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        if (e->changed_mask & GDK_WINDOW_STATE_ICONIFIED)
            self->m_min = (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
        if (e->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) {
            bool max = (e->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
            if (max && !self->m_max) self->m_restore = self->m_rc;
            self->m_max = max;
        }
        return FALSE;
    }

    // The drawing area follows the window; it is a child of a layout, so this does not set the window's
    // minimum size. A new place (the window system moved the window) is told with WM_MOVE, the client
    // area's screen position, after WM_SIZE as a window program gets them; the window may be gone after
    // either.
    static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        const RECT old = self->m_rc;
        self->m_rc = {e->x, e->y, e->x + e->width, e->y + e->height};
        const bool sized = e->width != old.right - old.left || e->height != old.bottom - old.top;
        const bool moved = e->x != old.left || e->y != old.top;
        HWND h = self->m_wnd ? self->m_wnd->GetHWND() : nullptr;
        if (sized) {
            gtk_widget_set_size_request(self->m_area, e->width, e->height);
            self->Send(WM_SIZE, 0, (LPARAM)(((e->height & 0xFFFF) << 16) | (e->width & 0xFFFF)));
        }
        if (moved && h && ::IsWindow(h))
            ::SendMessage(h, WM_MOVE, 0, (LPARAM)(((e->y & 0xFFFF) << 16) | (e->x & 0xFFFF)));
        return FALSE;
    }

    bool RequestAttention(bool on) override {
        ::AssertUIThread("CGtkBackend::RequestAttention");
        if (!m_window || !gtk_widget_get_visible(m_window)) return false;
        // In the foreground already: nothing to ask for.
        gtk_window_set_urgency_hint(GTK_WINDOW(m_window), on && !gtk_window_is_active(GTK_WINDOW(m_window)));
        return true;
    }

    void SetIcon(HICON icon, bool) override {
        ::AssertUIThread("CGtkBackend::SetIcon");
        if (!m_window) return;
        size_t size = 0;
        const unsigned char* png = IconImage(icon, &size);
        // The window has one icon for both sizes: the same picture again (the small one after the big one)
        // is neither decoded nor sent to the display again.
        std::string image = png ? std::string(reinterpret_cast<const char*>(png), size) : std::string();
        if (m_iconSet && image == m_icon) return;
        m_iconSet = true;
        m_icon = std::move(image);
        if (!png) {
            gtk_window_set_icon(GTK_WINDOW(m_window), nullptr);
            return;
        }
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
        if (gdk_pixbuf_loader_write(loader, png, size, nullptr) && gdk_pixbuf_loader_close(loader, nullptr)) {
            if (GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader))
                gtk_window_set_icon(GTK_WINDOW(m_window), pixbuf);
        } else {
            gdk_pixbuf_loader_close(loader, nullptr);
        }
        g_object_unref(loader);
    }

    static gboolean OnFocusIn(GtkWidget* w, GdkEventFocus*, gpointer) {
        gtk_window_set_urgency_hint(GTK_WINDOW(w), FALSE);  // the attention request is answered
        return FALSE;
    }

    static gboolean OnFocusOut(GtkWidget*, GdkEventFocus*, gpointer p) {
        auto* self = static_cast<CGtkBackend*>(p);
        self->HideToolTip();
        // A menu holding the pointer and the keyboard keeps its keys and sees every click elsewhere; a focus
        // change meanwhile comes from the grab itself or from a window closed before it (no window manager
        // reverts the focus to the pointer's window), never from the user.
        if (self->m_menu && self->m_grabbed && PointerGrabbed()) return FALSE;
        self->Send(WM_KILLFOCUS, 0, 0);
        return FALSE;
    }

    CWindowWnd* m_wnd = nullptr;
    CDoubleClickRule m_clicks;
    GtkWidget* m_window = nullptr;
    GtkWidget* m_fixed = nullptr;
    GtkWidget* m_area = nullptr;
    GtkWidget* m_entry = nullptr;
    GtkWidget* m_text = nullptr;  // the multi-line editor: a scrolled window around m_textView
    GtkWidget* m_textView = nullptr;
    GtkWidget* m_tip = nullptr;
    GtkCssProvider* m_css = nullptr;
    std::string m_entryCss;
    std::string m_icon;  // the picture of the window's icon (PNG), once one is set
    bool m_iconSet = false;
    CEditUI* m_edit = nullptr;
    std::vector<GtkWidget*> m_hidden;
    RECT m_rc;
    RECT m_restore{};  // the place before maximising
    bool m_enabled = true;
    bool m_max = false;
    bool m_min = false;
    bool m_syncing = false;
    bool m_multi = false;  // the edit under way is multi-line (m_text)
    bool m_menu = false;
    bool m_child = false;        // a WS_CHILD window inside its parent's container
    bool m_passThrough = false;  // a child whose input goes to its parent (HTTRANSPARENT)
    bool m_grabbed = false;
    int m_cursor = -1;
    guint32 m_pressTime = 0;
    double m_pressRootX = 0, m_pressRootY = 0;
};

namespace {
class CGtkFactory : public IWindowBackendFactory {
public:
    std::unique_ptr<IWindowBackend> CreateBackend() override { return std::make_unique<CGtkBackend>(); }
};

// The desktop of the window runtime: the GTK windows of the library's windows.
class CGtkDesktop : public IDesktopWindows {
public:
    bool Flash(const FLASHWINFO& info) override {
        ::AssertUIThread("CGtkDesktop::Flash");
        CWindowWnd* wnd = CWindowWnd::FromHandle(info.hwnd);
        return wnd && wnd->GetBackend() && wnd->GetBackend()->RequestAttention(info.dwFlags != FLASHW_STOP);
    }
};
}  // namespace

bool UIBackendGtkInit() {
    static CGtkFactory factory;
    static CGtkDesktop desktop;
    // The windows draw with cairo alone: GDK's GL stays off (unless asked for), so that opening the display
    // does not load and probe the GL driver, which took megabytes and much of the start-up. The web views
    // then draw their pages in software too, which costs the web process far less than GL through a
    // software renderer. GDK reads the variable only when it opens the display; once it is open, threads of
    // the toolkit read the environment, and setting it then would race with them.
    static bool ok = [] {
        if (!gdk_display_get_default()) g_setenv("GDK_GL", "disable", FALSE);
        // The font map of this thread reads the font configuration on a thread of its own: made now, that
        // runs while the toolkit starts and the first window loads its style, rather than holding up the
        // window's first text.
        pango_cairo_font_map_get_default();
        return gtk_init_check(nullptr, nullptr) != FALSE;
    }();
    if (ok) {
        SetWindowBackendFactory(&factory);
        SetDesktopWindows(&desktop);
    }
    return ok;
}

}  // namespace DuiLib
