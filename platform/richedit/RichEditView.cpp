#include "RichEditView.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>

#include "RichEdit.h"
#include "UIRender.h"
#include "UIWindow.h"
#include "ZqLib.h"

namespace richedit {

namespace {
constexpr const char* kUserKey = "varnet-user";
constexpr const char* kClassKey = "varnet-class";
constexpr const char* kPathKey = "varnet-path";

// Code points before the UTF-16 position `pos` of text.
int CharOffset(const std::u16string& text, int pos) {
    int chars = 0;
    for (int i = 0; i < pos && i < (int)text.size(); ++i)
        if ((text[(size_t)i] & 0xFC00) != 0xDC00) ++chars;
    return chars;
}

void AppendUnit(std::u16string& out, gunichar c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += (char16_t)(0xD800 + (c >> 10));
        out += (char16_t)(0xDC00 + (c & 0x3FF));
    } else {
        out += (char16_t)c;
    }
}

UINT KeyToVk(guint keyval) {
    switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
        return VK_RETURN;
    case GDK_KEY_BackSpace:
        return VK_BACK;
    case GDK_KEY_Escape:
        return VK_ESCAPE;
    case GDK_KEY_Tab:
        return VK_TAB;
    default:
        break;
    }
    gunichar c = gdk_keyval_to_unicode(keyval);
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return c < 0x10000 ? (UINT)c : 0;
}
}  // namespace

GdkPixbufAnimation* LoadAnimation(const std::string& gbkPath) {
    if (gbkPath.empty()) return nullptr;
    std::string native = Dir::ToNativePath(gbkPath);
    gchar* data = nullptr;
    gsize size = 0;
    if (!g_file_get_contents(native.c_str(), &data, &size, nullptr)) return nullptr;
    GdkPixbufLoader* loader = DuiLib::DecodeImageData(data, size);
    g_free(data);
    if (!loader) return nullptr;
    GdkPixbufAnimation* anim = gdk_pixbuf_loader_get_animation(loader);
    if (anim) g_object_ref(anim);
    g_object_unref(loader);
    return anim;
}

RichEditView* RichEditView::Create(CRichEdit* owner, HWND parent, const RECT& rc) {
    DuiLib::CWindowWnd* wnd = DuiLib::CWindowWnd::FromHandle(parent);
    DuiLib::IWindowBackend* backend = wnd ? wnd->GetBackend() : nullptr;
    if (!backend || !backend->HasNativeWidgets()) return nullptr;
    auto* v = new RichEditView;
    v->m_owner = owner;
    v->m_parent = parent;
    v->m_scroll = gtk_scrolled_window_new(nullptr, nullptr);
    g_object_ref_sink(v->m_scroll);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(v->m_scroll), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    v->m_text = gtk_text_view_new();
    g_object_ref_sink(v->m_text);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(v->m_text), GTK_WRAP_WORD_CHAR);
    gtk_container_add(GTK_CONTAINER(v->m_scroll), v->m_text);
    GtkTextBuffer* buf = gtk_text_view_get_buffer(GTK_TEXT_VIEW(v->m_text));
    v->m_buffer = g_object_ref(buf);
    v->m_effects = gtk_text_buffer_create_tag(buf, "varnet-effects", nullptr);
    g_signal_connect(buf, "changed", G_CALLBACK(OnChanged), v);
    g_signal_connect(buf, "insert-text", G_CALLBACK(OnInsertText), v);
    g_signal_connect(v->m_text, "key-press-event", G_CALLBACK(OnKey), v);
    g_signal_connect(v->m_text, "button-press-event", G_CALLBACK(OnButton), v);
    g_signal_connect(v->m_text, "copy-clipboard", G_CALLBACK(OnClipboard), v);
    g_signal_connect(v->m_text, "cut-clipboard", G_CALLBACK(OnClipboard), v);
    g_signal_connect(v->m_text, "paste-clipboard", G_CALLBACK(OnClipboard), v);
    g_signal_connect(v->m_scroll, "destroy", G_CALLBACK(OnDestroyed), v);
    gtk_widget_show_all(v->m_scroll);
    v->Place(rc, true);
    return v;
}

RichEditView::~RichEditView() {
    g_signal_handlers_disconnect_by_data(m_buffer, this);
    g_signal_handlers_disconnect_by_data(m_text, this);
    g_signal_handlers_disconnect_by_data(m_scroll, this);
    if (!m_dead) {
        DuiLib::CWindowWnd* wnd = DuiLib::CWindowWnd::FromHandle(m_parent);
        if (wnd && wnd->GetBackend()) wnd->GetBackend()->RemoveNativeWidget(m_scroll);
        gtk_widget_destroy(m_scroll);
    }
    if (m_css) g_object_unref(m_css);
    g_object_unref(m_buffer);
    g_object_unref(m_text);
    g_object_unref(m_scroll);
}

void RichEditView::OnDestroyed(GtkWidget*, void* p) {
    auto* self = static_cast<RichEditView*>(p);
    self->m_dead = true;
    g_signal_handlers_disconnect_by_data(self->m_buffer, self);
    g_signal_handlers_disconnect_by_data(self->m_text, self);
}

