// Shows a video view's pictures in a native GTK drawing area, which the hosting window places over the
// view's rectangle (IWindowBackend::PlaceNativeWidget with Widget()). Mouse input on the area reaches the
// view's window as WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK and WM_MOUSELEAVE.
//
// Threads: created and placed on the UI thread; Present on the render thread copies the picture under
// m_lock and asks the UI thread for a redraw. The last owner may drop it on any thread (the widget is
// then released on the UI thread).
#pragma once

#include "VideoShowWnd.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class CVideoGtkPresenter : public IVideoPresenter, public std::enable_shared_from_this<CVideoGtkPresenter> {
public:
    // Null without a display.
    static std::shared_ptr<CVideoGtkPresenter> Create(HWND view);
    ~CVideoGtkPresenter() override;

    void* Widget() const { return m_widget; }
    void Present(const mic::Image32& picture) override;
    void SetCursor(int cursor) override;

    // UI thread: the last picture, for drawing.
    void Draw(void* cairo);
    // Pictures drawn on the display so far, and the centre pixel of the last one.
    unsigned long DrawCount() const { return m_draws.load(); }
    uint32_t LastCentre() const { return m_centre.load(); }

private:
    CVideoGtkPresenter() = default;
    void* m_widget = nullptr;  // GtkWidget*, a reference of ours
    HWND m_view = nullptr;
    std::mutex m_lock;
    mic::Image32 m_picture;       // guarded by m_lock
    bool m_redrawQueued = false;  // guarded by m_lock
    std::atomic<unsigned long> m_draws{0};
    std::atomic<uint32_t> m_centre{0};
};
