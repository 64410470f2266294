// Window messages of the lobby and account windows (and those the updater sends them). Heap payloads travel
// in lParam through PostMessageOwned, so the runtime frees them when a post fails or the window dies first.
#pragma once

#include "RoomNotify.h"  // WM_ROOM_NOTIFY, WM_UPDATE_MY_INFO and the room codes
#include "Win32Types.h"

constexpr UINT WM_TRAY_NOTIFY = WM_USER + 20;           // wParam icon id, lParam mouse message
constexpr UINT WM_UPDATE_ROOM_LIST = WM_USER + 100;     // the directory was replaced
constexpr UINT WM_UPDATE_ONLINE_COUNT = WM_USER + 102;  // the online counts were refreshed
constexpr UINT WM_LOGIN_UI_INFO = WM_USER + 104;        // lParam heap map of texts
constexpr UINT WM_RES_CHANGED = WM_USER + 106;          // wParam resource-type mask
constexpr UINT WM_CLOSE_ALL_ROOMS = WM_USER + 107;
constexpr UINT WM_FORCE_UPDATE = WM_USER + 108;           // wParam 1 start, other end
constexpr UINT WM_FORCE_UPDATE_PROGRESS = WM_USER + 109;  // wParam percent, lParam seconds left
constexpr UINT WM_HOME_PAGE_LOADED = WM_USER + 110;
constexpr UINT WM_WEB_COMMAND = WM_USER + 205;    // lParam heap std::string command (PostMessageOwned)
constexpr UINT WM_LOGIN_FAILED = WM_USER + 1000;  // wParam kind 1/3/5, lParam heap std::string
constexpr UINT WM_LOGIN_DONE = WM_USER + 1001;

// Tray icon id of the login dialog and the frame.
constexpr UINT kTrayIconId = 100;
// Window property by which the updater finds the client.
constexpr const char* kMainWndProperty = "VarnetMainWnd";
