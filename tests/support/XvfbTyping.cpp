#include "XvfbTyping.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

namespace desktoptest {

namespace {

// The keysym of a character: Latin-1 keeps its code, the rest are Unicode keysyms.
KeySym SymOf(gunichar c) {
    return c < 0x100 ? KeySym(c) : KeySym(0x1000000 | c);
}

struct KeyMap {
    Display* d = nullptr;
    int low = 0, high = 0, per = 0;
    std::vector<KeySym> map;
    std::vector<int> ours;  // keycodes bound here, unbound before the next part

    bool Load() {
        XDisplayKeycodes(d, &low, &high);
        KeySym* raw = XGetKeyboardMapping(d, KeyCode(low), high - low + 1, &per);
        if (!raw || per <= 0) return false;
        map.assign(raw, raw + (high - low + 1) * per);
        XFree(raw);
        return true;
    }
    bool Empty(int code) const {
        for (int j = 0; j < per; ++j)
            if (map[(code - low) * per + j] != NoSymbol) return false;
        return true;
    }
    bool Bound(KeySym s) const {
        for (KeySym k : map)
            if (k == s) return true;
        return false;
    }
    // Binds the keysym to the highest spare keycode; the last spare one stays free for xdotool.
    bool Bind(KeySym s) {
        int spare = 0, code = -1;
        for (int c = low; c <= high; ++c)
            if (Empty(c)) ++spare, code = c;
        if (spare < 2) return false;
        KeySym syms[2] = {s, s};  // the same with and without Shift
        XChangeKeyboardMapping(d, code, 2, syms, 1);
        map[(code - low) * per] = map[(code - low) * per + 1] = s;
        ours.push_back(code);
        return true;
    }
    void Release() {
        KeySym none[2] = {NoSymbol, NoSymbol};
        for (int code : ours) {
            XChangeKeyboardMapping(d, code, 2, none, 1);
            for (int j = 0; j < per; ++j) map[(code - low) * per + j] = NoSymbol;
        }
        ours.clear();
        XSync(d, False);
    }
};

bool Type(const std::string& text, int delayMs) {
    std::string quoted;
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const std::string cmd = "xdotool type --delay " + std::to_string(delayMs) + " '" + quoted + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// The focused window's toolkit client (the window or an ancestor taking _NET_WM_PING), or 0.
::Window PingTarget(Display* d) {
    const Atom ping = XInternAtom(d, "_NET_WM_PING", False);
    ::Window at = 0;
    int revert = 0;
    XGetInputFocus(d, &at, &revert);
    while (at != None && at != PointerRoot) {
        Atom* list = nullptr;
        int n = 0;
        if (XGetWMProtocols(d, at, &list, &n)) {
            bool has = false;
            for (int i = 0; i < n; ++i) has = has || list[i] == ping;
            XFree(list);
            if (has) return at;
        }
        ::Window root = 0, parent = 0, *kids = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, at, &root, &parent, &kids, &count)) break;
        if (kids) XFree(kids);
        if (parent == root) break;
        at = parent;
    }
    return 0;
}

// Pings the focused window and waits for its answer, which its toolkit sends once it has translated every
// key before the ping. Its own connection, so that the test's GDK does not take the answer.
bool SettleFocused() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    auto old = XSetErrorHandler(+[](Display*, XErrorEvent*) { return 0; });
    const ::Window target = PingTarget(d);
    bool answered = false;
    if (target) {
        const ::Window root = DefaultRootWindow(d);
        XSelectInput(d, root, SubstructureNotifyMask);
        static long stamp = 1;
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = target;
        ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = long(XInternAtom(d, "_NET_WM_PING", False));
        ev.xclient.data.l[1] = ++stamp;
        ev.xclient.data.l[2] = long(target);
        XSendEvent(d, target, False, NoEventMask, &ev);
        XFlush(d);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!answered && std::chrono::steady_clock::now() < until) {
            if (!XPending(d)) {
                pollfd p{ConnectionNumber(d), POLLIN, 0};
                poll(&p, 1, 100);
                continue;
            }
            XEvent in;
            XNextEvent(d, &in);
            answered = in.type == ClientMessage && in.xclient.data.l[0] == ev.xclient.data.l[0] &&
                       in.xclient.data.l[1] == stamp;
        }
    }
    XSync(d, False);
    XSetErrorHandler(old);
    XCloseDisplay(d);
    if (!target) usleep(500000);  // no toolkit window to ask: give it time
    return answered || !target;
}

}  // namespace

bool TypeUtf8(const std::string& utf8, int delayMs) {
    GdkDisplay* gd = gdk_display_get_default();
    if (!gd || !GDK_IS_X11_DISPLAY(gd) || !g_utf8_validate(utf8.c_str(), -1, nullptr)) return false;
    KeyMap keys;
    keys.d = GDK_DISPLAY_XDISPLAY(gd);
    if (!keys.Load()) return false;
    bool ok = true;
    std::string part;
    auto flush = [&] {
        if (part.empty()) return;
        XSync(keys.d, False);
        ok = Type(part, delayMs) && ok;
        part.clear();
        ok = SettleFocused() && ok;
        keys.Release();
    };
    for (const char* p = utf8.c_str(); *p && ok; p = g_utf8_next_char(p)) {
        const KeySym s = SymOf(g_utf8_get_char(p));
        if (!keys.Bound(s) && !keys.Bind(s)) {
            flush();  // the spare keys are taken: type what has them, then bind afresh
            if (!keys.Bind(s)) ok = false;
        }
        part.append(p, size_t(g_utf8_next_char(p) - p));
    }
    flush();
    return ok;
}

}  // namespace desktoptest
