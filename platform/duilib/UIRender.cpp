#include "UIRender.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "GbkCut.h"
#include "UIControl.h"
#include "UIGif.h"
#include "UIManager.h"

namespace DuiLib {

namespace {
// ASCII reads the same in both encodings.
bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}
}  // namespace

std::string GbkToUtf8(const std::string& gbk) {
    if (IsAscii(gbk)) return gbk;
    gsize written = 0;
    gchar* out =
        g_convert_with_fallback(gbk.data(), (gssize)gbk.size(), "UTF-8", "GB18030", "?", nullptr, &written, nullptr);
    if (!out) {
        std::string s;
        for (char c : gbk) s += ((unsigned char)c < 0x80) ? c : '?';
        return s;
    }
    std::string r(out, written);
    g_free(out);
    return r;
}

std::string Utf8ToGbk(const std::string& utf8) {
    if (IsAscii(utf8)) return utf8;
    gsize written = 0;
    gchar* out =
        g_convert_with_fallback(utf8.data(), (gssize)utf8.size(), "GB18030", "UTF-8", "?", nullptr, &written, nullptr);
    if (!out) return {};
    std::string r(out, written);
    g_free(out);
    return r;
}

TImageInfo::~TImageInfo() {
    if (surface) cairo_surface_destroy(surface);
}

TFontInfo::TFontInfo(const char* name, int size, bool bold, bool underline, bool italic)
    : sFontName(name ? name : ""), iSize(size > 0 ? size : 12), bBold(bold), bUnderline(underline), bItalic(italic) {
    desc = pango_font_description_new();
    std::string fam = GbkToUtf8(sFontName);
    fam += fam.empty() ? "WenQuanYi Micro Hei,sans" : ",WenQuanYi Micro Hei,sans";
    pango_font_description_set_family(desc, fam.c_str());
    pango_font_description_set_absolute_size(desc, iSize * PANGO_SCALE);
    pango_font_description_set_weight(desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
}

TFontInfo::~TFontInfo() {
    if (desc) pango_font_description_free(desc);
}

bool TDrawImage::Parse(const char* attr) {
    *this = TDrawImage();
    std::string s = attr ? attr : "";
    if (s.find('=') == std::string::npos) {
        sFile = s;
        return !s.empty();
    }
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        size_t eq = s.find('=', i);
        if (eq == std::string::npos) break;
        std::string key = s.substr(i, eq - i);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        size_t q = s.find('\'', eq);
        if (q == std::string::npos) break;
        size_t e = s.find('\'', q + 1);
        if (e == std::string::npos) break;
        std::string val = s.substr(q + 1, e - q - 1);
        i = e + 1;
        if (key == "file" || key == "res") sFile = val;
        else if (key == "source") {
            rcSource = CControlUI::ParseRect(val.c_str());
            bHasSource = true;
        } else if (key == "dest") {
            rcDest = CControlUI::ParseRect(val.c_str());
            bHasDest = true;
        } else if (key == "corner") rcCorner = CControlUI::ParseRect(val.c_str());
        else if (key == "fade") uFade = (unsigned char)std::clamp(atoi(val.c_str()), 0, 255);
    }
    return !sFile.empty();
}

void IRenderTarget::PushClip(const RECT& rc) {
    cairo_save(m_cr);
    cairo_rectangle(m_cr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    cairo_clip(m_cr);
}

void IRenderTarget::PopClip() {
    cairo_restore(m_cr);
}

static void SetColor(cairo_t* cr, DWORD argb, bool forceOpaque) {
    double a = forceOpaque ? 1.0 : ((argb >> 24) & 0xFF) / 255.0;
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0, a);
}

static bool SizeOk(long long w, long long h) {
    return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxImagePixels;
}

