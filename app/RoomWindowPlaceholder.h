// Temporary: the program's room window until the real one exists. It creates no window and has no
// columns; it only logs what the room manager tells it ("RoomUI.txt"), so that entering a room still runs
// the room logic and its chat connection. Notifications for the room window find no window and are freed
// by their posters. Replace it with the room window.
//
// Threads: GetHWND, GetRoomID, GetDealUI, IsIconic and IsForeground from any thread; the rest on the UI
// thread.
#pragma once

#include <atomic>

#include "RoomUI.h"

class CRoomWindowPlaceholder : public IRoomUI {
public:
    HWND GetHWND() override { return nullptr; }
    uint32_t GetRoomID() override { return roomId_; }
    void SetRoomID(uint32_t roomId) override;
    IRoomLogic* GetRoomLogic() override { return logic_; }
    void SetRoomLogic(IRoomLogic* logic) override { logic_ = logic; }
    bool GetDealUI(int, IRoomDealUI** out) override;
    bool CreateRoomWindow(const std::string& title) override;
    void CloseRoomWindow() override;
    bool IsWindowVisible() override { return false; }
    bool IsIconic() override { return false; }
    void RestoreMaximized() override {}
    void BringToFront() override {}
    bool IsForeground() override { return false; }

private:
    std::atomic<uint32_t> roomId_{0};
    std::atomic<IRoomLogic*> logic_{nullptr};
};
