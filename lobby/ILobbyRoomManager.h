// What the main frame needs of the room manager: the one open room, closing it, and handing on the room
// notifications (the enter result among them). The room manager implements it; tests use a recording one.
//
// Threads: every call comes from the UI thread.
#pragma once

#include <cstdint>
#include <string>

#include "Win32Types.h"

class ILobbyRoomManager {
public:
    virtual ~ILobbyRoomManager() = default;
    // Once, from the frame's window initialisation: the window that gets the room notifications.
    virtual bool Init(HWND parent) = 0;
    // The open room's id (0 when none), its name and the password it was entered with.
    virtual uint32_t GetCurRoomId() const = 0;
    virtual std::string GetRoomName(uint32_t roomId) const = 0;
    virtual std::string GetRoomPassword(uint32_t roomId) const = 0;
    // The open room's window (owner of the login dialog it asks for); null when none.
    virtual HWND GetRoomWnd() const = 0;
    // Brings the open room's window forward.
    virtual void ActivateRoomWnd() = 0;
    // Closes the open room (and tells the service).
    virtual void RemoveAll() = 0;
    // Every WM_ROOM_NOTIFY after the frame's own handling. Code 0 hands on the entered room: lParam is an
    // EnterRoomResult* that the room manager now owns. Any other record stays the frame's and is freed when
    // the call returns.
    virtual void OnNotifyRoom(int code, LPARAM payload) = 0;
    // Removes a room from the user's favourites (a home page command); 0 is ignored by the service.
    virtual void DelFavRoom(int roomId) { (void)roomId; }
};
