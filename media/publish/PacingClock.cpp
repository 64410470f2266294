#include "PacingClock.h"

#include <cstddef>
using std::size_t;

void CPacingClock::Reset(uint32_t startTick) {
    m_startTick = startTick;
    m_firstOffset = 0;
    m_ring.assign(kRing, 0);
    m_position = 0;
    m_count = 0;
    m_sum = 0;
    m_lastTick = 0;
    m_advance = 0;
    m_first = true;
}

uint32_t CPacingClock::Next(uint32_t now) {
    if (m_first) {
        m_first = false;
        m_lastTick = now;
        m_firstOffset = now - m_startTick;
        m_advance = 0;
        return m_firstOffset;
    }
    const int interval = int(now - m_lastTick);
    m_lastTick = now;
    m_sum += interval - m_ring[size_t(m_position)];
    m_ring[size_t(m_position)] = interval;
    m_position = (m_position + 1) % kRing;
    if (m_count < kRing) {
        ++m_count;
    }
    const int64_t mean = m_sum / m_count;
    const int64_t t = int64_t(m_advance) + m_firstOffset;
    const int64_t w = int64_t(uint32_t(now - m_startTick));
    if (t > w) {
        m_advance += uint32_t(mean / 2);
    } else if (t + 2 * mean < w) {
        m_advance += uint32_t(mean * 3 / 2);
    } else {
        m_advance += uint32_t(mean);
    }
    return m_advance + m_firstOffset;
}
