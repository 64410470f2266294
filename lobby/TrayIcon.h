// The program's icon in the desktop's notification area (the login dialog's and the frame's), and the small
// shell layer under it: Shell_NotifyIconA hands the record to the tray host. Without a host (headless runs,
// tests) the calls are recorded and succeed; with the desktop host (EnableDesktopTray) a status icon
// appears where the desktop has a tray (StatusNotifierItem or legacy), and the program runs the same where
// it has none. The icon's mouse
// events reach the record's window as its callback message (wParam the id, lParam WM_LBUTTONDBLCLK or
// WM_RBUTTONDOWN). UI thread only.
#pragma once

#include <cstdint>

#include "UIDefine.h"
#include "Win32Types.h"
#include "Win32Desktop.h"

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;
constexpr UINT NIF_MESSAGE = 1;
constexpr UINT NIF_ICON = 2;
constexpr UINT NIF_TIP = 4;

struct NOTIFYICONDATAA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    char szTip[128];  // GBK
};

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data);

class ITrayHost {
public:
    virtual ~ITrayHost() = default;
    virtual bool Add(const NOTIFYICONDATAA& data) = 0;
    virtual bool Delete(HWND hWnd, UINT id) = 0;
    // The icon's screen rectangle, where the host knows it.
    virtual bool GetRect(HWND hWnd, UINT id, DuiLib::RECT& rc) {
        (void)hWnd, (void)id, (void)rc;
        return false;
    }
};
// Null: no host. The host is not owned.
void SetTrayHost(ITrayHost* host);
// What the desktop offers for status icons: a StatusNotifierItem watcher on the session bus, a legacy
// (XEmbed) tray on the screen, or neither.
enum class DesktopTray { NoTray, StatusNotifier, Legacy };
DesktopTray FindDesktopTray();
// The desktop host of the icons, chosen by FindDesktopTray (a GTK status icon unless a StatusNotifierItem
// watcher is there); call after the UI backend is up. Returns what the desktop offered.
DesktopTray EnableDesktopTray();
// The field the icon's own menu opens for: the icon's screen rectangle where the host knows it, else the
// pointer's point.
DuiLib::RECT TrayMenuField(HWND hWnd, UINT id, DuiLib::POINT cursor);
// Icons added and not yet deleted (every host), for tests.
int TrayIconCount();

// A StatusNotifierItem host shows the icon's menu itself: a choice there reaches the window as the callback
// with these values in place of the mouse message, and the window acts as on its own menu's items.
constexpr UINT kTrayMenuShow = 0x0401;  // 显示主窗口
constexpr UINT kTrayMenuQuit = 0x0402;  // 退出

class CTrayIcon {
public:
    static constexpr DWORD kRecordSize = 488;
    CTrayIcon() { Clear(); }
    virtual ~CTrayIcon() { Delete(); }
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;
    bool Add(HWND hWnd, HICON icon);
    // Removes the icon when it was added; the destructor does not repeat it.
    void Delete();
    bool IsAdded() const { return m_data.uID != 0; }

private:
    void Clear();
    NOTIFYICONDATAA m_data;
};
