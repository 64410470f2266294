// Replies parsed per second (enter-room reply and user list with 1,000 users) and requests per second
// through the request worker against the local room service.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

#include "GlobalData.h"
#include "MsgClientThread.h"
#include "RoomService.h"
#include "TestKeys.h"
#include "ZQCommands.h"
#include "ZQMsgFactory.h"
#include "ZqLog.h"

namespace {

void Init() {
    static bool done = [] {
        static char folder[] = "/tmp/varnet-bench-XXXXXX";
        if (mkdtemp(folder)) {
            setenv("VARNET_DATA_DIR", folder, 1);
            LogSetFolder(std::string(folder) + "/log");
        }
        CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
        return true;
    }();
    (void)done;
}

std::string User(int i) {
    return "{\"uid\":" + std::to_string(100000 + i) + ",\"nickname\":\"%D3%C3%BB%A7" + std::to_string(i) +
           "\",\"level\":5,\"beautyid\":" + std::to_string(900000 + i) +
           ",\"photoid\":31001,\"camera\":0,\"role\":0,\"chatid\":\"chat_" + std::to_string(i) +
           "\",\"mic\":0,\"hide\":0,\"tagid\":0}";
}

// An enter-room reply naming 1,000 users: 3 microphones, 500 gift-history entries (two users each).
std::string EnterRoomReply() {
    std::string s = "{\"cmd\":\"enterroom\",\"status\":1,\"role\":1,\"level\":5,\"chatid\":\"c\",\"msg1\":\"%D6%D0\",\"miclist\":[";
    for (int i = 0; i < 3; ++i) {
        if (i) s += ",";
        s += "{\"user\":" + User(i) + ",\"live\":{\"type\":1,\"micattr\":0,\"url\":\"rtmp://127.0.0.1/vstar/" +
             std::to_string(i) + "\",\"op\":\"play\",\"tm\":1700000000,\"md5\":\"abc\",\"idx\":" + std::to_string(i) + "}}";
    }
    s += "],\"chatroom\":{\"ip\":\"127.0.0.1\",\"port\":1,\"channel\":{\"login\":{\"id\":1,\"sig\":2},\"join\":{\"id\":3,\"sig\":4}}},";
    s += "\"sendgiftlist\":[";
    for (int i = 0; i < 500; ++i) {
        if (i) s += ",";
        s += "{\"fid\":" + std::to_string(i) + ",\"fname\":\"%D6%D0" + std::to_string(i) + "\",\"fbeautyid\":1,\"flevel\":2,\"tid\":" +
             std::to_string(i + 500) + ",\"tname\":\"%D6%D0\",\"tbeautyid\":3,\"tlevel\":4,\"gid\":5,\"cnt\":6,\"hiscnt\":6,\"tm\":7}";
    }
    s += "],\"wellist\":[]}";
    return s;
}

std::string UserListReply() {
    std::string s = "{\"cmd\":\"getroomuser\",\"status\":1,\"userlist\":[";
    for (int i = 0; i < 1000; ++i) {
        if (i) s += ",";
        s += User(i);
    }
    return s + "]}";
}

void ParseBody(benchmark::State& state, const std::string& body) {
    Init();
    for (auto _ : state) {
        CZQMessage* m = CZQMsgFactory::BuildFromString(body.data(), CZQMsgFactory::GetRegistry(),
                                                       static_cast<int>(body.size()));
        benchmark::DoNotOptimize(m);
        delete m;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}

void BM_EnterRoomReply1000Users(benchmark::State& state) { ParseBody(state, EnterRoomReply()); }
void BM_UserListReply1000Users(benchmark::State& state) { ParseBody(state, UserListReply()); }

class Counter : public CZQEventListener {
public:
    void OnZQMessageNotify(CZQMessage*, CZQEventSource*) override {
        std::lock_guard<std::mutex> g(lock);
        ++count;
        cv.notify_all();
    }
    std::mutex lock;
    std::condition_variable cv;
    long count = 0;
};

void BM_WorkerRequests(benchmark::State& state) {
    Init();
    testenv::RoomService service;
    service.Start();
    CMsgClientThread worker;
    worker.SetEndpoint(service.Endpoint());
    Counter counter;
    worker.EventSource().AddListener(&counter);
    worker.Start();
    const int batch = 1000;   // large enough that the worker's 50 ms idle wait hardly counts
    long expected = 0;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) {
            CZQGetCateListMsg m;
            worker.PostRequest(&m);
        }
        expected += batch;
        std::unique_lock<std::mutex> lk(counter.lock);
        counter.cv.wait(lk, [&] { return counter.count >= expected; });
    }
    state.SetItemsProcessed(state.iterations() * batch);
    worker.Stop();
    service.Stop();
}

}  // namespace

BENCHMARK(BM_EnterRoomReply1000Users);
BENCHMARK(BM_UserListReply1000Users);
BENCHMARK(BM_WorkerRequests)->Unit(benchmark::kMillisecond)->UseRealTime();
