// Video views with overlays: CVideoShowVoiceWnd draws a nine-bar voice meter and an optional icon over
// the video; CVideoShowControlWnd adds a row of buttons along the bottom edge, painted and handled by
// its owner through IVideoShowControlCallBack.
//
// Threads: SetVoiceSamples and SetOverlayIcon from any thread (the samples are atomic, the icon is
// guarded by m_iconLock); the visibility flags from any thread; mouse messages on the UI thread, where
// they only set flags; all painting on the render thread (the meter, icon and strip images are its own).
#pragma once

#include "VideoShowWnd.h"
#include "ThreadAnnotations.h"

class IVideoShowControlCallBack {
public:
    virtual ~IVideoShowControlCallBack() = default;
    virtual bool IsControlActive(int index) = 0;
    virtual void OnClickControl(int index) = 0;
    virtual void OnDblClickControl(int index) = 0;
    // Render thread: paints the strip (width x height, already filled with translucent white).
    virtual void OnPaintControl(DuiLib::HDC dc, int width, int height, int hoverIndex, bool pressed) = 0;
};

class CVideoShowVoiceWnd : public CVideoShowWnd {
public:
    static constexpr int kMeterW = 26, kMeterH = 18;

    ~CVideoShowVoiceWnd() override;
    int Create(HWND parent, const DuiLib::RECT* rect, const std::string& backgroundImage, int buttonCount = 0,
               DWORD exStyle = 0) override;
    void Destroy() override;

    void SetVoiceSamples(const short samples[9]);
    void SetOverlayIcon(const std::string& path);
    void SetMeterVisible(bool on) { m_meterVisible = on; }
    bool IsMeterVisible() const { return m_meterVisible; }
    void SetIconVisible(bool on) { m_iconVisible = on; }

    // The meter of nine samples: bar i at x = 3i, 2 pixels wide, (int)(level * 18 / 100) high.
    static void PaintMeter(const short samples[9], mic::Image32& meter);

protected:
    bool RenderExtra() override;
    void BlendOverlays(mic::Image32& comp) override;

private:
    std::atomic<bool> m_meterVisible{false};
    std::atomic<short> m_samples[9] = {};
    std::atomic<bool> m_iconVisible{false};
    varnet::Mutex m_iconLock;
    mic::Image32 m_icon GUARDED_BY(m_iconLock);
    // Render thread.
    mic::Image32 m_meterImage;
    mic::Image32 m_iconImage;
};

class CVideoShowControlWnd : public CVideoShowVoiceWnd {
public:
    static constexpr int kStripH = 18;

    ~CVideoShowControlWnd() override;
    int Create(HWND parent, const DuiLib::RECT* rect, const std::string& backgroundImage, int buttonCount = 0,
               DWORD exStyle = 0) override;
    void Destroy() override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    void SetCallBack(IVideoShowControlCallBack* cb) { m_callback = cb; }
    void SetStripEnabled(bool on) {
        m_stripEnabled = on;
        SetRedraw(kRedrawStrip);
    }
    bool IsStripEnabled() const { return m_stripEnabled; }
    bool IsMouseInside() const { return m_mouseInside; }
    int GetHoverIndex() const { return m_hover; }
    int GetCursor() const { return m_cursor; }

    // The button under (x, y) of a view `width` x `height` with `count` buttons counted from the right
    // edge, 23 pixels apart, each after a 6-pixel gap; -1 for none.
    static int HitTest(int x, int y, int width, int height, int count);

protected:
    bool RenderExtra() override;
    void BlendOverlays(mic::Image32& comp) override;

private:
    int ButtonAt(LPARAM lParam) const;

    std::atomic<IVideoShowControlCallBack*> m_callback{nullptr};
    std::atomic<bool> m_stripEnabled{false};
    std::atomic<bool> m_mouseInside{false};
    std::atomic<int> m_hover{-1};
    std::atomic<bool> m_pressed{false};
    bool m_tracking = false;  // UI thread
    bool m_captured = false;  // UI thread
    int m_cursor = 0;         // UI thread
    int m_buttonCount = 0;
    mic::Image32 m_strip;  // render thread
};
