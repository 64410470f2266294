// The double-click rule of a window whose class takes double clicks, over the presses a desktop reports
// one by one: a press of the same button within the double-click time and distance of the press that
// began a click is its second press, and arrives as the double click only; the press after a double
// click begins a new one.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace DuiLib {

class CDoubleClickRule {
public:
    // timeMs: the press's time stamp; (x, y) in screen coordinates.
    bool IsSecondPress(unsigned button, uint32_t timeMs, int x, int y, uint32_t limitMs, int distance) {
        const bool second = m_armed && button == m_button && uint32_t(timeMs - m_time) < limitMs &&
                            std::abs(x - m_x) <= distance && std::abs(y - m_y) <= distance;
        m_armed = !second;
        m_button = button;
        m_time = timeMs;
        m_x = x;
        m_y = y;
        return second;
    }

private:
    bool m_armed = false;
    unsigned m_button = 0;
    uint32_t m_time = 0;
    int m_x = 0, m_y = 0;
};

}  // namespace DuiLib
