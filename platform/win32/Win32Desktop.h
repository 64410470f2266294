// What the desktop does for window handles (attention requests), given by the UI backend that shows the
// windows, and the program's icon resources. Without a desktop (headless use) the requests report failure
// and nothing else happens.
//
// Threads: SetDesktopWindows and the desktop's own calls belong to the UI thread; FlashWindowEx may be called
// from any thread (off the UI thread it is queued there). The icon resource table may be used from any thread.
#pragma once

#include <cstddef>

#include "Win32Types.h"

using HINSTANCE = void*;
struct Win32Icon;
using HICON = Win32Icon*;

// Attention requests.
struct FLASHWINFO {
    UINT cbSize = sizeof(FLASHWINFO);
    HWND hwnd = nullptr;
    DWORD dwFlags = 0;
    UINT uCount = 0;
    DWORD dwTimeout = 0;
};
constexpr DWORD FLASHW_STOP = 0;
constexpr DWORD FLASHW_CAPTION = 0x1;
constexpr DWORD FLASHW_TRAY = 0x2;
constexpr DWORD FLASHW_ALL = 0x3;
constexpr DWORD FLASHW_TIMER = 0x4;
constexpr DWORD FLASHW_TIMERNOFG = 0xC;  // until the window comes to the foreground

constexpr UINT WM_SETICON = 0x0080;  // wParam ICON_SMALL or ICON_BIG, lParam the HICON
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

class IDesktopWindows {
public:
    virtual ~IDesktopWindows() = default;
    // Asks for the user's attention to the window (FLASHW_STOP withdraws the request); false when the
    // desktop does not show the window.
    virtual bool Flash(const FLASHWINFO& info) = 0;
};

// Installs the desktop (null removes it). The caller keeps the object alive while it is installed.
void SetDesktopWindows(IDesktopWindows* desktop);
IDesktopWindows* GetDesktopWindows();
// FALSE when there is no desktop, or it does not show the window. Off the UI thread the request is queued to
// the UI thread: TRUE once queued.
BOOL FlashWindowEx(const FLASHWINFO* info);

// Icon resources: images (PNG bytes) the program registers under resource ids. The bytes must stay valid
// for the life of the process (static data).
void RegisterIconResource(int id, const unsigned char* png, size_t size);
// A new handle to the icon of resource `id`; null when no such resource is registered. The instance is
// not used (one program, one resource table).
HICON LoadIcon(HINSTANCE instance, int id);
BOOL DestroyIcon(HICON icon);
// The image of an icon; null (size 0) for a null handle.
const unsigned char* IconImage(HICON icon, size_t* size);
