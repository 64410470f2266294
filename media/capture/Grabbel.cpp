#include "Grabbel.h"

#include "CameraSetUpDialog.h"
#include "CameraSource.h"
#include "ColorConvert.h"
#include "DebugLog.h"
#include "ZqLib.h"

#include <cstring>
#include <vector>

Grabbel::Grabbel() {
    InitLookupTable();
    InitConvertTable();
}

Grabbel::~Grabbel() {
    CloseCamera();
}

int Grabbel::CameraCount() {
    return int(capture::ListCameras().size());
}

int Grabbel::CameraName(int index, char* buffer, int length) {
    if (!buffer || length <= 0) {
        return -1;
    }
    buffer[0] = 0;
    auto cams = capture::ListCameras();
    if (index < 0 || size_t(index) >= cams.size()) {
        return -1;
    }
    Charset::GbkCopy(buffer, size_t(length), cams[size_t(index)].name);
    return 0;
}

void Grabbel::InitLookupTable() {
    CColorConvert::InitLookupTable();
}
int Grabbel::ConvertRGB2YUV(int width, int height, const BYTE* rgb24, BYTE* i420) {
    return CColorConvert::ConvertRGB2YUV(width, height, rgb24, i420);
}
void Grabbel::InitConvertTable() {
    CColorConvert::InitConvertTable();
}
void Grabbel::ConvertYUV2RGB(const BYTE* i420, BYTE* rgb24, int width, int height) {
    CColorConvert::ConvertYUV2RGB(i420, rgb24, width, height);
}

int Grabbel::ConvertI420ToRGB(const BYTE* y, int yStride, const BYTE* u, int uStride, const BYTE* v, int vStride,
                              BYTE* rgb24, int width, int height) {
    return CColorConvert::ConvertI420ToRGB(y, yStride, u, uStride, v, vStride, rgb24, width, height);
}

bool Grabbel::OpenCamera(int index, int width, int height, int fps) {
    if (m_source) {
        CloseCamera();
    }
    m_fps = fps;
    auto source = capture::CreateCamera(index);
    if (!source || !source->Open(width, height, fps)) {
        varnet::DebugLog("Grabbel", m_debugId.c_str(), "cannot open camera %d at %dx%d", index, width, height);
        m_fps = 0;
        return false;
    }
    source->onSample = [this](double t, uint8_t* p, long n) { BufferCB(t, p, n); };
    m_source = std::move(source);
    m_open = true;
    return true;
}

void Grabbel::CloseCamera() {
    {
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_open = false;
    }
    m_wake.notify_all();
    if (m_frameThread.joinable()) {
        m_frameThread.join();
    }
    m_callback = nullptr;
    m_capturing = false;
    if (m_source) {
        capture::EndSetUpDialog(m_source);
        m_source->Close();
        m_source.reset();
    }
    m_fps = 0;
}

bool Grabbel::StartCapture() {
    m_capturing = true;
    return m_source ? m_source->Start() : true;
}

int Grabbel::StopCapture() {
    m_capturing = false;
    if (!m_source) {
        return -1;
    }
    return m_source->Stop() ? 0 : -1;
}

void Grabbel::SetBuffCB(IBaseVideoCB* cb) {
    bool ended;
    {
        // With the frame thread's first look under the same lock: it either sees this callback or has
        // ended (and says so) before the check below.
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_callback = cb;
        ended = !m_frameRunning;
    }
    if (ended && m_frameThread.joinable()) {
        m_frameThread.join();  // ended early
    }
    if (!m_frameThread.joinable()) {
        m_frameRunning = true;
        m_frameThread = std::thread(&Grabbel::GetFrame, this);
    }
}

unsigned Grabbel::QueryFrame(BYTE* buffer, unsigned length) {
    if (!m_source) {
        return 0;
    }
    return m_source->LatestFrame(buffer, length);
}

void Grabbel::GetRatio(unsigned& width, unsigned& height) {
    capture::Size s = m_source ? m_source->CurrentSize() : capture::Size{0, 0};
    width = unsigned(s.first);
    height = unsigned(s.second);
}

void Grabbel::GetRatioList(std::string& out) {
    if (m_source) {
        out = capture::FormatSizeList(m_source->OfferedSizes());
        return;
    }
    auto cam = capture::CreateCamera(0);
    out = cam ? capture::FormatSizeList(cam->OfferedSizes()) : std::string();
}

void Grabbel::ShowSetUp(void* parent) {
    // The dialog's rows act on the device until it is gone, even when the camera is closed meanwhile.
    std::shared_ptr<capture::CameraSource> source = m_source;
    if (source) {
        capture::RunSetUpDialog(*source, parent);
    }
}

void Grabbel::BufferCB(double sampleTime, BYTE* buffer, long length) {
    if (IBaseVideoCB* cb = m_callback.load()) {
        cb->VideoBufferCB(sampleTime, buffer, length);
    }
}

void Grabbel::GetFrame() {
    struct Ended {
        std::mutex& lock;
        std::atomic<bool>& flag;
        ~Ended() {
            std::lock_guard<std::mutex> hold(lock);
            flag = false;
        }
    } ended{m_wakeMutex, m_frameRunning};
    const int fps = m_fps;
    const auto interval = std::chrono::milliseconds(fps > 0 ? 1000 / fps : 100);
    unsigned w = 0, h = 0;
    {
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        GetRatio(w, h);
        if (w == 0 || h == 0 || !m_callback.load()) {
            m_frameRunning = false;
            return;
        }
    }
    std::vector<BYTE> frame(size_t(w) * h * 3);
    m_framesDelivered = 0;
    const auto start = std::chrono::steady_clock::now();
    while (m_open) {
        IBaseVideoCB* cb = m_callback.load();
        if (cb && m_capturing) {
            unsigned n = QueryFrame(frame.data(), unsigned(frame.size()));
            if (n > 0) {
                cb->VideoFrameCB(frame.data(), long(n));
            }
        }
        ++m_framesDelivered;
        std::unique_lock<std::mutex> lock(m_wakeMutex);
        m_wake.wait_until(lock, start + interval * m_framesDelivered, [this] { return !m_open; });
    }
}
