// Screenshots of this process's windows on the test display, for the window tests (GTK only: UiTestSupport.cpp
// is linked into headless tests as well).
#pragma once

#include <gtest/gtest.h>

#include <gdk/gdk.h>

#include <string>

#include "UIWindow.h"
#include "Win32Window.h"
#include "XvfbDesktop.h"

namespace desktoptest {

// A PNG of the window once the X server has drawn what it was sent (this process's events handled meanwhile).
inline void Shot(DuiLib::CWindowWnd& w, const std::string& file) {
    gdk_display_sync(gdk_display_get_default());
    PumpMessagesFor(400);
    gdk_display_sync(gdk_display_get_default());
    DuiLib::RECT rc = w.GetWindowRect();
    ASSERT_GT(rc.right - rc.left, 0);
    Screenshot(rc, file);
}

}  // namespace desktoptest
