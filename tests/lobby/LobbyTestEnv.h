// Shared set-up of the lobby tests: a private data folder, the skins of the build, the local room service
// and the request worker pointed at it, and a recording room manager.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "GlobalData.h"
#include "MsgClientThread.h"
#include "RoomEntryRelay.h"
#include "RoomNotify.h"
#include "RoomService.h"
#include "TestKeys.h"
#include "ZqWindowBase.h"
#include "Win32.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace lobbytest {

// The service of the test program; stopped, with the request worker, after the last test (before the
// program's statics go).
testenv::RoomService& Service();

// Once per test program (each test case runs as a program of its own).
inline testenv::RoomService& SetUpOnce() {
    testenv::RoomService& service = Service();
    static bool done = [&service] {
        char tmpl[] = "/tmp/varnet-lobby-XXXXXX";
        std::string dir = mkdtemp(tmpl) ? tmpl : "/tmp";
        setenv("VARNET_DATA_DIR", dir.c_str(), 1);
        LogSetFolder(dir + "/log");
        AfxReleaseConfigManager();
        AfxGetConfigManager()->SetString("config", "version", "1.0.0.1", 1);
        Win32Init();
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
        service.Start(0);
        CMsgClientThread& w = CMsgClientThread::GetInstance();
        w.SetEndpoint(service.Endpoint());
        w.SetRequestTimeout(1500);
        w.Start();
        return true;
    }();
    (void)done;
    return service;
}

inline void SignOut() { CGlobalDataApp::GetInstance().ResetUserInfo(); }

// The room manager of the tests: the program's relay (enter-room reply -> enter result), with a room that
// tests may declare open, and a record of what the frame asked.
class RecordingRoomManager : public CRoomEntryRelay {
public:
    uint32_t GetCurRoomId() const override { return openRoom; }
    std::string GetRoomName(uint32_t) const override { return openName; }
    std::string GetRoomPassword(uint32_t) const override { return openPassword; }
    void ActivateRoomWnd() override { ++activated; }
    void RemoveAll() override {
        ++removeAll;
        openRoom = 0;
    }
    void OnNotifyRoom(int code, LPARAM payload) override {
        codes.push_back(code);
        if (code == ROOM_NOTIFY_ENTER_RESULT) {
            auto* r = reinterpret_cast<EnterRoomResult*>(payload);
            entered.push_back(r ? *r : EnterRoomResult());
            delete r;
        } else if (code == ROOM_NOTIFY_USER_CHANGE && payload) {
            changeValues.push_back(reinterpret_cast<RoomUserChange*>(payload)->value);
        }
    }

    uint32_t openRoom = 0;
    std::string openName, openPassword;
    int activated = 0;
    int removeAll = 0;
    std::vector<int> codes;
    std::vector<EnterRoomResult> entered;
    std::vector<int> changeValues;
};

}  // namespace lobbytest
