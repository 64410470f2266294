// Message numbers, key codes and styles the UI library uses beyond those of the window runtime,
// with the platform's values.
#pragma once

#include <Win32.h>

constexpr UINT SC_MINIMIZE = 0xF020;
constexpr UINT SC_MAXIMIZE = 0xF030;
constexpr UINT SC_CLOSE = 0xF060;
constexpr UINT SC_RESTORE = 0xF120;
constexpr UINT VK_F4 = 0x73;

// Closes the topmost popup or modal window from outside; its modal result is -2.
constexpr UINT WM_DISMISS_POPUP = 6024;

// Window styles the library looks at.
constexpr DWORD UI_WS_POPUP = 0x80000000u;
constexpr DWORD UI_WS_CHILD = 0x40000000u;
constexpr DWORD UI_WS_VISIBLE = 0x10000000u;
constexpr DWORD UI_WS_CAPTION = 0x00C00000u;
