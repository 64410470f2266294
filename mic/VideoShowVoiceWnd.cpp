#include "VideoShowVoiceWnd.h"

#include "FourierTransformer.h"
#include "UIRender.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace {

// The meter's gradient: green at the bottom, yellow at the middle, red at the top.
uint32_t MeterColour(int row) {
    float p = (CVideoShowVoiceWnd::kMeterH - (row + 0.5f)) / CVideoShowVoiceWnd::kMeterH;  // 0 bottom, 1 top
    int r, g;
    if (p < 0.5f) {
        r = static_cast<int>(255 * (p / 0.5f));
        g = 255;
    } else {
        r = 255;
        g = static_cast<int>(255 * (1 - (p - 0.5f) / 0.5f));
    }
    return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8);
}

}  // namespace

CVideoShowVoiceWnd::~CVideoShowVoiceWnd() {
    CVideoShowVoiceWnd::Destroy();
}

int CVideoShowVoiceWnd::Create(HWND parent, const DuiLib::RECT* rect, const std::string& backgroundImage,
                               int buttonCount, DWORD exStyle) {
    if (GetHWND() && IsWindow(GetHWND())) return 1;
    m_meterImage.Create(kMeterW, kMeterH);
    return CVideoShowWnd::Create(parent, rect, backgroundImage, buttonCount, exStyle);
}

void CVideoShowVoiceWnd::Destroy() {
    CVideoShowWnd::Destroy();
    m_meterImage.Release();
    m_iconImage.Release();
    varnet::MutexLock lock(m_iconLock);
    m_icon.Release();
}

void CVideoShowVoiceWnd::SetVoiceSamples(const short samples[9]) {
    for (int i = 0; i < 9; ++i) m_samples[i].store(samples[i], std::memory_order_relaxed);
    SetRedraw(kRedrawMeter);
}

void CVideoShowVoiceWnd::SetOverlayIcon(const std::string& path) {
    mic::Image32 img;
    mic::LoadImageFile(path, img);
    {
        varnet::MutexLock lock(m_iconLock);
        m_icon = std::move(img);
    }
    SetRedraw(kRedrawIcon);
}

void CVideoShowVoiceWnd::PaintMeter(const short samples[9], mic::Image32& meter) {
    meter.Create(kMeterW, kMeterH, 0);
    unsigned short raw[9];
    for (int i = 0; i < 9; ++i) raw[i] = static_cast<unsigned short>(samples[i]);
    float levels[9] = {0};
    FourierTransformer::FFTDb(raw, 9, levels, 9);
    for (int i = 0; i < 9; ++i) {
        int height = std::clamp(static_cast<int>(levels[i] * kMeterH / 100), 0, kMeterH);
        for (int y = kMeterH - height; y < kMeterH; ++y) {
            for (int x = 3 * i; x < 3 * i + 2; ++x) meter.pixels[y * kMeterW + x] = MeterColour(y);
        }
    }
}

bool CVideoShowVoiceWnd::RenderExtra() {
    bool draw = false;
    if (TakeRedraw(kRedrawMeter)) {
        short s[9];
        for (int i = 0; i < 9; ++i) s[i] = m_samples[i].load(std::memory_order_relaxed);
        PaintMeter(s, m_meterImage);
        draw = true;
    }
    if (TakeRedraw(kRedrawIcon)) {
        varnet::MutexLock lock(m_iconLock);
        m_iconImage = m_icon;
        draw = true;
    }
    return draw;
}

void CVideoShowVoiceWnd::BlendOverlays(mic::Image32& comp) {
    // Overlays that would start above or left of the view are left out.
    if (m_meterVisible && comp.width > 5 && !m_meterImage.Empty()) {
        int row = comp.height - kMeterH - 5;
        if (row >= 0) mic::BlendOnto(m_meterImage, comp, 5, row);
    }
    if (m_iconVisible && !m_iconImage.Empty()) {
        int col = comp.width - m_iconImage.width - 5;
        int row = comp.height - m_iconImage.height - 5;
        if (col >= 0 && col < comp.width && row >= 0) mic::BlendOnto(m_iconImage, comp, col, row);
    }
}

// ---- control strip -----------------------------------------------------------------------------------

CVideoShowControlWnd::~CVideoShowControlWnd() {
    CVideoShowControlWnd::Destroy();
}

int CVideoShowControlWnd::Create(HWND parent, const DuiLib::RECT* rect, const std::string& backgroundImage,
                                 int buttonCount, DWORD exStyle) {
    if (GetHWND() && IsWindow(GetHWND())) return 1;
    m_buttonCount = buttonCount;
    return CVideoShowVoiceWnd::Create(parent, rect, backgroundImage, buttonCount, exStyle);
}

