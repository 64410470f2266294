#include "Tick.h"

#include <time.h>

namespace varnet {

int64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

uint32_t TickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(MonotonicMs()));
}

}  // namespace varnet
