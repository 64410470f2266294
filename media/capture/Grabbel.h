// Grabbel: the camera library. Lists cameras, opens one at a chosen size, delivers polled frames at a
// fixed rate on a frame thread of its own (top-down B,G,R rows, no padding), and carries the colour
// conversions shared by the media libraries.
//
// Threads: the owner calls open/start/stop/close and SetBuffCB; the frame thread calls VideoFrameCB;
// the device's own thread calls BufferCB -> VideoBufferCB. CloseCamera joins the frame thread, so it
// must not be called from inside VideoFrameCB.
#pragma once

#include "DebugLog.h"
#include "MediaDefs.h"
#include "MediaExport.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace capture {
class CameraSource;
}

class VARNET_MEDIA_EXPORT Grabbel {
public:
    Grabbel();
    virtual ~Grabbel();
    Grabbel(const Grabbel&) = delete;
    Grabbel& operator=(const Grabbel&) = delete;

    static int CameraCount();
    // The camera's name into `buffer`, cut to `length` bytes with its terminator; 0, or -1 for a bad index.
    static int CameraName(int index, char* buffer, int length);

    static void InitLookupTable();
    static int ConvertRGB2YUV(int width, int height, const BYTE* rgb24, BYTE* i420);
    static void InitConvertTable();
    static void ConvertYUV2RGB(const BYTE* i420, BYTE* rgb24, int width, int height);
    // The same from planes with their own strides (see CColorConvert::ConvertI420ToRGB); 0 when refused.
    static int ConvertI420ToRGB(const BYTE* y, int yStride, const BYTE* u, int uStride, const BYTE* v, int vStride,
                                BYTE* rgb24, int width, int height);

    bool OpenCamera(int index, int width, int height, int fps);
    void CloseCamera();
    bool StartCapture();
    int StopCapture();
    // Stores the callback; starts the frame thread when none runs (again when an earlier one ended, as
    // it does when there was no camera or no callback yet).
    void SetBuffCB(IBaseVideoCB* cb);
    // The current frame, top-down, width * height * 3 bytes; 0 when none or `length` is too small.
    unsigned QueryFrame(BYTE* buffer, unsigned length);
    void GetRatio(unsigned& width, unsigned& height);
    void GetRatioList(std::string& out);
    // The settings dialog of the open camera (brightness, contrast, whatever the device offers), owned by
    // the window whose handle is `parent`; returns when it is closed, or when the camera is closed
    // meanwhile (the device then stays alive until the dialog is gone). Nothing without an open camera or
    // a display. Owner thread, which must be the UI thread.
    void ShowSetUp(void* parent);
    void BufferCB(double sampleTime, BYTE* buffer, long length);

private:
    varnet::DebugId m_debugId;  // names this object in debug lines
    void GetFrame();

    std::shared_ptr<capture::CameraSource> m_source;  // owner thread; frame thread while it runs
    std::atomic<IBaseVideoCB*> m_callback{nullptr};
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_capturing{false};
    std::atomic<int> m_fps{0};
    std::thread m_frameThread;
    std::atomic<bool> m_frameRunning{false};  // cleared by the frame thread as it ends
    std::mutex m_wakeMutex;                   // with m_wake: lets CloseCamera cut the frame thread's sleep short
    std::condition_variable m_wake;
    unsigned long m_framesDelivered = 0;  // frame thread
};
