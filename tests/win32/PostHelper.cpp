// A second process for the window-runtime tests.
//   post <name> <msg> <count> <lParam>   posts (msg, i, lParam) for i in 0..count-1; exit 0 when all went
//   serve <name> <msg> <ms>               publishes a window under <name>, prints "ready", exits with the
//                                         wParam of the first <msg> it gets (3 when <ms> pass first, 2 when
//                                         the publish fails)
//   reg <prefix> <count>                  writes <count> registry values "<prefix><i>" = "<i>"; exit 0 when all went
//   killself <name>                       KillProcessByName(<name>) where <name> is its own; exit 0 when it counted 0
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Win32.h"

namespace {

class QuitOn : public CWin32Window {
public:
    explicit QuitOn(UINT msg) : msg_(msg) {}
    LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM) override {
        if (msg == msg_) {
            PostQuitMessage(static_cast<int>(w));
        } else if (msg == WM_TIMER) {
            PostQuitMessage(3);
        }
        return 0;
    }

private:
    UINT msg_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && strcmp(argv[1], "post") == 0) {
        UINT msg = static_cast<UINT>(strtoul(argv[3], nullptr, 10));
        long count = strtol(argv[4], nullptr, 10);
        LPARAM l = static_cast<LPARAM>(strtoll(argv[5], nullptr, 10));
        for (long i = 0; i < count; ++i) {
            if (!PostMessageToProperty(argv[2], msg, static_cast<WPARAM>(i), l, 5000)) {
                fprintf(stderr, "post %ld failed\n", i);
                return 1;
            }
        }
        return 0;
    }
    if (argc == 5 && strcmp(argv[1], "serve") == 0) {
        Win32Init();
        QuitOn win(static_cast<UINT>(strtoul(argv[3], nullptr, 10)));
        HWND h = CreateWindowHandle(&win);
        if (!PublishWindowProperty(argv[2], h)) {
            return 2;
        }
        SetTimer(h, 1, static_cast<UINT>(strtoul(argv[4], nullptr, 10)));
        printf("ready\n");
        fflush(stdout);
        int code = RunMessageLoop();
        DestroyWindow(h);
        return code;
    }
    if (argc == 4 && strcmp(argv[1], "reg") == 0) {
        long count = strtol(argv[3], nullptr, 10);
        for (long i = 0; i < count; ++i) {
            std::string n = std::to_string(i);
            if (!RegWriteString(HKEY_CURRENT_USER, "Software\\Test", argv[2] + n, n)) {
                return 1;
            }
        }
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "killself") == 0) {
        return KillProcessByName(argv[2], 100) == 0 ? 0 : 1;
    }
    fprintf(stderr, "usage: post|serve|reg|killself ...\n");
    return 64;
}
