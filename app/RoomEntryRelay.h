// The program's room manager until the room logic and the room window exist: it turns the enter-room reply
// into the enter result for the frame (posted from the request worker) and records the room it was handed.
// No room is kept open, so the frame never asks to close one.
//
// Threads: OnZQMessageNotify on the request worker; everything else on the UI thread.
#pragma once

#include <atomic>

#include "ILobbyRoomManager.h"
#include "MsgClientThread.h"

class CRoomEntryRelay : public ILobbyRoomManager, public CZQEventListener {
public:
    ~CRoomEntryRelay() override;
    bool Init(HWND parent) override;
    uint32_t GetCurRoomId() const override { return 0; }
    std::string GetRoomName(uint32_t) const override { return ""; }
    std::string GetRoomPassword(uint32_t) const override { return ""; }
    HWND GetRoomWnd() const override { return nullptr; }
    void ActivateRoomWnd() override {}
    void RemoveAll() override {}
    void OnNotifyRoom(int code, LPARAM payload) override;
    void OnZQMessageNotify(CZQMessage* msg, CZQEventSource* source) override;

private:
    std::atomic<HWND> m_hParent{nullptr};
};
