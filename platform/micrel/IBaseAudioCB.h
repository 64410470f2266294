// Receiver of the microphone's chunks: 16-bit interleaved PCM, on the capture thread; the data is borrowed.
#pragma once

#include <cstdint>

class IBaseAudioCB {
public:
    virtual ~IBaseAudioCB() = default;
    virtual void AudioBufferCB(double time, uint8_t* pcm, long length) = 0;
};
