// Connects the settings dialog's camera and microphone tests to a preview view and a level bar.
//
// Threads: the owner sets the two targets on the UI thread before the capture starts and clears them
// after it stopped; VideoFrameCB runs on the camera's frame thread and AudioBufferCB on the microphone's
// capture thread. The level bar's SetValue only stores a value and invalidates.
#pragma once

#include "MediaDefs.h"

#include <atomic>

class CVideoShowWnd;
namespace DuiLib {
class CProgressUI;
}

class CVideoDataCB : public IBaseVideoCB, public IBaseAudioCB {
public:
    void SetPreviewWnd(CVideoShowWnd* wnd) { m_preview = wnd; }
    void SetLevelBar(DuiLib::CProgressUI* bar) { m_level = bar; }

    void VideoBufferCB(double sampleTime, BYTE* buffer, long length) override;
    void VideoFrameCB(BYTE* rgb24, long length) override;
    void AudioBufferCB(double time, BYTE* pcm, long length) override;

    // The level a chunk gives the bar: the mean level of its first 100 samples; -1 for a chunk without
    // a whole sample.
    static int ChunkLevel(const BYTE* pcm, long length);

private:
    std::atomic<CVideoShowWnd*> m_preview{nullptr};
    std::atomic<DuiLib::CProgressUI*> m_level{nullptr};
};
