// Monotonic clock readings in milliseconds, from one clock for every layer.
#pragma once

#include <cstdint>

namespace varnet {

// Milliseconds since an arbitrary start, as the platform's 32-bit tick count: it wraps after about 49.7 days,
// so compare two readings by their unsigned difference only.
uint32_t TickCount();

// The same clock without the wrap, for deadlines.
int64_t MonotonicMs();

}  // namespace varnet
