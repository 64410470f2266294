// Microphone capture through the SDL audio subsystem: 16-bit interleaved PCM delivered in buffers of
// exactly the requested size to an IBaseAudioCB, on SDL's capture thread.
//
// Tests and the demo's performers may put stand-in samples in place of the device's (SetSampleSource);
// the device still paces the capture.
//
// Threads: the owner opens, starts, stops and closes; the receiver is called on SDL's capture thread.
// The capture calls are virtual so that a test can stand another source in.
#pragma once

#include <SDL2/SDL.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "DebugLog.h"
#include "IBaseAudioCB.h"
#include "ThreadAnnotations.h"

class Micrel {
public:
    Micrel();
    virtual ~Micrel();
    Micrel(const Micrel&) = delete;
    Micrel& operator=(const Micrel&) = delete;

    static int MicrophoneCount();
    // The device's name in GBK, cut (never inside a character) to `size` bytes with its terminator.
    // 0, or -1 for an unknown index.
    static int MicrophoneName(int index, char* buffer, int size);
    // Capture volume 0..100 for every microphone (software gain; 0 gives silence).
    static void SetVolume(uint8_t value);
    // Writes stand-in samples over each full buffer before the capture volume: `frames` frames of
    // `channels` 16-bit samples at `rate`, the first one `time` s after StartCapture. Called on the
    // capture thread of every microphone of the process; null returns to the device's samples.
    using SampleSource = void (*)(int16_t* samples, size_t frames, int channels, int rate, double time);
    static void SetSampleSource(SampleSource source);

    // Opens device `device` (0 is also the default device when none is listed) for `channels` channels
    // at `sampleRate`, delivering `bufferBytes` a call. The capture starts with StartCapture.
    virtual bool OpenMicrophone(int device, int sampleRate, int channels, int bufferBytes);
    virtual bool StartCapture();
    // The receiver of later buffers; null stops the calls. Any time, also from inside AudioBufferCB.
    virtual void SetBuffCB(IBaseAudioCB* cb);
    // No call reaches the receiver once this returns. 0 (also when idle).
    virtual int StopCapture();
    virtual void CloseMicrophone();

private:
    varnet::DebugId m_debugId;  // names this object in debug lines
    static void SdlCallback(void* self, Uint8* stream, int len);
    void Deliver();

    SDL_AudioDeviceID m_device = 0;
    bool m_acquired = false;
    int m_rate = 0;
    int m_channels = 0;
    double m_time = 0;  // s of audio delivered since StartCapture
    std::vector<uint8_t> m_chunk;
    size_t m_fill = 0;
    varnet::RecursiveMutex m_cbLock;  // guards m_cb against the capture thread
    IBaseAudioCB* m_cb GUARDED_BY(m_cbLock) = nullptr;

    static std::atomic<int> s_volume;
    static std::atomic<SampleSource> s_source;
};
