// A child window that shows a stream of B, G, R frames. Frames arrive on any thread and are copied once
// under the frame lock; the window's render thread wakes when something is to be drawn (a frame, a format,
// a size, an overlay), takes the newest frame by swapping buffers, scales it to the window size outside the
// lock and hands the composed picture to the presenter (a native child widget on a display, a memory sink in
// tests). Nothing new: no draw. When no video is shown it shows the background image the owner chose.
//
// Threads: Create, Destroy, SetWindowRect, SetPresenter and the window messages on the UI thread;
// SetFrameFormat, InputFrame, ClearFrame, SetBackgroundImage and the flags from any thread; the render
// thread owns the canvases (m_comp, m_video, m_background) and the frame it scales (m_scaling). Locks:
// m_frameLock guards the frame buffer and both formats; m_imageLock the background picture; m_presenterLock
// the presenter; m_wakeLock the render thread's wake-ups. The render thread takes them one at a time, never
// nested. The redraw flags are atomic.
#pragma once

#include "DebugLog.h"
#include "UIDefine.h"
#include "VideoImage.h"
#include "Win32Sync.h"
#include "Win32Window.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Receives the composed pictures of a video view.
class IVideoPresenter {
public:
    virtual ~IVideoPresenter() = default;
    // Render thread: the picture of the whole view, opaque.
    virtual void Present(const mic::Image32& picture) = 0;
    // UI thread: 0 arrow, 1 hand.
    virtual void SetCursor(int cursor) { (void)cursor; }
};

class CVideoShowWnd : public CWin32Window {
public:
    enum : unsigned {
        kRedrawInit = 0x1,
        kRedrawFormat = 0x2,
        kRedrawFrame = 0x4,
        kRedrawBackground = 0x8,
        kRedrawPaint = 0x10,
        kRedrawMoved = 0x20,
        kRedrawMeter = 0x40,
        kRedrawStrip = 0x80,
        kRedrawIcon = 0x100,
    };
    static constexpr const char* kWindowProperty = "__varnet__videoshow__this";

    CVideoShowWnd();
    ~CVideoShowWnd() override;

    // 1 when the window exists (also when it already did); 0 when it could not be made (no thread runs).
    virtual int Create(HWND parent, const DuiLib::RECT* rect, const std::string& backgroundImage, int buttonCount = 0,
                       DWORD exStyle = 0);
    // Stops the render thread and releases everything; frames that still arrive are dropped.
    virtual void Destroy();
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND GetHWND() const { return m_hWnd; }
    HWND GetParent() const { return m_parent; }
    void SetWindowRect(const DuiLib::RECT* rect);
    DuiLib::RECT GetClientRect() const;
    void SetPresenter(std::shared_ptr<IVideoPresenter> presenter);

    // The format of the frames to come; true (and a format switch requested) when it differs.
    bool SetFrameFormat(int width, int height, int bits);
    void GetFrameFormat(int& width, int& height, int& bits) const;
    void InputFrame(long length, const BYTE* frame);
    void ClearFrame();
    void SetBackgroundImage(const std::string& path);

    void SetVideoEnabled(bool on) { m_videoEnabled = on; }
    bool IsVideoEnabled() const { return m_videoEnabled; }
    bool IsShowingBackground() const { return m_showBackground; }
    void Invalidate() { SetRedraw(kRedrawPaint); }
    // Any thread: asks the render thread for the flags' work and wakes it.
    void SetRedraw(unsigned flags);
    unsigned GetRedraw() const { return m_redraw.load(); }

    // With debug lines on, the render thread writes what reached the view this often: frames taken, frames
    // shown, and whether one waits (the view keeps the newest frame only: at most one waits).
    static constexpr int kFrameReportMs = 5000;
    // The shortest time between two pictures presented.
    static constexpr int kMinDrawMs = 20;

    // Pictures presented so far (tests wait on it), frames taken, and the render thread's CPU time so far.
    unsigned long PresentCount() const { return m_presented.load(); }
    unsigned long ReceivedCount() const { return m_received.load(); }
    unsigned long long RenderCpuNanos() const { return m_renderNs.load(); }

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) final;

protected:
    virtual void RenderLoop();
    // One pass of the render loop (render thread).
    void RenderPass();
    // Composes and presents (render thread).
    virtual void DrawFrame();
    // Render thread: the derived windows' flags, after the base ones; true asks for a draw.
    virtual bool RenderExtra() { return false; }
    // Render thread: overlays onto the composed picture before it is presented.
    virtual void BlendOverlays(mic::Image32& comp) { (void)comp; }
    bool TakeRedraw(unsigned flag) { return (m_redraw.fetch_and(~flag) & flag) != 0; }
    std::shared_ptr<IVideoPresenter> Presenter();
    int ClientWidth() const { return m_clientW.load(); }
    int ClientHeight() const { return m_clientH.load(); }

private:
    void RecreateCanvases();
    void RebuildBackground();
    bool UploadFrame();  // false when there was no frame to scale

    HWND m_hWnd = nullptr;    // UI thread
    HWND m_parent = nullptr;  // UI thread
    std::atomic<int> m_clientX{0}, m_clientY{0}, m_clientW{0}, m_clientH{0};
    CThread m_renderThread;
    std::atomic<unsigned> m_redraw{0};
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    unsigned long m_wakes = 0;  // under m_wakeLock: requests so far
    std::atomic<bool> m_showBackground{true};
    std::atomic<bool> m_videoEnabled{true};
    std::atomic<unsigned long> m_presented{0};
    std::atomic<unsigned long> m_received{0};
    std::atomic<unsigned long long> m_renderNs{0};

    mutable std::mutex m_frameLock;
    int m_wantW = 0, m_wantH = 0, m_wantBits = 0;  // the owner's format
    int m_useW = 0, m_useH = 0, m_useBits = 0, m_useStride = 0;
    std::vector<BYTE> m_frame;  // empty: no buffer (frames dropped)
    bool m_haveBuffer = false;
    bool m_fresh = false;  // m_frame changed since the render thread took one

    std::mutex m_imageLock;
    mic::Image32 m_image;  // the background picture

    std::mutex m_presenterLock;
    std::shared_ptr<IVideoPresenter> m_presenter;

    // Render thread.
    mic::Image32 m_comp, m_video, m_background;
    std::vector<BYTE> m_scaling;  // the frame last taken, and its size
    int m_scalingW = 0, m_scalingH = 0;
    unsigned long m_uploads = 0;  // frames scaled into the picture
    varnet::DebugId m_debugId;    // names this view in debug lines
};
