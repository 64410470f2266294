// Drawing of the UI: images, fonts, text (plain and with link/colour tags) on cairo and Pango.
// Works without a display (image surfaces), so headless tests can paint too.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "UIDefine.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _PangoLayout PangoLayout;
typedef struct _GdkPixbuf GdkPixbuf;
typedef struct _GdkPixbufLoader GdkPixbufLoader;

namespace DuiLib {

// A decoded image (premultiplied ARGB surface).
struct TImageInfo {
    cairo_surface_t* surface = nullptr;
    int nX = 0;
    int nY = 0;
    bool bAlpha = false;
    ~TImageInfo();
};

struct TFontInfo {
    CDuiString sFontName;
    int iSize = 12;  // pixels
    bool bBold = false;
    bool bUnderline = false;
    bool bItalic = false;
    PangoFontDescription* desc = nullptr;
    TFontInfo(const char* name, int size, bool bold, bool underline, bool italic);
    ~TFontInfo();
    TFontInfo(const TFontInfo&) = delete;
    TFontInfo& operator=(const TFontInfo&) = delete;
};

// A parsed image attribute: "name" or "file='..' source='l,t,r,b' dest='..' corner='..' fade='..' ...".
struct TDrawImage {
    CDuiString sFile;
    RECT rcSource;
    RECT rcDest;
    RECT rcCorner;
    bool bHasSource = false;
    bool bHasDest = false;
    unsigned char uFade = 255;
    bool Parse(const char* attr);
};

// The paint target of one paint pass: a cairo context with a clip stack.
class IRenderTarget {
public:
    explicit IRenderTarget(cairo_t* cr) : m_cr(cr) {}
    cairo_t* Cairo() const { return m_cr; }
    void PushClip(const RECT& rc);
    void PopClip();

private:
    cairo_t* m_cr;
};

// One piece of rich text: the UTF-8 range a link covers, with its name.
struct TTextLink {
    int startUtf8 = 0;
    int endUtf8 = 0;
    CDuiString sName;  // the text after "a " in the tag, or the link text
    CDuiString sText;
};

class CRenderEngine {
public:
    // Decodes PNG, JPEG, BMP, GIF (first frame) ... from memory; nullptr for bad data.
    static TImageInfo* LoadImageData(const void* data, size_t size);
    static void DrawColor(HDC hDC, const RECT& rc, DWORD color);
    static void DrawRect(HDC hDC, const RECT& rc, int nSize, DWORD dwPenColor);
    // The same with rounded corners of the given radius (borderround gives the corner ellipse, twice the radius).
    static void DrawRoundColor(HDC hDC, const RECT& rc, int radius, DWORD color);
    static void DrawRoundRect(HDC hDC, const RECT& rc, int nSize, int radius, DWORD dwPenColor);
    static void DrawLine(HDC hDC, const RECT& rc, int nSize, DWORD dwPenColor);
    static void DrawImage(HDC hDC, const TImageInfo* img, const RECT& rcDest, const RECT& rcPaint,
                          const RECT& rcBmpPart, const RECT& rcCorners, bool alphaChannel, unsigned char uFade);
    // Draws an image attribute inside rcItem through the manager's image cache; false when it cannot be loaded.
    static bool DrawImageString(HDC hDC, CPaintManagerUI* pManager, const RECT& rcItem, const RECT& rcPaint,
                                const char* pStrImage);
    static void DrawText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const char* pstrText, DWORD dwTextColor,
                         int iFont, UINT uStyle);
    // Rich text: "{a name}..{/a}", "{c #rrggbb}..{/c}", "{u}..{/u}", "{b}..{/b}", "{i}..{/i}", "{n}", "{x n}"
    // (a gap of n pixels, at most 200) and pictures "{i name}" or "{i name n k}" (frame k, from 0, of a strip of n frames
    // side by side), a picture name of the skin's resources, shown at its size and centred on the text's
    // middle (the same in <> when bAngle). "{{" is a "{" of the text. Returns the links found with their
    // UTF-8 ranges in the laid-out text.
    static void DrawHtmlText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const char* pstrText, DWORD dwTextColor,
                             DWORD dwLinkColor, int iFont, UINT uStyle, bool bAngle,
                             std::vector<TTextLink>* links = nullptr);
    // Index of the link under pt, or -1.
    static int HitTestHtmlText(CPaintManagerUI* pManager, const RECT& rc, const char* pstrText, int iFont, UINT uStyle,
                               bool bAngle, POINT pt);
    static SIZE GetTextSize(CPaintManagerUI* pManager, const char* pstrText, int iFont, UINT uStyle);
    // Size of plain text laid out in `width` pixels (wrapped when the style has DT_WORDBREAK).
    static SIZE GetWrappedTextSize(CPaintManagerUI* pManager, const char* pstrText, int iFont, UINT uStyle, int width);
    // Text (GBK) for rich text that shows it as it is: every opening bracket doubled.
    static std::string EscapeHtmlText(const std::string& text, bool bAngle);
    // Size of rich text laid out in `width` pixels (wrapped when the style has DT_WORDBREAK).
    static SIZE GetHtmlTextSize(CPaintManagerUI* pManager, const char* pstrText, int iFont, UINT uStyle, int width,
                                bool bAngle);
};

// Images larger than this are refused before decoding: no window is larger than 8192 a side, and a picture
// of 16M pixels already takes 64 MB as a surface.
constexpr int kMaxImageSide = 8192;
constexpr long long kMaxImagePixels = 16LL << 20;

// What an image file declares in its header: the gdk-pixbuf loader for it, its size, and its frame count.
struct TImageHeader {
    const char* format = nullptr;  // "png", "jpeg", "gif" or "bmp"
    long long width = 0;
    long long height = 0;
    long long frames = 0;       // GIF: the complete frames of the file; 1 for the others
    long long framePixels = 0;  // GIF: the pixels of all frames at their own sizes
};
// Reads the header of a PNG, JPEG, GIF or BMP; false for any other data (no decoder sees it).
bool ReadImageHeader(const void* data, size_t size, TImageHeader& out);
// True when the picture fits the limits above and, for an animation, CGifHandler's frame limits.
bool ImageHeaderAllowed(const TImageHeader& h);
// A premultiplied surface of a decoded pixbuf; nullptr when it is too big or of an odd layout.
TImageInfo* ImageFromPixbuf(GdkPixbuf* pb);
// The one decoding path of every picture: reads the header, refuses what ImageHeaderAllowed refuses, then
// decodes with the gdk-pixbuf loader of that format only. The caller unrefs the loader. nullptr for bad or
// oversized data.
GdkPixbufLoader* DecodeImageData(const void* data, size_t size);

// GBK <-> UTF-8 at the GTK/Pango border; invalid bytes become '?'.
std::string GbkToUtf8(const std::string& gbk);
std::string Utf8ToGbk(const std::string& utf8);

}  // namespace DuiLib