void RichEditView::Place(const RECT& rc, bool visible) {
    if (m_dead) return;
    DuiLib::CWindowWnd* wnd = DuiLib::CWindowWnd::FromHandle(m_parent);
    if (wnd && wnd->GetBackend()) wnd->GetBackend()->PlaceNativeWidget(m_scroll, rc, visible);
}

void RichEditView::Focus() {
    if (!m_dead) gtk_widget_grab_focus(m_text);
}

void RichEditView::SetFormat(const CharFormat& cf, uint32_t bk) {
    std::string family;
    for (char c : DuiLib::GbkToUtf8(cf.face))
        if (c != '"' && c != '\\' && c != ';' && c != '}') family += c;
    auto rgb = [](uint32_t bgr) { return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF); };
    char css[512];
    snprintf(css, sizeof(css),
             "textview, textview text { background: #%06X; color: #%06X; font-family: \"%s\", \"WenQuanYi Micro Hei\","
             " sans-serif; font-size: %dpt; font-weight: %s; font-style: %s; }",
             (unsigned)rgb(bk), (unsigned)rgb(cf.color), family.c_str(), std::clamp(cf.heightTwips / 20, 1, 200),
             (cf.effects & 1) ? "bold" : "normal", (cf.effects & 2) ? "italic" : "normal");
    if (m_dead) return;
    if (!m_css) {
        m_css = gtk_css_provider_new();
        gtk_style_context_add_provider(gtk_widget_get_style_context(m_text), GTK_STYLE_PROVIDER(m_css),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }
    gtk_css_provider_load_from_data(GTK_CSS_PROVIDER(m_css), css, -1, nullptr);
    g_object_set(m_effects, "underline", (cf.effects & 4) ? PANGO_UNDERLINE_SINGLE : PANGO_UNDERLINE_NONE,
                 "strikethrough", (cf.effects & 8) ? TRUE : FALSE, nullptr);
    ApplyEffects();
}

void RichEditView::ApplyEffects() {
    GtkTextBuffer* buf = GTK_TEXT_BUFFER(m_buffer);
    GtkTextIter a, b;
    gtk_text_buffer_get_bounds(buf, &a, &b);
    gtk_text_buffer_apply_tag(buf, GTK_TEXT_TAG(m_effects), &a, &b);
}

void RichEditView::Render(const RichEditModel& model) {
    if (m_dead) return;
    m_rendering = true;
    GtkTextBuffer* buf = GTK_TEXT_BUFFER(m_buffer);
    gtk_text_buffer_set_text(buf, "", 0);
    const std::u16string& text = model.GetText();
    int start = 0;
    GtkTextIter end;
    auto flush = [&](int upto) {
        if (upto > start) {
            std::string utf8 = Charset::Utf16ToUtf8(text.substr((size_t)start, (size_t)(upto - start)));
            gtk_text_buffer_get_end_iter(buf, &end);
            gtk_text_buffer_insert(buf, &end, utf8.data(), (int)utf8.size());
        }
    };
    for (const auto& o : model.Objects()) {
        flush(o.pos);
        gtk_text_buffer_get_end_iter(buf, &end);
        GtkTextChildAnchor* anchor = gtk_text_buffer_create_child_anchor(buf, &end);
        g_object_set_data(G_OBJECT(anchor), kUserKey, (gpointer)o.user);
        g_object_set_data_full(G_OBJECT(anchor), kClassKey, g_strdup(o.classTag.c_str()), g_free);
        g_object_set_data_full(G_OBJECT(anchor), kPathKey, g_strdup(o.imagePath.c_str()), g_free);
        GtkWidget* img = nullptr;
        if (GdkPixbufAnimation* a = LoadAnimation(o.imagePath)) {
            img = gtk_image_new_from_animation(a);
            g_object_unref(a);
        } else {
            img = gtk_image_new();
        }
        gtk_text_view_add_child_at_anchor(GTK_TEXT_VIEW(m_text), img, anchor);
        gtk_widget_show(img);
        start = o.pos + 1;
    }
    flush((int)text.size());
    ApplyEffects();
    GtkTextIter s, e;
    gtk_text_buffer_get_iter_at_offset(buf, &s, CharOffset(text, model.GetSelStart()));
    gtk_text_buffer_get_iter_at_offset(buf, &e, CharOffset(text, model.GetSelEnd()));
    gtk_text_buffer_select_range(buf, &e, &s);
    m_rendering = false;
}

