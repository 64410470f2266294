// Do-nothing stand-ins of the interfaces between the room window, its columns and the room logic: a test
// derives from them and overrides only what it watches or answers differently. UI thread only.
#pragma once

#include <cstdint>
#include <string>

#include "RoomModalHost.h"
#include "RoomUI.h"

namespace roomtest {

// A room logic with a ready chat and every user in the room; sends and sign-in requests fail.
struct NullRoomLogic : IRoomLogic {
    IRoomUI* GetRoomUI() override { return nullptr; }
    uint32_t GetRoomID() override { return 0; }
    std::string GetMyChatID() override { return ""; }
    bool SendChatMsg(uint32_t, const std::string&, bool) override { return false; }
    bool CloseRoom() override { return true; }
    bool IsUserInRoom(uint32_t) override { return true; }
    void SetShieldBrushGift(bool) override {}
    void UnInit() override {}
    bool IsChatReady() override { return true; }
    bool RequestLogin(IRoomUI*) override { return false; }
    bool RequestRegister(IRoomUI*) override { return false; }
};

// A room window without a window, columns or logic.
struct NullRoomUI : IRoomUI {
    HWND GetHWND() override { return nullptr; }
    uint32_t GetRoomID() override { return 0; }
    void SetRoomID(uint32_t) override {}
    IRoomLogic* GetRoomLogic() override { return nullptr; }
    void SetRoomLogic(IRoomLogic*) override {}
    bool GetDealUI(int, IRoomDealUI** out) override { return *out = nullptr, false; }
    bool CreateRoomWindow(const std::string&) override { return false; }
    void CloseRoomWindow() override {}
    bool IsWindowVisible() override { return false; }
    bool IsIconic() override { return false; }
    void RestoreMaximized() override {}
    void BringToFront() override {}
    bool IsForeground() override { return false; }
};

// An empty modal stack; own-view lines are dropped.
struct NullModalHost : roomui::IRoomModalHost {
    void PushModalWnd(HWND) override {}
    void PopModalWnd(HWND) override {}
    HWND TopModalWnd() override { return nullptr; }
    int GetModalWndCount() override { return 0; }
    void ContinueModalCancel() override {}
    void AppendOwnViewHtml(const std::string&) override {}
};

}  // namespace roomtest
