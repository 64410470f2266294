// Microphone capture through the SDL audio subsystem: 16-bit interleaved PCM delivered in buffers of
// exactly the requested size to an IBaseAudioCB, on SDL's capture thread.
//
// For tests and demos a synthetic tone can stand in for the device's samples (SetToneSource, or the
// environment variable VARNET_MIC_TONE=<Hz>); the device still paces the capture.
//
// Threads: the owner opens, starts, stops and closes; the receiver is called on SDL's capture thread.
// The capture calls are virtual so that a test can stand another source in.
#pragma once

#include <SDL2/SDL.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "DebugLog.h"
#include "IBaseAudioCB.h"

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
    // Tone of `hz` in place of the device's samples; 0 turns it off.
    static void SetToneSource(double hz);

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
    double m_tonePhase = 0;
    double m_time = 0;  // s of audio delivered since StartCapture
    std::vector<uint8_t> m_chunk;
    size_t m_fill = 0;
    std::recursive_mutex m_cbLock;  // guards m_cb against the capture thread
    IBaseAudioCB* m_cb = nullptr;

    static std::atomic<int> s_volume;
    static std::atomic<double> s_toneHz;
};
