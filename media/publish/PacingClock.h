// Timestamps for captured data: milliseconds since the encode thread started, advanced by the mean
// interval between calls and pulled toward the wall clock.
#pragma once

#include "MediaExport.h"

#include <cstdint>
#include <vector>

class VARNET_MEDIA_EXPORT CPacingClock {
public:
    static constexpr int kRing = 2048;

    CPacingClock() { Reset(0); }
    void Reset(uint32_t startTick);
    // The next timestamp for a call at tick `now` (32-bit milliseconds; wrap-safe).
    uint32_t Next(uint32_t now);

private:
    uint32_t m_startTick = 0;
    uint32_t m_firstOffset = 0;
    std::vector<int> m_ring;
    int m_position = 0;
    int m_count = 0;
    int64_t m_sum = 0;
    uint32_t m_lastTick = 0;
    uint32_t m_advance = 0;
    bool m_first = true;
};
