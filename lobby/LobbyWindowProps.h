// The window property "VarnetMainWnd": set on the window the updater talks to, and published so that the
// updater's process can post it the messages it sends (resource change, forced update, progress).
#pragma once

#include "Win32Types.h"

void SetMainWndProperty(HWND hwnd);
void ClearMainWndProperty(HWND hwnd);
