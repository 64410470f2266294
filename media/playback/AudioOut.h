// The sound output a playback session plays through: the wave-out player, or a clocked sink that
// plays to nothing at the real rate (tests, benchmarks, machines without sound).
//
// Threads: Init, PlaySamples and Uint on the session's audio thread (Uint also on the owner's after
// the audio thread ended); Abort from any thread; the callback on the output's completion thread.
#pragma once

#include "MediaTypes.h"

#include <functional>
#include <memory>

namespace playback {

// A buffer finished playing: the user pointer, the samples, their byte count, the pts given with them.
using AudioDoneFn = void (*)(void* user, void* data, int length, unsigned pts);

class AudioOut {
public:
    virtual ~AudioOut() = default;
    // 0, or -1 when the device cannot be opened (later PlaySamples then fail).
    virtual int Init(unsigned device, WAVEFORMATEX* format, AudioDoneFn done, void* user) = 0;
    // Queues a copy; blocks while the output is far ahead. Returns length, or -1 (not open, aborted).
    virtual int PlaySamples(BYTE* pcm, int length, unsigned pts) = 0;
    // Makes a blocked PlaySamples return now and refuses further buffers.
    virtual void Abort() = 0;
    // Finishes or drops what is queued and closes.
    virtual void Uint() = 0;
};

// The output used when no factory is set: the wave-out player where one is built into this library,
// otherwise the clocked sink.
std::unique_ptr<AudioOut> CreateDefaultAudioOut();
// Plays to nothing, completing each buffer when its duration has passed.
std::unique_ptr<AudioOut> CreateClockAudioOut();

}  // namespace playback
