// The display of a benchmark that shows windows: $DISPLAY, else an Xvfb child on the first free number from
// :150 (stopped by StopDisplay); the program's data and installation folders in a fresh temporary folder
// named after the benchmark, its logs there, and the window backend started.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "ChildProcess.h"
#include "TestUtil.h"
#include "UIBackendGtk.h"
#include "UIManager.h"
#include "Win32Window.h"
#include "ZqLog.h"

namespace benchdisplay {

inline testenv::ChildProcess& Xvfb() {
    static testenv::ChildProcess xvfb;
    return xvfb;
}

inline bool UseDisplay(const std::string& name) {
    const char* d = getenv("DISPLAY");
    if (!d || !*d) {
        for (int n = 150; n < 200; ++n) {
            std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
            if (access(lock.c_str(), F_OK) == 0 || access(sock.c_str(), F_OK) == 0) continue;
            if (!Xvfb().Start({"Xvfb", ":" + std::to_string(n), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}))
                return false;
            for (int i = 0; i < 100 && access(sock.c_str(), F_OK) != 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            setenv("DISPLAY", (":" + std::to_string(n)).c_str(), 1);
            break;
        }
    }
    setenv("NO_AT_BRIDGE", "1", 1);
    const std::string dir = testsupport::MakeTempDir(("varnet-" + name + "-bench").c_str());
    if (!dir.empty()) {
        setenv("VARNET_DATA_DIR", dir.c_str(), 1);
        setenv("VARNET_INSTALL_DIR", dir.c_str(), 1);
        LogSetFolder(dir + "/log");
    }
    Win32Init();
    if (!DuiLib::UIBackendGtkInit()) return false;
    DuiLib::CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    return true;
}

inline void StopDisplay() {
    Xvfb().Stop();
}

}  // namespace benchdisplay
