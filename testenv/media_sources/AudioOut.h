// Stand-in sound outputs for tests, benchmarks and the demo: a player that plays to nothing at the
// real rate, completing each buffer when its duration has passed.
//
// Threads: as Tovel's (PlaySamples on the playing thread, the callback on the sink's own thread).
#pragma once

#include "Tovel.h"

#include <memory>

namespace playback {

// Wakes both of its sides for every buffer.
std::unique_ptr<Tovel> CreateClockAudioOut();
// Wakes as the wave-out player does: its thread sleeps until the next buffer's end (woken by PlaySamples
// only when it had nothing queued), and a PlaySamples waiting for room (above 8 outstanding) is woken only
// once 4 or fewer remain; for measuring the players' own wake-ups.
std::unique_ptr<Tovel> CreateQuietClockAudioOut();

}  // namespace playback
