#include "VideoShowWnd.h"

#include <algorithm>
#include <cstring>
#include <ctime>

CVideoShowWnd::CVideoShowWnd() = default;

CVideoShowWnd::~CVideoShowWnd() {
    Destroy();
}

int CVideoShowWnd::Create(HWND parent, const DuiLib::RECT* rect, const std::string& backgroundImage, int, DWORD) {
    if (m_hWnd && IsWindow(m_hWnd)) return 1;
    HWND h = CreateWindowHandle(this);
    if (!h) return 0;
    m_hWnd = h;
    m_parent = parent;
    SetProp(h, kWindowProperty, this);
    SetBackgroundImage(backgroundImage);
    if (rect) {
        m_clientX = rect->left;
        m_clientY = rect->top;
        m_clientW = std::max(0, static_cast<int>(rect->right - rect->left));
        m_clientH = std::max(0, static_cast<int>(rect->bottom - rect->top));
    }
    SetRedraw(kRedrawInit | kRedrawBackground);
    if (!m_renderThread.Start([this] { RenderLoop(); })) {
        HWND dead = m_hWnd;
        m_hWnd = nullptr;
        DestroyWindow(dead);
        return 0;
    }
    return 1;
}

void CVideoShowWnd::Destroy() {
    m_renderThread.RequestStop();
    SetRedraw(0);
    m_renderThread.Join(INFINITE);
    {
        std::lock_guard<std::mutex> lock(m_frameLock);
        m_frame.clear();
        m_frame.shrink_to_fit();
        m_haveBuffer = false;
        m_wantW = m_wantH = m_wantBits = 0;
        m_useW = m_useH = m_useBits = m_useStride = 0;
    }
    {
        std::lock_guard<std::mutex> lock(m_imageLock);
        m_image.Release();
    }
    m_comp.Release();
    m_video.Release();
    m_background.Release();
    m_scaling.clear();
    m_scaling.shrink_to_fit();
    m_scalingW = m_scalingH = 0;
    if (m_hWnd) {
        HWND h = m_hWnd;
        m_hWnd = nullptr;
        RemoveProp(h, kWindowProperty);
        DestroyWindow(h);
    }
    m_clientX = m_clientY = m_clientW = m_clientH = 0;
}

LRESULT CVideoShowWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCDESTROY) m_hWnd = nullptr;
    return WndProc(msg, wParam, lParam);
}

LRESULT CVideoShowWnd::WndProc(UINT msg, WPARAM, LPARAM) {
    switch (msg) {
    case WM_PAINT:
        SetRedraw(kRedrawPaint);
        return 0;
    case WM_SIZE:
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    default:
        return 0;
    }
}

void CVideoShowWnd::SetWindowRect(const DuiLib::RECT* rect) {
    if (!rect) return;
    m_clientX = rect->left;
    m_clientY = rect->top;
    m_clientW = std::max(0, static_cast<int>(rect->right - rect->left));
    m_clientH = std::max(0, static_cast<int>(rect->bottom - rect->top));
    SetRedraw(kRedrawMoved);
}

DuiLib::RECT CVideoShowWnd::GetClientRect() const {
    DuiLib::RECT rc;
    rc.left = m_clientX;
    rc.top = m_clientY;
    rc.right = m_clientX + m_clientW;
    rc.bottom = m_clientY + m_clientH;
    return rc;
}

void CVideoShowWnd::SetPresenter(std::shared_ptr<IVideoPresenter> presenter) {
    std::lock_guard<std::mutex> lock(m_presenterLock);
    m_presenter = std::move(presenter);
}

void CVideoShowWnd::SetRedraw(unsigned flags) {
    m_redraw.fetch_or(flags);
    {
        std::lock_guard<std::mutex> lock(m_wakeLock);
        ++m_wakes;
    }
    m_wake.notify_one();
}

std::shared_ptr<IVideoPresenter> CVideoShowWnd::Presenter() {
    std::lock_guard<std::mutex> lock(m_presenterLock);
    return m_presenter;
}

