// Shared set-up of the lobby tests: a private data folder, the skins of the build, the local room service
// and the request worker pointed at it, the chat server the service hands out, and the real room manager
// with a recording room window, counting what the frame asked of it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "GlobalData.h"
#include "MsgClientThread.h"
#include "ChatServer.h"
#include "RoomLogicTestEnv.h"
#include "RoomManager.h"
#include "RoomNotify.h"
#include "RoomService.h"
#include "TestKeys.h"
#include "ZqWindowBase.h"
#include "Win32.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "TestUtil.h"

namespace lobbytest {

// The service of the test program; stopped, with the request worker, after the last test (before the
// program's statics go).
testenv::RoomService& Service();
testenv::ChatServer& Chat();

// Once per test program (each test case runs as a program of its own).
inline testenv::RoomService& SetUpOnce() {
    testenv::RoomService& service = Service();
    static bool done = [&service] {
        std::string dir = testsupport::MakeTempDir("varnet-lobby");
        if (dir.empty()) dir = "/tmp";
        setenv("VARNET_DATA_DIR", dir.c_str(), 1);
        LogSetFolder(dir + "/log");
        AfxReleaseConfigManager();
        AfxGetConfigManager()->SetString("config", "version", "1.0.0.1", 1);
        Win32Init();
        DuiLib::CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
        service.Start(0);
        int chatPort = Chat().Start(0);
        service.WithData([chatPort](testenv::SvcData& d) { d.chatPort = chatPort; });
        CMsgClientThread& w = CMsgClientThread::GetInstance();
        w.SetEndpoint(service.Endpoint());
        w.SetRequestTimeout(1500);
        w.Start();
        return true;
    }();
    (void)done;
    return service;
}

// A guest session of the service asked for through the request worker, the message loop pumped meanwhile;
// false when no answer came within 10 s (uid and sid 0).
bool GuestSession(uint32_t& uid, uint32_t& sid);

inline void SignOut() {
    CGlobalDataApp::GetInstance().ResetUserInfo();
}

struct RoomWindowHolder {
    roomlogictest::RecordingWindow window;
};

// The room manager of the tests: the real one with a recording room window; it counts the frame's calls
// and copies the records it is handed before passing them on.
class RecordingRoomManager : private RoomWindowHolder, public CRoomManager {
public:
    RecordingRoomManager() : CRoomManager(&window) {}
    roomlogictest::RecordingWindow& Window() { return window; }
    void ActivateRoomWnd() override {
        ++activated;
        CRoomManager::ActivateRoomWnd();
    }
    void RemoveAll() override {
        ++removeAll;
        CRoomManager::RemoveAll();
    }
    void OnNotifyRoom(int code, LPARAM payload) override {
        codes.push_back(code);
        if (code == ROOM_NOTIFY_ENTER_RESULT) {
            auto* r = reinterpret_cast<EnterRoomResult*>(payload);
            entered.push_back(r ? *r : EnterRoomResult());
        } else if (code == ROOM_NOTIFY_USER_CHANGED && payload) {
            changeValues.push_back(reinterpret_cast<RoomUserChange*>(payload)->value);
        }
        CRoomManager::OnNotifyRoom(code, payload);
    }

    int activated = 0;
    int removeAll = 0;
    std::vector<int> codes;
    std::vector<EnterRoomResult> entered;
    std::vector<int> changeValues;
};

}  // namespace lobbytest
