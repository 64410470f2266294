#include "LobbyTestEnv.h"

#include "Win32Window.h"
#include "ZQCommands.h"
#include "ZqMusicCore.h"

#include <atomic>

namespace lobbytest {

testenv::RoomService& Service() {
    static testenv::RoomService* service = new testenv::RoomService;
    return *service;
}

testenv::ChatServer& Chat() {
    static testenv::ChatServer* chat = new testenv::ChatServer;
    return *chat;
}

bool GuestSession(uint32_t& uid, uint32_t& sid) {
    struct Listener : CZQEventListener {
        std::atomic<uint32_t> uid{0}, sid{0};
        void OnZQMessageNotify(CZQMessage* m, CZQEventSource*) override {
            if (auto* g = dynamic_cast<CZQGetAnonyUserMsg*>(m)) {
                sid = g->sid;
                uid = g->uid;
            }
        }
    } l;
    CZQGetAnonyUserMsg guest;
    CMsgClientThread::GetInstance().EventSource().AddListener(&l);
    CMsgClientThread::GetInstance().PostRequest(&guest);
    const bool answered = PumpUntil([&] { return l.uid != 0; }, 10000);
    CMsgClientThread::GetInstance().EventSource().RemoveListener(&l);
    uid = l.uid;
    sid = l.sid;
    return answered;
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
