// Messages and timer of the microphone windows, and the chat notice record they post to the room window.
#pragma once

#include "Win32Types.h"

#include <string>

constexpr UINT WM_MIC_POPUP_CLOSED = WM_USER + 1;           // 1025
constexpr UINT WM_MIC_LINK_RESULT = WM_USER + 2;            // 1026: wParam 1 linked, 0 failed
constexpr UINT WM_MIC_GET_CLOSE_VIDEO_IMAGE = WM_USER + 3;  // 1027
constexpr UINT WM_MIC_GET_POPUP_IMAGE = WM_USER + 4;        // 1028
constexpr UINT_PTR MIC_RECONNECT_TIMER_ID = 256;

#ifndef VARNET_WM_ROOM_NOTIFY
#define VARNET_WM_ROOM_NOTIFY
constexpr UINT WM_ROOM_NOTIFY = WM_USER + 105;  // 1129
#endif
constexpr WPARAM ROOM_NOTIFY_CHAT_NOTICE = 40;

// Payload of WM_ROOM_NOTIFY code 40: a line for the user's own chat view; the room window frees it.
struct MicChatNotice {
    int flags = 2;
    std::string text;
};