bool CVideoShowWnd::SetFrameFormat(int width, int height, int bits) {
    {
        std::lock_guard<std::mutex> lock(m_frameLock);
        if (width == m_wantW && height == m_wantH && bits == m_wantBits) return false;
        m_wantW = width;
        m_wantH = height;
        m_wantBits = bits;
        m_redraw.fetch_or(kRedrawFormat);
    }
    SetRedraw(0);
    return true;
}

void CVideoShowWnd::GetFrameFormat(int& width, int& height, int& bits) const {
    std::lock_guard<std::mutex> lock(m_frameLock);
    width = m_wantW;
    height = m_wantH;
    bits = m_wantBits;
}

void CVideoShowWnd::InputFrame(long length, const BYTE* frame) {
    if (frame && length > 0) ++m_received;
    if (!m_videoEnabled || !frame || length <= 0) return;
    {
        std::lock_guard<std::mutex> lock(m_frameLock);
        if (!m_haveBuffer || m_frame.size() < static_cast<size_t>(length)) return;
        std::memcpy(m_frame.data(), frame, static_cast<size_t>(length));
        m_fresh = true;
        m_showBackground = false;
    }
    SetRedraw(kRedrawFrame);
}

void CVideoShowWnd::ClearFrame() {
    {
        std::lock_guard<std::mutex> lock(m_frameLock);
        std::fill(m_frame.begin(), m_frame.end(), 0);
        m_fresh = true;
        m_showBackground = true;
    }
    SetRedraw(kRedrawFrame);
}

void CVideoShowWnd::SetBackgroundImage(const std::string& path) {
    mic::Image32 img;
    mic::LoadImageFile(path, img);
    {
        std::lock_guard<std::mutex> lock(m_imageLock);
        m_image = std::move(img);
    }
    SetRedraw(kRedrawBackground);
}

namespace {
unsigned long long ThreadCpuNanos() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<unsigned long long>(ts.tv_sec) * 1000000000ull + static_cast<unsigned long long>(ts.tv_nsec);
}
}  // namespace

void CVideoShowWnd::RenderLoop() {
    const bool report = varnet::DebugLogOn();
    DWORD lastReport = GetTickCount();
    unsigned long taken = m_received.load(), shown = m_uploads;
    unsigned long seen = 0;
    while (!m_renderThread.StopRequested()) {
        {
            std::lock_guard<std::mutex> lock(m_wakeLock);
            seen = m_wakes;
        }
        unsigned long long start = ThreadCpuNanos();
        const DWORD passAt = GetTickCount();
        const unsigned long drawn = m_presented.load();
        RenderPass();
        m_renderNs += ThreadCpuNanos() - start;
        // At most one picture per kMinDrawMs: meter and overlay updates that come faster are drawn together.
        const DWORD spent = GetTickCount() - passAt;
        if (m_presented.load() != drawn && spent < DWORD(kMinDrawMs) &&
            m_renderThread.WaitForStop(DWORD(kMinDrawMs) - spent))
            break;
        const DWORD now = GetTickCount();
        if (report && now - lastReport >= DWORD(kFrameReportMs)) {
            const unsigned long received = m_received.load();
            if (received != taken || m_uploads != shown)
                varnet::DebugLog("VideoShow", m_debugId.c_str(), "frames: %lu taken, %lu shown in %u ms, %d waiting",
                                 received - taken, m_uploads - shown, unsigned(now - lastReport),
                                 (GetRedraw() & kRedrawFrame) ? 1 : 0);
            taken = received;
            shown = m_uploads;
            lastReport = now;
        }
        // Asleep until a request comes (the debug lines' period at most, to write them).
        std::unique_lock<std::mutex> lock(m_wakeLock);
        m_wake.wait_for(lock, std::chrono::milliseconds(report ? kFrameReportMs : 60000),
                        [&] { return m_wakes != seen || m_renderThread.StopRequested(); });
    }
}

