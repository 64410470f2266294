// Messages and timer of the microphone windows.
#pragma once

#include "Win32Types.h"

constexpr UINT WM_MIC_POPUP_CLOSED = WM_USER + 1;           // 1025
constexpr UINT WM_MIC_LINK_RESULT = WM_USER + 2;            // 1026: wParam 1 linked, 0 failed
constexpr UINT WM_MIC_GET_CLOSE_VIDEO_IMAGE = WM_USER + 3;  // 1027
constexpr UINT WM_MIC_GET_POPUP_IMAGE = WM_USER + 4;        // 1028
constexpr UINT_PTR MIC_RECONNECT_TIMER_ID = 256;

// The chat notice of a failed link goes to the room window as WM_ROOM_NOTIFY code 40 (RoomNotify.h).
