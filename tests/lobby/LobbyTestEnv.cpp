#include "LobbyTestEnv.h"

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
        CMsgClientThread::GetInstance().Stop();
        Service().Stop();
        Chat().Stop();
    }
};
const auto* g_env = ::testing::AddGlobalTestEnvironment(new StopAtEnd);
}  // namespace

}  // namespace lobbytest