TImageInfo* ImageFromPixbuf(GdkPixbuf* pb) {
    if (!pb) return nullptr;
    int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb);
    if (!SizeOk(w, h)) return nullptr;
    int n = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
    if (gdk_pixbuf_get_bits_per_sample(pb) != 8 || n < 3) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    // Pixbuf to premultiplied ARGB without needing a display.
    bool alpha = gdk_pixbuf_get_has_alpha(pb) && n >= 4;
    const guchar* src = gdk_pixbuf_read_pixels(pb);
    cairo_surface_flush(s);
    unsigned char* dst = cairo_image_surface_get_data(s);
    int dstride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < h; ++y) {
        const guchar* row = src + (size_t)y * stride;
        for (int x = 0; x < w; ++x) {
            const guchar* p = row + (size_t)x * n;
            unsigned a = alpha ? p[3] : 255;
            uint32_t v = (a << 24) | ((p[0] * a / 255) << 16) | ((p[1] * a / 255) << 8) | (p[2] * a / 255);
            memcpy(dst + (size_t)y * dstride + (size_t)x * 4, &v, 4);
        }
    }
    cairo_surface_mark_dirty(s);
    auto* img = new TImageInfo;
    img->surface = s;
    img->nX = w;
    img->nY = h;
    img->bAlpha = alpha;
    return img;
}

// A second guard: the size the decoder found, should it differ from the header's.
static void OnSizePrepared(GdkPixbufLoader*, gint w, gint h, gpointer tooBig) {
    if (!SizeOk(w, h)) *static_cast<bool*>(tooBig) = true;
}

GdkPixbufLoader* DecodeImageData(const void* data, size_t size) {
    if (!data || size == 0) return nullptr;
    TImageHeader header;
    if (!ReadImageHeader(data, size, header)) return nullptr;
    if (!ImageHeaderAllowed(header)) return nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type(header.format, nullptr);
    if (!loader) return nullptr;
    bool tooBig = false;
    g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), &tooBig);
    // Fed in chunks so that an oversized header stops the decoding early.
    const guchar* p = (const guchar*)data;
    bool ok = true;
    for (size_t off = 0; ok && off < size && !tooBig;) {
        size_t n = std::min<size_t>(size - off, 64 * 1024);
        ok = gdk_pixbuf_loader_write(loader, p + off, n, nullptr);
        off += n;
    }
    ok = gdk_pixbuf_loader_close(loader, nullptr) && ok && !tooBig;
    g_signal_handlers_disconnect_by_func(loader, (gpointer)OnSizePrepared, &tooBig);
    if (!ok) {
        g_object_unref(loader);
        return nullptr;
    }
    return loader;
}

TImageInfo* CRenderEngine::LoadImageData(const void* data, size_t size) {
    GdkPixbufLoader* loader = DecodeImageData(data, size);
    if (!loader) return nullptr;
    TImageInfo* img = ImageFromPixbuf(gdk_pixbuf_loader_get_pixbuf(loader));
    g_object_unref(loader);
    return img;
}

void CRenderEngine::DrawColor(HDC hDC, const RECT& rc, DWORD color) {
    if (!hDC || (color >> 24) == 0) return;
    cairo_t* cr = hDC->Cairo();
    SetColor(cr, color, false);
    cairo_rectangle(cr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    cairo_fill(cr);
}

// A rectangle path with corners of radius r (a plain rectangle when r is 0).
static void RoundPath(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    if (r <= 0) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -G_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, G_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, G_PI / 2, G_PI);
    cairo_arc(cr, x + r, y + r, r, G_PI, 3 * G_PI / 2);
    cairo_close_path(cr);
}

void CRenderEngine::DrawRoundColor(HDC hDC, const RECT& rc, int radius, DWORD color) {
    if (!hDC || (color >> 24) == 0) return;
    cairo_t* cr = hDC->Cairo();
    SetColor(cr, color, false);
    RoundPath(cr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, radius);
    cairo_fill(cr);
}