void CVideoShowControlWnd::Destroy() {
    CVideoShowVoiceWnd::Destroy();
    m_strip.Release();
}

int CVideoShowControlWnd::HitTest(int x, int y, int width, int height, int count) {
    if (y < height - kStripH || y >= height) return -1;
    int b = width - x;
    if (b < 0) return -1;
    if (b % 23 > 5 && b / 23 < count) return b / 23;
    return -1;
}

int CVideoShowControlWnd::ButtonAt(LPARAM lParam) const {
    return HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), ClientWidth(), ClientHeight(), m_buttonCount);
}

LRESULT CVideoShowControlWnd::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    IVideoShowControlCallBack* cb = m_callback;
    switch (msg) {
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_SETCURSOR: {
        // lParam carries the cursor position in client coordinates.
        int b = ButtonAt(lParam);
        m_cursor = (b >= 0 && cb && cb->IsControlActive(b)) ? 1 : 0;
        if (auto presenter = Presenter()) presenter->SetCursor(m_cursor);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m_stripEnabled) {
            if (!m_mouseInside.exchange(true)) SetRedraw(kRedrawStrip);
            int b = ButtonAt(lParam);
            if (m_hover.exchange(b) != b && b >= 0 && cb && cb->IsControlActive(b)) SetRedraw(kRedrawStrip);
            if (!m_tracking) m_tracking = true;  // hover and leave arrive from the presenter
        }
        break;
    case WM_LBUTTONDOWN: {
        m_captured = true;
        int b = ButtonAt(lParam);
        int hover = m_hover;
        // Off the buttons (hover -1) the press selects the performer.
        if (cb && cb->IsControlActive(hover) && (b < 0 || cb->IsControlActive(b))) cb->OnClickControl(b);
        if (m_stripEnabled) {
            m_pressed = true;
            if (b >= 0 && cb && cb->IsControlActive(b)) SetRedraw(kRedrawStrip);
        }
        break;
    }
    case WM_LBUTTONUP:
        m_pressed = false;
        if (m_captured) {
            m_captured = false;
            if (m_stripEnabled) SetRedraw(kRedrawStrip);
        }
        break;
    case WM_LBUTTONDBLCLK:
        if (cb) cb->OnDblClickControl(ButtonAt(lParam));
        break;
    case WM_MOUSEHOVER:
        m_tracking = false;
        break;
    case WM_MOUSELEAVE:
        m_tracking = false;
        m_mouseInside = false;
        if (m_stripEnabled) SetRedraw(kRedrawStrip);
        break;
    default:
        break;
    }
    return CVideoShowVoiceWnd::WndProc(msg, wParam, lParam);
}

bool CVideoShowControlWnd::RenderExtra() {
    bool draw = CVideoShowVoiceWnd::RenderExtra();
    if (TakeRedraw(kRedrawStrip)) {
        int w = ClientWidth();
        if (w > 0) {
            // Painted premultiplied by cairo, kept with straight alpha for the blend.
            m_strip.Create(w, kStripH, 0x96969696u);
            cairo_surface_t* s = cairo_image_surface_create_for_data(
                reinterpret_cast<unsigned char*>(m_strip.pixels.data()), CAIRO_FORMAT_ARGB32, w, kStripH, w * 4);
            cairo_t* cr = cairo_create(s);
            if (IVideoShowControlCallBack* cb = m_callback) {
                DuiLib::IRenderTarget dc(cr);
                cb->OnPaintControl(&dc, w, kStripH, m_hover, m_pressed);
            }
            cairo_destroy(cr);
            cairo_surface_flush(s);
            cairo_surface_destroy(s);
            for (uint32_t& p : m_strip.pixels) {
                uint32_t a = p >> 24;
                if (a == 0 || a == 255) continue;
                uint32_t r = std::min<uint32_t>(((p >> 16) & 0xFF) * 255 / a, 255);
                uint32_t g = std::min<uint32_t>(((p >> 8) & 0xFF) * 255 / a, 255);
                uint32_t b = std::min<uint32_t>((p & 0xFF) * 255 / a, 255);
                p = (a << 24) | (r << 16) | (g << 8) | b;
            }
        } else {
            m_strip.Release();
        }
        draw = true;
    }
    return draw;
}

void CVideoShowControlWnd::BlendOverlays(mic::Image32& comp) {
    CVideoShowVoiceWnd::BlendOverlays(comp);
    if (m_stripEnabled && m_mouseInside && !m_strip.Empty()) {
        int row = comp.height - kStripH;
        if (row >= 0) mic::BlendOnto(m_strip, comp, 0, row);
    }
}
