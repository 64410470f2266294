#include "LobbyTestEnv.h"

#include "ZqMusicCore.h"

namespace lobbytest {

testenv::RoomService& Service() {
    static testenv::RoomService* service = new testenv::RoomService;
    return *service;
}

testenv::ChatServer& Chat() {
    static testenv::ChatServer* chat = new testenv::ChatServer;
    return *chat;
}

namespace {
class StopAtEnd : public ::testing::Environment {
public:
    void TearDown() override {
        // As the program does at exit: the plug-in the frame loaded joins its word-list loader.
        AfxGetDataDllManager()->FreeDataDlls();
        CMsgClientThread::GetInstance().Stop();
        Service().Stop();
        Chat().Stop();
    }
};
const auto* g_env = ::testing::AddGlobalTestEnvironment(new StopAtEnd);
}  // namespace

}  // namespace lobbytest
