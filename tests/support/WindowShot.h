// Screenshots of this process's windows on the test display, for the window tests (GTK only: UiTestSupport.cpp
// is linked into headless tests as well).
#pragma once

#include <gtest/gtest.h>

#include <gdk/gdk.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "UIBackendGtk.h"
#include "UiTestSupport.h"
#include "UIWindow.h"
#include "Win32.h"
#include "Win32Window.h"
#include "XvfbDesktop.h"
#include "ZqModConfig.h"

namespace desktoptest {

// The window library on the test display for one test: a data folder of its own, the build's skins. False when
// the display does not open.
inline bool OpenWindowLibrary(const std::string& dataDir) {
    setenv("VARNET_DATA_DIR", duitest::TempDir(dataDir).c_str(), 1);
    AfxReleaseConfigManager();
    Win32Init();
    if (!DuiLib::UIBackendGtkInit()) return false;
    DuiLib::CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    return true;
}

// The window tests' screenshot folder, made.
inline std::string ScreenshotDir() {
    const std::string dir = VARNET_BINARY_DIR "/screenshots";
    std::filesystem::create_directories(dir);
    return dir;
}

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
