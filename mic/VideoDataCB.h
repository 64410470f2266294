// Connects the settings dialog's camera and microphone tests to a preview view and a level bar.
//
// Threads: constructed, destroyed and given its targets on the UI thread (the targets before the capture
// starts, cleared after it stopped); VideoFrameCB runs on the camera's frame thread and AudioBufferCB on
// the microphone's capture thread. The level reaches the bar on the UI thread: the capture thread stores
// the newest level and posts (once until it is taken) to a relay window of this object.
#pragma once

#include "IBaseAudioCB.h"
#include "MediaDefs.h"
#include "Win32Window.h"

#include <atomic>
#include <memory>

class CVideoShowWnd;
namespace DuiLib {
class CProgressUI;
}

class CVideoDataCB : public IBaseVideoCB, public IBaseAudioCB {
public:
    CVideoDataCB();
    ~CVideoDataCB() override;
    CVideoDataCB(const CVideoDataCB&) = delete;
    CVideoDataCB& operator=(const CVideoDataCB&) = delete;

    void SetPreviewWnd(CVideoShowWnd* wnd) { m_preview = wnd; }
    void SetLevelBar(DuiLib::CProgressUI* bar) { m_level = bar; }

    void VideoBufferCB(double sampleTime, BYTE* buffer, long length) override;
    void VideoFrameCB(BYTE* rgb24, long length) override;
    void AudioBufferCB(double time, BYTE* pcm, long length) override;

    // The level a chunk gives the bar: the mean level of its first 100 samples; -1 for a chunk without
    // a whole sample (nothing to divide by: the bar keeps its value).
    static int ChunkLevel(const BYTE* pcm, long length);

private:
    struct Relay;
    std::atomic<CVideoShowWnd*> m_preview{nullptr};
    DuiLib::CProgressUI* m_level = nullptr;  // UI thread
    std::atomic<int> m_pendingLevel{-1};     // -1: nothing to show
    std::unique_ptr<Relay> m_relay;
    std::atomic<HWND> m_relayWnd{nullptr};
};
