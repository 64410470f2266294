#include "TrayIcon.h"

#include <cstring>
#include <map>
#include <utility>

#include "LobbyMessages.h"

namespace {
ITrayHost* g_host = nullptr;
std::map<std::pair<HWND, UINT>, bool> g_icons;  // UI thread only
}  // namespace

void SetTrayHost(ITrayHost* host) {
    g_host = host;
}

DuiLib::RECT TrayMenuField(HWND hWnd, UINT id, DuiLib::POINT cursor) {
    DuiLib::RECT rc{};
    if (g_host && g_icons.count({hWnd, id}) && g_host->GetRect(hWnd, id, rc) && rc.right > rc.left &&
        rc.bottom > rc.top)
        return rc;
    return {cursor.x, cursor.y, cursor.x, cursor.y};
}

int TrayIconCount() {
    return (int)g_icons.size();
}

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
    if (!data) return FALSE;
    auto key = std::make_pair(data->hWnd, data->uID);
    if (message == NIM_ADD) {
        if (g_icons.count(key)) return FALSE;
        if (g_host && !g_host->Add(*data)) return FALSE;
        g_icons[key] = true;
        return TRUE;
    }
    if (message == NIM_DELETE) {
        if (!g_icons.erase(key)) return FALSE;
        if (g_host) g_host->Delete(data->hWnd, data->uID);
        return TRUE;
    }
    return FALSE;
}

void CTrayIcon::Clear() {
    std::memset(&m_data, 0, sizeof m_data);
}

bool CTrayIcon::Add(HWND hWnd, HICON icon) {
    Clear();
    m_data.hWnd = hWnd;
    m_data.uID = kTrayIconId;
    m_data.hIcon = icon;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = WM_TRAY_NOTIFY;
    m_data.cbSize = kRecordSize;
    std::strncpy(m_data.szTip, "泽嘉多人视频", sizeof m_data.szTip - 1);
    if (Shell_NotifyIconA(NIM_ADD, &m_data)) return true;
    Clear();
    return false;
}

void CTrayIcon::Delete() {
    if (m_data.uID == 0) return;
    Shell_NotifyIconA(NIM_DELETE, &m_data);
    Clear();
}
