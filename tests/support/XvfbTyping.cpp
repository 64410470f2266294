#include "XvfbTyping.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <cstdlib>
#include <vector>

namespace desktoptest {

namespace {

// The keysym of a character: Latin-1 keeps its code, the rest are Unicode keysyms.
KeySym SymOf(gunichar c) {
    return c < 0x100 ? KeySym(c) : KeySym(0x1000000 | c);
}

}  // namespace

bool BindKeys(const std::string& utf8) {
    GdkDisplay* gd = gdk_display_get_default();
    if (!gd || !GDK_IS_X11_DISPLAY(gd) || !g_utf8_validate(utf8.c_str(), -1, nullptr)) return false;
    Display* d = GDK_DISPLAY_XDISPLAY(gd);
    int low = 0, high = 0, per = 0;
    XDisplayKeycodes(d, &low, &high);
    KeySym* raw = XGetKeyboardMapping(d, KeyCode(low), high - low + 1, &per);
    if (!raw || per <= 0) return false;
    std::vector<KeySym> map(raw, raw + (high - low + 1) * per);
    XFree(raw);
    auto empty = [&](int code) {
        for (int j = 0; j < per; ++j)
            if (map[(code - low) * per + j] != NoSymbol) return false;
        return true;
    };
    auto bound = [&](KeySym s) {
        for (KeySym k : map)
            if (k == s) return true;
        return false;
    };
    bool ok = true, changed = false;
    for (const char* p = utf8.c_str(); *p; p = g_utf8_next_char(p)) {
        const KeySym s = SymOf(g_utf8_get_char(p));
        if (bound(s)) continue;
        // Spare keycodes from the top down; the lowest one stays free for xdotool's own bindings.
        int code = high, spare = 0;
        for (int c = low; c <= high; ++c) spare += empty(c);
        while (code >= low && !empty(code)) --code;
        if (code < low || spare < 2) {
            ok = false;
            break;
        }
        KeySym syms[2] = {s, s};  // the same with and without Shift
        XChangeKeyboardMapping(d, code, 2, syms, 1);
        map[(code - low) * per] = s;
        changed = true;
    }
    if (changed) XSync(d, False);
    return ok;
}

bool TypeUtf8(const std::string& utf8, int delayMs) {
    if (!BindKeys(utf8)) return false;
    std::string quoted;
    for (char c : utf8) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const std::string cmd = "xdotool type --delay " + std::to_string(delayMs) + " '" + quoted + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

}  // namespace desktoptest
