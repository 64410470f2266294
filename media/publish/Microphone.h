// The microphone a publishing session captures from: the capture component where one is built into
// this library, or a synthetic tone (tests, benchmarks, machines without sound).
// Calls as the capture component takes them; chunks of exactly the opened byte count arrive through
// IBaseAudioCB::AudioBufferCB on the microphone's own thread, never after StopCapture returned.
#pragma once

#include "MediaDefs.h"

#include <memory>

namespace publish {

class Microphone {
public:
    virtual ~Microphone() = default;
    virtual bool OpenMicrophone(int device, int sampleRate, int channels, int bufferBytes) = 0;
    virtual bool StartCapture() = 0;
    virtual void SetBuffCB(IBaseAudioCB* cb) = 0;
    virtual int StopCapture() = 0;
    virtual void CloseMicrophone() = 0;
};

std::unique_ptr<Microphone> CreateDefaultMicrophone();
// A sine tone of `frequency` Hz at the real rate.
std::unique_ptr<Microphone> CreateToneMicrophone(double frequency = 440.0);

}  // namespace publish