void CVideoShowWnd::RenderPass() {
    bool draw = false;
    // Display check: the canvases follow the window's size.
    if (m_comp.width != ClientWidth() || m_comp.height != ClientHeight()) SetRedraw(kRedrawMoved);
    if (TakeRedraw(kRedrawInit)) {
        RecreateCanvases();
        SetRedraw(kRedrawBackground);
        {
            std::lock_guard<std::mutex> lock(m_frameLock);
            if (m_wantW > 0) SetRedraw(kRedrawFormat);
        }
        draw = true;
    }
    // The flag is taken under the frame lock: once it is seen clear, the buffer of the new format is there.
    if (GetRedraw() & kRedrawFormat) {
        std::lock_guard<std::mutex> lock(m_frameLock);
        if (TakeRedraw(kRedrawFormat)) {
            m_useW = m_wantW;
            m_useH = m_wantH;
            m_useBits = m_wantBits;
            m_useStride = mic::FrameStride(std::abs(m_useW), m_useBits);
            size_t length = static_cast<size_t>(m_useStride) * std::abs(m_useH);
            bool sane = m_useW != 0 && m_useH != 0 && m_useBits == 24 && length <= (64u << 20);
            m_frame.assign(sane ? length : 0, 0);
            m_haveBuffer = sane;
            m_fresh = true;
            draw = true;
        }
    }
    if (TakeRedraw(kRedrawMoved)) {
        RecreateCanvases();
        SetRedraw(kRedrawBackground | kRedrawFrame);
        draw = true;
    }
    if (TakeRedraw(kRedrawBackground)) {
        RebuildBackground();
        draw = true;
    }
    if (TakeRedraw(kRedrawFrame)) {
        if (UploadFrame()) ++m_uploads;
        draw = true;
    }
    if (RenderExtra()) draw = true;
    if (TakeRedraw(kRedrawPaint)) draw = true;
    if (draw) DrawFrame();
}

void CVideoShowWnd::RecreateCanvases() {
    int w = ClientWidth(), h = ClientHeight();
    m_comp.Create(w, h, 0xFFFFFFFFu);
    m_video.Create(w, h, 0xFF000000u);
}

void CVideoShowWnd::RebuildBackground() {
    m_background.Create(ClientWidth(), ClientHeight(), 0xFFFFFFFFu);
    std::lock_guard<std::mutex> lock(m_imageLock);
    mic::StretchImage(m_image, m_background);
}

bool CVideoShowWnd::UploadFrame() {
    if (m_video.Empty()) return false;
    {
        // The newest frame changes places with the one scaled last; the scaling runs outside the lock.
        std::lock_guard<std::mutex> lock(m_frameLock);
        if (!m_haveBuffer || m_useW == 0 || m_useH == 0) return false;
        if (m_fresh) {
            m_scaling.resize(m_frame.size());
            m_scaling.swap(m_frame);
            m_scalingW = std::abs(m_useW);
            m_scalingH = std::abs(m_useH);
            m_fresh = false;
        }
    }
    if (m_scalingW == 0 || m_scaling.size() < size_t(m_scalingW) * 3 * size_t(m_scalingH)) return false;
    // Frames come top-down with unpadded rows, whatever the buffer's stride.
    mic::ScaleBilinear(m_scaling.data(), m_scalingW, m_scalingH, m_scalingW * 3, m_video);
    return true;
}

void CVideoShowWnd::DrawFrame() {
    if (m_comp.Empty()) return;
    const mic::Image32& src = (m_videoEnabled && !m_showBackground && !m_video.Empty()) ? m_video : m_background;
    if (src.width == m_comp.width && src.height == m_comp.height) {
        m_comp.pixels = src.pixels;
    }
    BlendOverlays(m_comp);
    if (auto presenter = Presenter()) presenter->Present(m_comp);
    ++m_presented;
}
