// Stand-in sound outputs for tests, benchmarks and the demo: a player that plays to nothing at the
// real rate, completing each buffer when its duration has passed.
//
// Threads: as Tovel's (PlaySamples on the playing thread, the callback on the sink's own thread).
#pragma once

#include "Tovel.h"

#include <memory>

namespace playback {

std::unique_ptr<Tovel> CreateClockAudioOut();

}  // namespace playback
