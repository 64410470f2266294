#include "LobbyTestEnv.h"

namespace lobbytest {

testenv::RoomService& Service() {
    static testenv::RoomService* service = new testenv::RoomService;
    return *service;
}

namespace {
class StopAtEnd : public ::testing::Environment {
public:
    void TearDown() override {
        CMsgClientThread::GetInstance().Stop();
        Service().Stop();
    }
};
const auto* g_env = ::testing::AddGlobalTestEnvironment(new StopAtEnd);
}  // namespace

}  // namespace lobbytest
