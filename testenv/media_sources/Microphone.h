// Stand-in microphones for tests, benchmarks and the demo's performers: a sine tone at the real rate,
// delivered like the capture component's buffers (exactly the opened byte count a call, on the
// microphone's own thread, never after StopCapture returned).
#pragma once

#include "Micrel.h"

#include <memory>

namespace publish {

std::unique_ptr<Micrel> CreateToneMicrophone(double frequency = 440.0);

// A tone of `hz` over the samples of every real microphone of the process (through
// Micrel::SetSampleSource); 0 gives the device's samples back.
void SetMicrophoneTone(double hz);

}  // namespace publish