void RichEditView::Snapshot(RichEditModel& model) {
    if (m_dead) return;
    GtkTextBuffer* buf = GTK_TEXT_BUFFER(m_buffer);
    std::u16string text;
    std::vector<EmbeddedObject> objects;
    GtkTextIter it, sel1, sel2;
    gtk_text_buffer_get_start_iter(buf, &it);
    gtk_text_buffer_get_selection_bounds(buf, &sel1, &sel2);
    int off1 = gtk_text_iter_get_offset(&sel1), off2 = gtk_text_iter_get_offset(&sel2);
    int u1 = 0, u2 = 0;
    while (!gtk_text_iter_is_end(&it)) {
        int off = gtk_text_iter_get_offset(&it);
        if (off == off1) u1 = (int)text.size();
        if (off == off2) u2 = (int)text.size();
        if (GtkTextChildAnchor* a = gtk_text_iter_get_child_anchor(&it)) {
            EmbeddedObject o;
            o.pos = (int)text.size();
            o.user = (intptr_t)g_object_get_data(G_OBJECT(a), kUserKey);
            const char* cls = (const char*)g_object_get_data(G_OBJECT(a), kClassKey);
            const char* path = (const char*)g_object_get_data(G_OBJECT(a), kPathKey);
            o.classTag = cls ? cls : "";
            o.imagePath = path ? path : "";
            objects.push_back(std::move(o));
            text += kObjectChar;
        } else {
            gunichar c = gtk_text_iter_get_char(&it);
            AppendUnit(text, c == kObjectChar ? (gunichar)'?' : c);
        }
        gtk_text_iter_forward_char(&it);
    }
    if (gtk_text_iter_get_offset(&it) == off1) u1 = (int)text.size();
    if (gtk_text_iter_get_offset(&it) == off2) u2 = (int)text.size();
    int limit = model.GetLimit();
    model.Assign(text, std::move(objects));
    model.SetLimit(limit);
    model.SetSel(u1, u2);
}

void RichEditView::SetClipboardText(const std::u16string& text) {
    if (m_dead) return;
    std::string utf8 = Charset::Utf16ToUtf8(text);
    gtk_clipboard_set_text(gtk_widget_get_clipboard(m_text, GDK_SELECTION_CLIPBOARD), utf8.c_str(), (int)utf8.size());
}

void RichEditView::RequestClipboardText(std::function<void(bool, const std::u16string&)> done) {
    if (m_dead) {
        done(false, {});
        return;
    }
    using Done = std::function<void(bool, const std::u16string&)>;
    gtk_clipboard_request_text(
        gtk_widget_get_clipboard(m_text, GDK_SELECTION_CLIPBOARD),
        [](GtkClipboard*, const gchar* text, gpointer p) {
            std::unique_ptr<Done> d(static_cast<Done*>(p));
            if (text) (*d)(true, Charset::Utf8ToUtf16(text));
            else (*d)(false, {});
        },
        new Done(std::move(done)));
}

void RichEditView::OnInsertText(void* buffer, void*, const char* text, int len, void* p) {
    auto* self = static_cast<RichEditView*>(p);
    if (self->m_rendering || self->m_limit <= 0) return;
    std::u16string add = Charset::Utf8ToUtf16(std::string(text, len < 0 ? strlen(text) : (size_t)len));
    int have = gtk_text_buffer_get_char_count(GTK_TEXT_BUFFER(buffer));
    if (have + (int)add.size() > self->m_limit) g_signal_stop_emission_by_name(buffer, "insert-text");
}

void RichEditView::OnChanged(void*, void* p) {
    auto* self = static_cast<RichEditView*>(p);
    if (self->m_rendering) return;
    self->ApplyEffects();
    self->m_owner->NotifyChanged();
}

int RichEditView::OnKey(GtkWidget*, void* event, void* p) {
    auto* self = static_cast<RichEditView*>(p);
    auto* e = static_cast<GdkEventKey*>(event);
    KeyEvent k;
    k.vk = KeyToVk(e->keyval);
    k.shift = (e->state & GDK_SHIFT_MASK) != 0;
    k.ctrl = (e->state & GDK_CONTROL_MASK) != 0;
    if (!k.vk) return FALSE;
    // The input method sees the key first: Enter that ends a composition commits it and is not the owner's.
    if (gtk_text_view_im_context_filter_keypress(GTK_TEXT_VIEW(self->m_text), e)) return TRUE;
    return self->m_owner->FilterKey(k) ? TRUE : FALSE;
}

int RichEditView::OnButton(GtkWidget*, void* event, void* p) {
    auto* e = static_cast<GdkEventButton*>(event);
    if (e->type != GDK_BUTTON_PRESS || e->button != 3) return FALSE;
    static_cast<RichEditView*>(p)->m_owner->NotifyContextMenu(POINT{(int)e->x_root, (int)e->y_root});
    return TRUE;
}

void RichEditView::OnClipboard(GtkWidget* w, void* p) {
    // Our own clipboard keeps the objects; the signal's default handler would drop them.
    auto* self = static_cast<RichEditView*>(p);
    const char* name = g_signal_name(g_signal_get_invocation_hint(w)->signal_id);
    g_signal_stop_emission_by_name(w, name);
    std::string n = name;
    if (n == "copy-clipboard") self->m_owner->Copy();
    else if (n == "cut-clipboard") self->m_owner->Cut();
    else self->m_owner->Paste();
}

}  // namespace richedit