void CRenderEngine::DrawRoundRect(HDC hDC, const RECT& rc, int nSize, int radius, DWORD color) {
    if (!hDC || nSize <= 0) return;
    cairo_t* cr = hDC->Cairo();
    SetColor(cr, color, (color >> 24) == 0);
    cairo_set_line_width(cr, nSize);
    double h = nSize / 2.0;
    RoundPath(cr, rc.left + h, rc.top + h, rc.right - rc.left - nSize, rc.bottom - rc.top - nSize, radius);
    cairo_stroke(cr);
}

void CRenderEngine::DrawRect(HDC hDC, const RECT& rc, int nSize, DWORD color) {
    if (!hDC || nSize <= 0) return;
    cairo_t* cr = hDC->Cairo();
    SetColor(cr, color, (color >> 24) == 0);
    cairo_set_line_width(cr, nSize);
    double h = nSize / 2.0;
    cairo_rectangle(cr, rc.left + h, rc.top + h, rc.right - rc.left - nSize, rc.bottom - rc.top - nSize);
    cairo_stroke(cr);
}

void CRenderEngine::DrawLine(HDC hDC, const RECT& rc, int nSize, DWORD color) {
    if (!hDC || nSize <= 0) return;
    cairo_t* cr = hDC->Cairo();
    SetColor(cr, color, (color >> 24) == 0);
    cairo_set_line_width(cr, nSize);
    double off = (nSize % 2) ? 0.5 : 0.0;
    cairo_move_to(cr, rc.left + off, rc.top + off);
    cairo_line_to(cr, rc.right + off, rc.bottom + off);
    cairo_stroke(cr);
}

static void DrawPiece(cairo_t* cr, cairo_surface_t* s, double sx, double sy, double sw, double sh, double dx, double dy,
                      double dw, double dh, double alpha) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, dx, dy, dw, dh);
    cairo_clip(cr);
    cairo_translate(cr, dx, dy);
    cairo_scale(cr, dw / sw, dh / sh);
    cairo_set_source_surface(cr, s, -sx, -sy);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
}

void CRenderEngine::DrawImage(HDC hDC, const TImageInfo* img, const RECT& rcDest, const RECT& rcPaint,
                              const RECT& rcBmpPart, const RECT& c, bool, unsigned char uFade) {
    if (!hDC || !img || !img->surface) return;
    RECT clip;
    if (!IntersectRect(&clip, rcDest, rcPaint)) return;
    cairo_t* cr = hDC->Cairo();
    double a = uFade / 255.0;
    const RECT& s = rcBmpPart;
    const RECT& d = rcDest;
    // Nine pieces: corners keep their size, edges and centre stretch.
    double sx[4] = {(double)s.left, (double)s.left + c.left, (double)s.right - c.right, (double)s.right};
    double sy[4] = {(double)s.top, (double)s.top + c.top, (double)s.bottom - c.bottom, (double)s.bottom};
    double dx[4] = {(double)d.left, (double)d.left + c.left, (double)d.right - c.right, (double)d.right};
    double dy[4] = {(double)d.top, (double)d.top + c.top, (double)d.bottom - c.bottom, (double)d.bottom};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            DrawPiece(cr, img->surface, sx[i], sy[j], sx[i + 1] - sx[i], sy[j + 1] - sy[j], dx[i], dy[j],
                      dx[i + 1] - dx[i], dy[j + 1] - dy[j], a);
}

bool CRenderEngine::DrawImageString(HDC hDC, CPaintManagerUI* pm, const RECT& rcItem, const RECT& rcPaint,
                                    const char* pStrImage) {
    if (!pm) return false;
    TDrawImage di;
    if (!di.Parse(pStrImage)) return false;
    const TImageInfo* img = pm->GetImage(di.sFile.c_str());
    if (!img) return false;
    RECT src = di.bHasSource ? di.rcSource : RECT{0, 0, img->nX, img->nY};
    if (src.right > img->nX) src.right = img->nX;
    if (src.bottom > img->nY) src.bottom = img->nY;
    RECT dst = rcItem;
    if (di.bHasDest) {
        dst = {rcItem.left + di.rcDest.left, rcItem.top + di.rcDest.top, rcItem.left + di.rcDest.right,
               rcItem.top + di.rcDest.bottom};
        if (dst.right > rcItem.right) dst.right = rcItem.right;
        if (dst.bottom > rcItem.bottom) dst.bottom = rcItem.bottom;
    }
    DrawImage(hDC, img, dst, rcPaint, src, di.rcCorner, img->bAlpha, di.uFade);
    return true;
}

