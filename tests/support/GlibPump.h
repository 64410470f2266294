// Runs the default GLib main context (GTK's) on the test thread until a condition holds, for tests that
// drive GTK widgets without a message loop of their own.
#pragma once

#include <glib.h>

#include <functional>
#include <thread>

namespace testsupport {

// Dispatches what is pending, resting 2 ms when nothing is, until `done` holds or `ms` have passed; true
// when it held.
inline bool Pump(const std::function<bool()>& done, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        g_main_context_iteration(nullptr, FALSE);
        if (!g_main_context_pending(nullptr)) g_usleep(2000);
    }
    return true;
}

}  // namespace testsupport
