// The room notification message: WM_ROOM_NOTIFY carries a code in wParam and, for some codes, a heap record
// in lParam that the receiving window frees (posted with PostMessageOwned, so a failed post frees it too).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RoomRecords.h"
#include "Win32Types.h"

constexpr UINT WM_ROOM_NOTIFY = WM_USER + 105;

// Codes of WM_ROOM_NOTIFY (wParam).
enum enum_room_notify_type {
    ROOM_NOTIFY_ENTER_RESULT = 0,      // lParam: EnterRoomResult*, to the main frame
    ROOM_NOTIFY_CLOSE_ROOM = 1,        // lParam: room id
    ROOM_NOTIFY_SHOW_LOBBY = 6,
    ROOM_NOTIFY_USER_CHANGE = 19,      // lParam: RoomUserChange*
    ROOM_NOTIFY_LOGIN_ELSEWHERE = 33,  // lParam: the user's id
    ROOM_NOTIFY_SERVER_RESTART = 35,
    ROOM_NOTIFY_ROOM_FULL = 36,        // lParam: the user's id
    ROOM_NOTIFY_RELOGIN_ENTER = 44,    // log in, then enter the room again
    ROOM_NOTIFY_REGISTER = 45,
};

// The result of an enter-room request (code 0).
struct EnterRoomResult {
    uint32_t roomId = 0;
    MicUserMap micList;                  // user id -> microphone entry
    int status = 0;                      // 1 = entered
    std::string statusText;
    std::string enterShow;               // entrance-effect text
    std::vector<uint32_t> welcomeUsers;  // welcome-word user ids in reply order
};

// A user whose details changed (codes 16, 17, 19): for 19 `value` holds the change flags of
// WM_UPDATE_MY_INFO (1 level, 2 display id, 4 nickname, 8 coins, 0x10 beans, 0x20 photo, 0x40 stamp).
struct RoomUserChange {
    uint32_t uid = 0;
    int value = 0;
};