namespace {

cairo_t* MeasureContext() {
    static cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    static cairo_t* cr = cairo_create(s);
    return cr;
}

// A picture inside rich text: the object character at `index` (UTF-8 bytes of the laid-out text) holds its
// place; `top` is the picture's top relative to the line's baseline, in Pango units.
struct InlinePicture {
    int index = 0;
    const TImageInfo* image = nullptr;
    RECT source{};
    int width = 0, height = 0;
    int top = 0;
};

struct Laid {
    PangoLayout* layout = nullptr;
    double ox = 0, oy = 0;
    std::vector<InlinePicture> pictures;
    ~Laid() {
        if (layout) g_object_unref(layout);
    }
};

constexpr char kObjectChar[] = "\xEF\xBF\xBC";  // U+FFFC in UTF-8
constexpr int kObjectCharBytes = 3;

// Gives each picture its place in the layout: a shape as wide and high as the picture, centred on the middle of
// the font's text (a taller picture makes its line taller).
void PlacePictures(Laid& out, const TFontInfo* f) {
    if (out.pictures.empty()) return;
    PangoFontMetrics* m = pango_context_get_metrics(pango_layout_get_context(out.layout), f->desc, nullptr);
    const int middle = (pango_font_metrics_get_ascent(m) - pango_font_metrics_get_descent(m)) / 2;
    pango_font_metrics_unref(m);
    PangoAttrList* given = pango_layout_get_attributes(out.layout);
    PangoAttrList* attrs = given ? pango_attr_list_copy(given) : pango_attr_list_new();
    for (InlinePicture& p : out.pictures) {
        p.top = -middle - p.height * PANGO_SCALE / 2;
        PangoRectangle r{0, p.top, p.width * PANGO_SCALE, p.height * PANGO_SCALE};
        PangoAttribute* a = pango_attr_shape_new(&r, &r);
        a->start_index = guint(p.index);
        a->end_index = guint(p.index + kObjectCharBytes);
        pango_attr_list_insert(attrs, a);
    }
    pango_layout_set_attributes(out.layout, attrs);
    pango_attr_list_unref(attrs);
}

// Draws the pictures of a layout shown at (ox, oy).
void DrawPictures(HDC hDC, const Laid& l, const RECT& clip) {
    for (const InlinePicture& p : l.pictures) {
        if (!p.image) continue;
        PangoLayoutIter* it = pango_layout_get_iter(l.layout);
        int baseline = 0;
        do {
            PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
            if (p.index >= line->start_index && p.index < line->start_index + line->length) {
                baseline = pango_layout_iter_get_baseline(it);
                break;
            }
        } while (pango_layout_iter_next_line(it));
        pango_layout_iter_free(it);
        PangoRectangle pos;
        pango_layout_index_to_pos(l.layout, p.index, &pos);
        const int x = int(l.ox + pos.x / PANGO_SCALE), y = int(l.oy + (baseline + p.top) / PANGO_SCALE);
        CRenderEngine::DrawImage(hDC, p.image, {x, y, x + p.width, y + p.height}, clip, p.source, {0, 0, 0, 0},
                                 p.image->bAlpha, 255);
    }
}

// The layouts of the plain texts laid out last (a label repainted, a banner scrolling): shaping a text again
// costs more than drawing it. Per thread; the oldest goes first.
class LayoutCache {
public:
    ~LayoutCache() {
        for (Entry& e : m_entries) Drop(e);
    }
    // A reference to the layout of these, updated for cr; null when none is kept.
    PangoLayout* Find(cairo_t* cr, const std::string& utf8, const TFontInfo* f, UINT style, int width) {
        for (size_t i = 0; i < m_entries.size(); ++i) {
            Entry& e = m_entries[i];
            if (e.style != style || e.width != width || e.underline != f->bUnderline || e.text != utf8 ||
                !pango_font_description_equal(e.desc, f->desc))
                continue;
            std::rotate(m_entries.begin(), m_entries.begin() + long(i), m_entries.begin() + long(i) + 1);
            pango_cairo_update_layout(cr, m_entries.front().layout);
            return PANGO_LAYOUT(g_object_ref(m_entries.front().layout));
        }
        return nullptr;
    }
    void Keep(PangoLayout* layout, const std::string& utf8, const TFontInfo* f, UINT style, int width) {
        if (m_entries.size() >= kEntries) {
            Drop(m_entries.back());
            m_entries.pop_back();
        }
        m_entries.insert(m_entries.begin(), Entry{PANGO_LAYOUT(g_object_ref(layout)), utf8,
                                                  pango_font_description_copy(f->desc), f->bUnderline, style, width});
    }

private:
    static constexpr size_t kEntries = 48;
    struct Entry {
        PangoLayout* layout;
        std::string text;
        PangoFontDescription* desc;
        bool underline;
        UINT style;
        int width;
    };
    static void Drop(Entry& e) {
        g_object_unref(e.layout);
        pango_font_description_free(e.desc);
    }
    std::vector<Entry> m_entries;
};

// Places a laid-out text inside rc by the style bits.
void Place(Laid& out, const RECT& rc, UINT style) {
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    const bool single = (style & DT_SINGLELINE) || !(style & DT_WORDBREAK);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(out.layout, nullptr, &logical);
    out.ox = rc.left;
    if (single && !(style & DT_END_ELLIPSIS)) {
        if (style & DT_CENTER) out.ox += (w - logical.width) / 2.0;
        else if (style & DT_RIGHT) out.ox += w - logical.width;
    }
    out.oy = rc.top;
    if (style & DT_VCENTER) out.oy += (h - logical.height) / 2.0;
    else if (style & DT_BOTTOM) out.oy += h - logical.height;
    if (out.oy < rc.top && !(style & DT_VCENTER)) out.oy = rc.top;
}

// Lays out UTF-8 text (or markup) inside rc with the style bits.
void LayOut(Laid& out, cairo_t* cr, CPaintManagerUI* pm, const RECT& rc, const std::string& utf8, bool markup,
            int iFont, UINT style) {
    TFontInfo* f = pm ? pm->GetFont(iFont) : nullptr;
    static TFontInfo fallback("", 12, false, false, false);
    if (!f) f = &fallback;
    // The width matters to wrapped and ellipsised texts only.
    const bool sized = !((style & DT_SINGLELINE) || !(style & DT_WORDBREAK)) || (style & DT_END_ELLIPSIS);
    const int keyWidth = sized ? std::max(1, int(rc.right - rc.left)) : 0;
    const UINT keyStyle = style & (DT_SINGLELINE | DT_WORDBREAK | DT_END_ELLIPSIS | DT_CENTER | DT_RIGHT);
    thread_local LayoutCache cache;
    if (!markup) {
        out.pictures.clear();
        if ((out.layout = cache.Find(cr, utf8, f, keyStyle, keyWidth))) {
            Place(out, rc, style);
            return;
        }
    }
    out.layout = pango_cairo_create_layout(cr);
    pango_layout_set_font_description(out.layout, f->desc);
    if (f->bUnderline) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(out.layout, attrs);
        pango_attr_list_unref(attrs);
    }
    bool ok = false;
    if (markup) {
        ok = pango_parse_markup(utf8.c_str(), -1, 0, nullptr, nullptr, nullptr, nullptr);
        if (ok) pango_layout_set_markup(out.layout, utf8.c_str(), -1);
    }
    if (!ok) pango_layout_set_text(out.layout, utf8.c_str(), -1);
    if (ok) PlacePictures(out, f);
    else out.pictures.clear();
    int w = rc.right - rc.left;
    bool single = (style & DT_SINGLELINE) || !(style & DT_WORDBREAK);
    if (!single) {
        pango_layout_set_width(out.layout, std::max(1, w) * PANGO_SCALE);
        pango_layout_set_wrap(out.layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_alignment(out.layout, (style & DT_CENTER)  ? PANGO_ALIGN_CENTER
                                               : (style & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                                                    : PANGO_ALIGN_LEFT);
    } else if (style & DT_END_ELLIPSIS) {
        pango_layout_set_width(out.layout, std::max(1, w) * PANGO_SCALE);
        pango_layout_set_ellipsize(out.layout, PANGO_ELLIPSIZE_END);
        pango_layout_set_alignment(out.layout, (style & DT_CENTER)  ? PANGO_ALIGN_CENTER
                                               : (style & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                                                    : PANGO_ALIGN_LEFT);
    }
    if (!markup) cache.Keep(out.layout, utf8, f, keyStyle, keyWidth);
    Place(out, rc, style);
}

std::string ColorSpan(DWORD c) {
    char buf[32];
    snprintf(buf, sizeof(buf), "#%02X%02X%02X", (unsigned)((c >> 16) & 0xFF), (unsigned)((c >> 8) & 0xFF),
             (unsigned)(c & 0xFF));
    return buf;
}

// A picture name of the skin's resources: no absolute path, no way out of the resource folders.
bool IsResourceName(const std::string& name) {
    return !name.empty() && name[0] != '/' && name[0] != '\\' && name.find("..") == std::string::npos &&
           name.find(':') == std::string::npos;
}

// "<i name [n [k]]>": frame k (from 0) of a picture strip of n frames side by side (the whole picture when n is
// missing); false when the picture is not found.
bool ParsePicture(CPaintManagerUI* pm, const std::string& arg, InlinePicture& out) {
    if (!pm) return false;
    std::string name = arg.substr(0, arg.find(' '));
    std::string rest = name.size() < arg.size() ? arg.substr(name.size()) : std::string();
    if (!IsResourceName(name)) return false;
    const TImageInfo* img = pm->GetImage(name.c_str());
    if (!img || !img->surface) return false;
    char* end = nullptr;
    long frames = strtol(rest.c_str(), &end, 10);
    long frame = strtol(end, nullptr, 10);
    if (frames < 1 || frames > img->nX) frames = 1;
    if (frame < 0 || frame >= frames) frame = 0;
    out.image = img;
    out.width = img->nX / int(frames);
    out.height = img->nY;
    out.source = {out.width * int(frame), 0, out.width * int(frame + 1), img->nY};
    return true;
}

// Turns tagged GBK text into Pango markup; links get their plain-text UTF-8 ranges, pictures an object
// character each (with `pm` to find them; without `pictures` they are dropped). A doubled opening bracket
// stands for the bracket itself.
std::string ToMarkup(const std::string& gbk, bool angle, DWORD linkColor, std::vector<TTextLink>* links,
                     CPaintManagerUI* pm = nullptr, std::vector<InlinePicture>* pictures = nullptr) {
    char open = angle ? '<' : '{', close = angle ? '>' : '}';
    std::string markup;
    int plain = 0;
    std::vector<std::string> stack;
    auto text = [&](const std::string& seg) {
        if (seg.empty()) return;
        std::string u = GbkToUtf8(seg);
        gchar* esc = g_markup_escape_text(u.c_str(), (gssize)u.size());
        markup += esc;
        g_free(esc);
        plain += (int)u.size();
    };
    auto closeTo = [&](const std::string& name) {
        auto it = std::find(stack.rbegin(), stack.rend(), name);
        if (it == stack.rend()) return false;
        while (!stack.empty()) {
            std::string top = stack.back();
            stack.pop_back();
            markup += top == "b" ? "</b>" : top == "i" ? "</i>" : "</span>";
            if (top == "a" && links && !links->empty()) links->back().endUtf8 = plain;
            if (top == name) break;
        }
        return true;
    };
    size_t i = 0;
    std::string seg;
    while (i < gbk.size()) {
        if (varnet::GbkUnitLength(gbk.data(), gbk.size(), i) == 2) {
            seg.append(gbk, i, 2);
            i += 2;
            continue;
        }
        if (gbk[i] != open) {
            seg += gbk[i++];
            continue;
        }
        if (i + 1 < gbk.size() && gbk[i + 1] == open) {
            seg += open;
            i += 2;
            continue;
        }
        size_t end = gbk.find(close, i + 1);
        if (end == std::string::npos) {
            seg += gbk[i++];
            continue;
        }
        text(seg);
        seg.clear();
        std::string tag = gbk.substr(i + 1, end - i - 1);
        i = end + 1;
        std::string name = tag.substr(0, tag.find(' '));
        std::string arg = tag.find(' ') == std::string::npos ? "" : tag.substr(tag.find(' ') + 1);
        if (!name.empty() && name[0] == '/') {
            closeTo(name.substr(1));
        } else if (name == "a") {
            markup += "<span foreground=\"" + ColorSpan(linkColor) + "\" underline=\"single\">";
            stack.push_back("a");
            if (links) {
                TTextLink l;
                l.startUtf8 = l.endUtf8 = plain;
                l.sName = arg;
                links->push_back(l);
            }
        } else if (name == "c") {
            DWORD c = CControlUI::ParseColor(arg.c_str());
            markup += "<span foreground=\"" + ColorSpan(c) + "\">";
            stack.push_back("c");
        } else if (name == "u") {
            markup += "<span underline=\"single\">";
            stack.push_back("u");
        } else if (name == "b") {
            markup += "<b>";
            stack.push_back("b");
        } else if (name == "i" && arg.empty()) {
            markup += "<i>";
            stack.push_back("i");
        } else if (name == "i") {
            InlinePicture picture;
            if (pictures && ParsePicture(pm, arg, picture)) {
                picture.index = plain;
                pictures->push_back(picture);
                markup += kObjectChar;
                plain += kObjectCharBytes;
            }
        } else if (name == "n") {
            markup += "\n";
            plain += 1;
        } else if (name == "x" && pictures) {
            InlinePicture gap;  // an empty picture of that width
            gap.width = std::clamp(atoi(arg.c_str()), 0, 200);
            gap.index = plain;
            pictures->push_back(gap);
            markup += kObjectChar;
            plain += kObjectCharBytes;
        } else if (name == "x") {
            int n = std::clamp(atoi(arg.c_str()), 0, 200) / 4;
            markup += std::string((size_t)n, ' ');
            plain += n;
        }
        // Other tags (fonts, selections) are dropped.
    }
    text(seg);
    while (!stack.empty()) closeTo(stack.back());
    return markup;
}

}  // namespace

void CRenderEngine::DrawText(HDC hDC, CPaintManagerUI* pm, RECT& rc, const char* text, DWORD color, int iFont,
                             UINT style) {
    if (!hDC || !text || !*text) return;
    cairo_t* cr = hDC->Cairo();
    Laid l;
    LayOut(l, cr, pm, rc, GbkToUtf8(text), false, iFont, style);
    cairo_save(cr);
    cairo_rectangle(cr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    cairo_clip(cr);
    SetColor(cr, color, true);
    cairo_move_to(cr, l.ox, l.oy);
    pango_cairo_show_layout(cr, l.layout);
    cairo_restore(cr);
}

void CRenderEngine::DrawHtmlText(HDC hDC, CPaintManagerUI* pm, RECT& rc, const char* text, DWORD color, DWORD linkColor,
                                 int iFont, UINT style, bool bAngle, std::vector<TTextLink>* links) {
    if (!hDC || !text || !*text) return;
    if (!linkColor) linkColor = pm ? pm->GetDefaultLinkFontColor() : 0xFF1F6FD1;
    cairo_t* cr = hDC->Cairo();
    Laid l;
    std::string markup = ToMarkup(text, bAngle, linkColor, links, pm, &l.pictures);
    LayOut(l, cr, pm, rc, markup, true, iFont, style);
    cairo_save(cr);
    cairo_rectangle(cr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    cairo_clip(cr);
    SetColor(cr, color, true);
    cairo_move_to(cr, l.ox, l.oy);
    pango_cairo_show_layout(cr, l.layout);
    cairo_restore(cr);
    DrawPictures(hDC, l, rc);
}

std::string CRenderEngine::EscapeHtmlText(const std::string& text, bool bAngle) {
    const char open = bAngle ? '<' : '{';
    std::string out;
    for (size_t i = 0; i < text.size();) {
        // GBK: a trail byte may have the bracket's value; only a single-byte bracket is doubled.
        size_t n = varnet::GbkUnitLength(text.data(), text.size(), i);
        if (n == 1 && text[i] == open) out += open;
        out.append(text, i, n);
        i += n;
    }
    return out;
}

int CRenderEngine::HitTestHtmlText(CPaintManagerUI* pm, const RECT& rc, const char* text, int iFont, UINT style,
                                   bool bAngle, POINT pt) {
    if (!text || !*text || !PtInRect(rc, pt)) return -1;
    std::vector<TTextLink> links;
    Laid l;
    std::string markup = ToMarkup(text, bAngle, 0xFF0000FF, &links, pm, &l.pictures);
    if (links.empty()) return -1;
    LayOut(l, MeasureContext(), pm, rc, markup, true, iFont, style);
    int index = 0, trailing = 0;
    if (!pango_layout_xy_to_index(l.layout, (int)((pt.x - l.ox) * PANGO_SCALE), (int)((pt.y - l.oy) * PANGO_SCALE),
                                  &index, &trailing))
        return -1;
    for (size_t k = 0; k < links.size(); ++k)
        if (index >= links[k].startUtf8 && index < links[k].endUtf8) return (int)k;
    return -1;
}

SIZE CRenderEngine::GetTextSize(CPaintManagerUI* pm, const char* text, int iFont, UINT style) {
    if (!text || !*text) return {0, 0};
    Laid l;
    RECT rc{0, 0, 10000, 10000};
    LayOut(l, MeasureContext(), pm, rc, GbkToUtf8(text), false, iFont, style | DT_SINGLELINE);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(l.layout, nullptr, &logical);
    return {logical.width, logical.height};
}

SIZE CRenderEngine::GetWrappedTextSize(CPaintManagerUI* pm, const char* text, int iFont, UINT style, int width) {
    if (!text || !*text) return {0, 0};
    Laid l;
    RECT rc{0, 0, std::max(1, width), 100000};
    LayOut(l, MeasureContext(), pm, rc, GbkToUtf8(text), false, iFont, style & ~(DT_VCENTER | DT_BOTTOM));
    PangoRectangle logical;
    pango_layout_get_pixel_extents(l.layout, nullptr, &logical);
    return {logical.width, logical.height};
}

SIZE CRenderEngine::GetHtmlTextSize(CPaintManagerUI* pm, const char* text, int iFont, UINT style, int width,
                                    bool bAngle) {
    if (!text || !*text) return {0, 0};
    Laid l;
    RECT rc{0, 0, std::max(1, width), 100000};
    std::string markup = ToMarkup(text, bAngle, 0xFF000000, nullptr, pm, &l.pictures);
    LayOut(l, MeasureContext(), pm, rc, markup, true, iFont, style & ~(DT_VCENTER | DT_BOTTOM));
    PangoRectangle logical;
    pango_layout_get_pixel_extents(l.layout, nullptr, &logical);
    return {logical.width, logical.height};
}

}  // namespace DuiLib
