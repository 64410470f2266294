// What the benchmarks of a room window share: the display (BenchDisplay's) with the signed-in account a room
// window expects, and their measures (wall seconds since a moment, this process's CPU seconds).
#pragma once

#include <sys/resource.h>

#include <cstdio>
#include <string>
#include <thread>

#include "BenchDisplay.h"
#include "GlobalData.h"

namespace benchdisplay {

using Clock = std::chrono::steady_clock;

inline double Since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// User and system time of this process, in seconds.
inline double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The display for a room window (see UseDisplay) and the account 1001 signed in; false, after saying so, when
// there is no display.
inline bool UseRoomDisplay(const std::string& name) {
    if (!UseDisplay(name)) {
        fprintf(stderr, "no display for the room window\n");
        return false;
    }
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = 1001; });
    return true;
}

}  // namespace benchdisplay
