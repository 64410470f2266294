// Replies parsed per second (enter-room reply and user list with 1,000 users); room-service requests
// through the request worker against the local room service beside bare libcurl GETs of the same query
// (the anchor): one request at a time, and batches of 1,500.
#include <benchmark/benchmark.h>

#include <curl/curl.h>

#include <condition_variable>
#include <memory>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

#include "BenchFigures.h"
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
    std::string s =
        "{\"cmd\":\"enterroom\",\"status\":1,\"role\":1,\"level\":5,\"chatid\":\"c\",\"msg1\":\"%D6%D0\",\"miclist\":[";
    for (int i = 0; i < 3; ++i) {
        if (i) s += ",";
        s += "{\"user\":" + User(i) + ",\"live\":{\"type\":1,\"micattr\":0,\"url\":\"rtmp://127.0.0.1/vstar/" +
             std::to_string(i) + "\",\"op\":\"play\",\"tm\":1700000000,\"md5\":\"abc\",\"idx\":" + std::to_string(i) +
             "}}";
    }
    s += "],\"chatroom\":{\"ip\":\"127.0.0.1\",\"port\":1,\"channel\":{\"login\":{\"id\":1,\"sig\":2},\"join\":{\"id\":"
         "3,\"sig\":4}}},";
    s += "\"sendgiftlist\":[";
    for (int i = 0; i < 500; ++i) {
        if (i) s += ",";
        s += "{\"fid\":" + std::to_string(i) + ",\"fname\":\"%D6%D0" + std::to_string(i) +
             "\",\"fbeautyid\":1,\"flevel\":2,\"tid\":" + std::to_string(i + 500) +
             ",\"tname\":\"%D6%D0\",\"tbeautyid\":3,\"tlevel\":4,\"gid\":5,\"cnt\":6,\"hiscnt\":6,\"tm\":7}";
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
        CZQMessage* m =
            CZQMsgFactory::BuildFromString(body.data(), CZQMsgFactory::GetRegistry(), static_cast<int>(body.size()));
        benchmark::DoNotOptimize(m);
        delete m;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
}

void BM_EnterRoomReply1000Users(benchmark::State& state) {
    ParseBody(state, EnterRoomReply());
}
void BM_UserListReply1000Users(benchmark::State& state) {
    ParseBody(state, UserListReply());
}

class Counter : public CZQEventListener {
public:
    void OnZQMessageNotify(CZQMessage*, CZQEventSource*) override {
        std::lock_guard<std::mutex> g(lock);
        ++count;
        cv.notify_all();
    }
    // False when the replies do not come within a minute.
    bool WaitFor(long n) {
        std::unique_lock<std::mutex> lk(lock);
        return cv.wait_for(lk, std::chrono::minutes(1), [&] { return count >= n; });
    }
    std::mutex lock;
    std::condition_variable cv;
    long count = 0;
};

// One room service for every benchmark; the worker and the anchor ask it the same question.
testenv::RoomService& Service() {
    static testenv::RoomService* service = [] {
        Init();
        auto* s = new testenv::RoomService;
        s->Start();
        return s;
    }();
    return *service;
}

std::string RequestUrl() {
    CMsgClientThread worker;
    worker.SetEndpoint(Service().Endpoint());
    CZQGetCateListMsg m;
    std::unique_ptr<MsgSendData> d(worker.GetSendDataFromMsgClass(&m));
    return d ? d->url : std::string();
}

constexpr int kBatch = 1500;

// Requests through the worker: `batch` posted at once, then every reply awaited.
void WorkerRequests(benchmark::State& state, int batch) {
    Service();
    CMsgClientThread worker;
    worker.SetEndpoint(Service().Endpoint());
    Counter counter;
    worker.EventSource().AddListener(&counter);
    worker.Start();
    {
        CZQGetCateListMsg first;  // the worker's start-up pause and the first connection stay out
        worker.PostRequest(&first);
        counter.WaitFor(1);
    }
    long expected = counter.count;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) {
            CZQGetCateListMsg m;
            worker.PostRequest(&m);
        }
        expected += batch;
        if (!counter.WaitFor(expected)) {
            state.SkipWithError("replies missing");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * batch);
    worker.Stop();
    worker.EventSource().RemoveListener(&counter);
}

size_t Discard(char*, size_t size, size_t n, void*) {
    return size * n;
}

bool CurlGet(CURL* easy, const std::string& url) {
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Discard);
    long status = 0;
    return curl_easy_perform(easy) == CURLE_OK &&
           curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
}

void BM_WorkerOneRequest(benchmark::State& state) {
    WorkerRequests(state, 1);
}

// The anchor: a bare libcurl GET of the same query on one kept-alive handle.
void BM_CurlKeptAliveRequest(benchmark::State& state) {
    const std::string url = RequestUrl();
    CURL* easy = curl_easy_init();
    CurlGet(easy, url);
    for (auto _ : state) {
        if (!CurlGet(easy, url)) {
            state.SkipWithError("request failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    curl_easy_cleanup(easy);
}

void BM_WorkerBatch(benchmark::State& state) {
    WorkerRequests(state, kBatch);
}

// The anchor: the same batch with a new libcurl handle (and connection) per request.
void BM_CurlNewHandleBatch(benchmark::State& state) {
    const std::string url = RequestUrl();
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            CURL* easy = curl_easy_init();
            const bool ok = CurlGet(easy, url);
            curl_easy_cleanup(easy);
            if (!ok) {
                state.SkipWithError("request failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

}  // namespace

BENCHMARK(BM_EnterRoomReply1000Users);
BENCHMARK(BM_UserListReply1000Users);
BENCHMARK(BM_WorkerOneRequest)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CurlKeptAliveRequest)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_WorkerBatch)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlNewHandleBatch)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchfig::Figure one{"one room-service request at a time over loopback (anchor: libcurl, kept-alive handle)",
                         "BM_WorkerOneRequest/real_time", "BM_CurlKeptAliveRequest/real_time"};
    benchfig::Figure batch{
        "requests per second through the worker, batches of 1,500 (anchor: libcurl, new handle each)",
        "BM_WorkerBatch/real_time", "BM_CurlNewHandleBatch/real_time", true};
    return benchfig::Main(argc, argv, {one, batch});
}
