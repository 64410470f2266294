// What the tests that drive real programs on the test display share: shell commands, finding a top-level
// window by its title with xdotool, clicks at a point of it, screenshots of a screen rectangle, bounded waits.
// Needs GDK initialised on the display (gdk_init_check) for Screenshot. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <gdk/gdk.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "TestUtil.h"
#include "UIDefine.h"

namespace desktoptest {

using DuiLib::POINT;
using DuiLib::RECT;

// What the command writes to its standard output (its errors are dropped).
inline std::string Shell(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// Screen rectangle of the first visible top-level window whose (UTF-8) title matches the xdotool pattern
// (a regular expression); false when none.
inline bool FindWindow(const std::string& pattern, RECT& rc) {
    std::istringstream in(Shell("xdotool search --onlyvisible --name '" + pattern + "'"));
    std::string id;
    if (!(in >> id)) return false;
    std::istringstream g(Shell("xdotool getwindowgeometry --shell " + id));
    int x = -1, y = -1, w = 0, h = 0;
    for (std::string line; std::getline(g, line);) {
        if (line.rfind("X=", 0) == 0) x = atoi(line.c_str() + 2);
        if (line.rfind("Y=", 0) == 0) y = atoi(line.c_str() + 2);
        if (line.rfind("WIDTH=", 0) == 0) w = atoi(line.c_str() + 6);
        if (line.rfind("HEIGHT=", 0) == 0) h = atoi(line.c_str() + 7);
    }
    rc = {x, y, x + w, y + h};
    return x >= 0 && w > 0;
}

// Polls `done` every 50 ms for at most `ms`.
template <class F>
bool WaitFor(F done, int ms = 20000) {
    return testsupport::WaitUntil(done, std::chrono::milliseconds(ms), std::chrono::milliseconds(50));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Clicks `times` times at `pt` of the window at screen rectangle `wnd`.
inline void Click(const RECT& wnd, POINT pt, int times = 1) {
    std::string cmd = "xdotool mousemove " + std::to_string(wnd.left + pt.x) + " " + std::to_string(wnd.top + pt.y) +
                      " click --repeat " + std::to_string(times) + " --delay 90 1";
    EXPECT_EQ(system((cmd + " >/dev/null 2>&1").c_str()), 0);
}

// A PNG of the screen rectangle.
inline void Screenshot(const RECT& rc, const std::string& file) {
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top, rc.right - rc.left,
                                               rc.bottom - rc.top);
    ASSERT_NE(pb, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(pb, file.c_str(), "png", nullptr, nullptr));
    g_object_unref(pb);
}

}  // namespace desktoptest
