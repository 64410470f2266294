// The request worker against the local room service.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <typeinfo>

#include <gtest/gtest.h>

#include "MsgClientThread.h"
#include "ProtocolTestEnv.h"
#include "RoomService.h"
#include "ZQCommands.h"
#include "ZQMsgFactory.h"

namespace {

struct Seen {
    std::string type;
    std::string cmd;
    int status = 0;
    std::string statusdesc;
    int seq = 0;
    int typeId = 0;
    int ctxInt[3] = {0, 0, 0};
    std::string ctxText[2];
    uint32_t uid = 0, sid = 0;  // guest and login replies
    size_t mics = 0;
};

class Recorder : public CZQEventListener {
public:
    void OnZQMessageNotify(CZQMessage* msg, CZQEventSource*) override {
        Seen s;
        s.type = typeid(*msg).name();
        s.cmd = msg->cmd;
        s.status = msg->status;
        s.statusdesc = msg->statusdesc;
        s.seq = msg->seq;
        s.typeId = msg->typeId;
        for (int i = 0; i < 3; ++i) s.ctxInt[i] = msg->ctxInt[i];
        s.ctxText[0] = msg->ctxText[0];
        s.ctxText[1] = msg->ctxText[1];
        if (auto* a = dynamic_cast<CZQGetAnonyUserMsg*>(msg)) s.uid = a->uid, s.sid = a->sid;
        if (auto* l = dynamic_cast<CZQLogInMsg*>(msg)) s.uid = l->user.uid, s.sid = l->user.sid;
        if (auto* e = dynamic_cast<CZQEnterRoomMsg*>(msg)) s.mics = e->micList.size();
        std::lock_guard<std::mutex> g(lock_);
        seen_.push_back(s);
        cv_.notify_all();
    }
    bool WaitFor(size_t n, int ms = 10000) {
        std::unique_lock<std::mutex> lk(lock_);
        return cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return seen_.size() >= n; });
    }
    std::vector<Seen> Get() {
        std::lock_guard<std::mutex> g(lock_);
        return seen_;
    }

private:
    std::mutex lock_;
    std::condition_variable cv_;
    std::vector<Seen> seen_;
};

// A loopback port that refuses connections (bound, never listening).
class RefusedPort {
public:
    RefusedPort() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~RefusedPort() { close(fd_); }
    std::string Endpoint() const { return "http://127.0.0.1:" + std::to_string(port_) + "/c.s?"; }

private:
    int fd_ = -1;
    int port_ = 0;
};

class Worker : public ::testing::Test {
protected:
    void SetUp() override {
        prototest::SetUpOnce();
        ASSERT_GT(service.Start(), 0);
        worker.SetEndpoint(service.Endpoint());
        worker.SetRequestTimeout(2000);
        worker.EventSource().AddListener(&rec);
    }
    void TearDown() override {
        worker.Stop();
        service.Stop();
    }
    // Signs in as alice through the worker and makes her the process's account.
    void LoginAlice() {
        CZQLogInMsg login;
        login.user.name = "alice";
        login.pwd = "secret";
        size_t before = rec.Get().size();
        ASSERT_EQ(worker.PostRequest(&login), 1);
        ASSERT_TRUE(rec.WaitFor(before + 1));
        Seen s = rec.Get().back();
        ASSERT_EQ(s.status, 1);
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) {
            a.uid = s.uid;
            a.sid = s.sid;
        });
        uid = s.uid;
        sid = s.sid;
    }

    // The account (after LoginAlice) and room 3003 in the fields a command carries them in.
    template <class M>
    void Own(M& m) const {
        m.uid = uid;
        m.sid = sid;
    }
    template <class M>
    void Room(M& m) const {
        Own(m);
        m.rid = 3003;
    }
    template <class M>
    void CtxRoom(M& m) const {
        Own(m);
        m.ctxInt[0] = 3003;
    }

    testenv::RoomService service;
    CMsgClientThread worker;
    Recorder rec;
    uint32_t uid = 0, sid = 0;
};

TEST_F(Worker, GuestLoginRoundTrip) {
    ASSERT_EQ(worker.Start(), 1);
    CZQGetAnonyUserMsg guest;
    ASSERT_EQ(worker.PostRequest(&guest), 1);
    ASSERT_TRUE(rec.WaitFor(1));
    Seen s = rec.Get()[0];
    EXPECT_EQ(s.type, typeid(CZQGetAnonyUserMsg).name());
    EXPECT_EQ(s.status, 1);
    EXPECT_GT(s.uid, 0u);
    EXPECT_EQ(s.seq, guest.seq);
    EXPECT_EQ(service.RequestCount("getanonyuser"), 1);
}

TEST_F(Worker, LogNeverHoldsThePasswordOrToken) {
    ASSERT_EQ(worker.Start(), 1);
    LoginAlice();
    CZQKickRoomMsg kick;
    Room(kick);
    worker.PostRequest(&kick);
    ASSERT_TRUE(rec.WaitFor(2));
    std::string log;
    ASSERT_TRUE(Dir::ReadFile(LogGetFolder() + "/HttpRequest.txt", log));
    EXPECT_NE(log.find("pwd=***"), std::string::npos);
    EXPECT_EQ(log.find("pwd=secret"), std::string::npos);
    EXPECT_NE(log.find("token=***&cmd=kickroom"), std::string::npos);
}

TEST_F(Worker, SignedRequestsPassTheServiceCheck) {
    ASSERT_EQ(worker.Start(), 1);
    LoginAlice();
    CZQEnterRoomMsg enter;
    CtxRoom(enter);
    ASSERT_EQ(worker.PostRequest(&enter), 1);
    CZQEnterRoomMsg locked;
    Own(locked);
    locked.ctxInt[0] = 3004;
    locked.pwd = "p&w";  // reaches the service whole because it is encoded
    ASSERT_EQ(worker.PostRequest(&locked), 1);
    ASSERT_TRUE(rec.WaitFor(3));
    auto seen = rec.Get();
    EXPECT_EQ(seen[1].status, 1) << seen[1].statusdesc;
    EXPECT_EQ(seen[1].mics, 1u);
    EXPECT_EQ(seen[2].status, 1) << seen[2].statusdesc;
    EXPECT_EQ(service.BadSignatures(), 0);

    CGlobalDataApp::GetInstance().SetSignKeys("wrong-key", prototest::kKeyB);
    CZQKickRoomMsg kick;
    Room(kick);
    worker.PostRequest(&kick);
    ASSERT_TRUE(rec.WaitFor(4));
    CGlobalDataApp::GetInstance().SetSignKeys(prototest::kKeyA, prototest::kKeyB);
    EXPECT_EQ(rec.Get()[3].status, 4);
    EXPECT_EQ(service.BadSignatures(), 1);
}

TEST_F(Worker, EveryCommandIsAnsweredByTheService) {
    ASSERT_EQ(worker.Start(), 1);
    LoginAlice();
    service.WithData([](testenv::SvcData& d) { d.rooms[3003].roles[1001] = 5; });
    std::vector<std::unique_ptr<CZQMessage>> msgs;
    // A command with its fields filled in turn.
    auto add = [&](auto* m, auto... fill) {
        (fill(*m), ...);
        msgs.emplace_back(m);
    };
    auto own = [this](auto& m) { Own(m); };
    auto room = [this](auto& m) { Room(m); };
    auto ctxRoom = [this](auto& m) { CtxRoom(m); };
    auto tid = [](int t) { return [t](auto& m) { m.tid = t; }; };
    auto optype = [](int t) { return [t](auto& m) { m.optype = t; }; };
    auto chat = [](auto& m) { m.chatid = "chat_1001"; };
    add(new CZQEnterRoomMsg, ctxRoom);
    add(new CZQGetChatSigMsg, ctxRoom, chat);
    add(new CZQGetLiveSigMsg, ctxRoom, [](auto& m) { m.ctxInt[1] = 1002, m.ctxText[0] = "listen"; });
    add(new CZQGetMicInfoMsg, room);
    add(new CZQGetMicMsg, room, tid(1002));
    add(new CZQGetRoomInfoMsg, room);
    add(new CZQGetRoomUserMsg, room);
    add(new CZQGetUserInfoMsg, own, tid(1002));
    add(new CZQGetUserLocMsg, room, tid(1002));
    add(new CZQOpFavRoomMsg, room, optype(1));
    add(new CZQOpMicAttrMsg, ctxRoom, optype(1), [](auto& m) { m.ctxInt[1] = 1002, m.attr = 2; });
    add(new CZQOpMicMsg, room, tid(1001), optype(1), [](auto& m) { m.mictype = 0; });
    add(new CZQOpRoomUserChatMsg, room, tid(1003), optype(1));
    add(new CZQOpRoomUserRoleMsg, room, tid(1003), optype(1), [](auto& m) { m.roletype = 1; });
    add(new CZQOpRoomBlackUserMsg, room, tid(1003), optype(0));
    add(new CZQSendColorBarMsg, room, tid(1002), [](auto& m) { m.cid = 1; });
    add(new CZQSendGiftMsg, room, tid(1002), [](auto& m) { m.gid = 5, m.cnt = 1, m.word = "好"; });
    add(new CZQSendMultiGiftMsg, room, [](auto& m) { m.tidList = {1002, 1003}, m.gid = 3, m.cnt = 1; });
    add(new CZQSendTagMsg, room, tid(1002), [](auto& m) { m.tagid = 1; });
    add(new CZQSendTmpNoticeMsg, ctxRoom, [](auto& m) { m.word = "notice & more"; });
    add(new CZQBroadCastMsg, ctxRoom, [](auto& m) { m.word = "hello"; });
    add(new CZQCheckNickMsg, own, [](auto& m) { m.nickname = "新名字"; });
    add(new CZQUpdateMyInfoMsg, own, tid(static_cast<int>(uid)), [](auto& m) { m.nickname = "新名字"; });
    add(new CZQUpdateRoomInfoMsg, room, [](auto& m) { m.name = "新房间", m.msg[0] = "a=b&c"; });
    add(new CZQUpdateWelWord, room, [](auto& m) { m.word = "欢迎"; });
    add(new CZQHeartBeatMsg, room, chat);
    add(new CZQKickRoomMsg, room, tid(1003));
    add(new CZQExitRoomMsg, room, chat);
    add(new CZQGetAllNavMsg);
    add(new CZQGetCateListMsg);
    add(new CZQGetMyInfoMsg, [this](auto& m) { m.user.uid = uid, m.user.sid = sid, m.user.name = "alice"; });
    add(new CZQGetAnonyUserMsg);
    add(new CZQLogOutMsg, own, [this](auto& m) { m.ctxInt[0] = static_cast<int>(uid); });
    ASSERT_EQ(msgs.size() + 1, CZQMsgFactory::GetRegistry().size() - 2);  // with login; not notify, base
    for (auto& m : msgs) ASSERT_EQ(worker.PostRequest(m.get()), 1) << m->cmd;
    ASSERT_TRUE(rec.WaitFor(msgs.size() + 1));
    auto seen = rec.Get();
    for (size_t i = 0; i < msgs.size(); ++i) {
        SCOPED_TRACE(msgs[i]->cmd);
        EXPECT_EQ(seen[i + 1].type, typeid(*msgs[i]).name());
        EXPECT_EQ(seen[i + 1].status, 1) << seen[i + 1].statusdesc;
    }
    EXPECT_EQ(service.BadSignatures(), 0);
    service.WithData([](testenv::SvcData& d) {
        EXPECT_EQ(d.rooms[3003].name, "新房间");
        EXPECT_EQ(d.rooms[3003].msg[0], "a=b&c");
        EXPECT_EQ(d.users[1001].nickname, "新名字");
        EXPECT_EQ(d.users[1001].sid, 0u);  // logged out
    });
}

TEST_F(Worker, ServerDownGivesOneFailureReplyPerRequest) {
    RefusedPort refused;
    worker.SetEndpoint(refused.Endpoint());
    ASSERT_EQ(worker.Start(), 1);
    CZQKickRoomMsg kick;
    kick.ctxInt[0] = 11;
    kick.ctxInt[1] = 12;
    kick.ctxInt[2] = 13;
    kick.ctxText[0] = "a";
    kick.ctxText[1] = "b";
    kick.typeId = 77;
    CZQGetAllNavMsg nav;
    CZQLogInMsg login;
    worker.PostRequest(&kick);
    worker.PostRequest(&nav);
    worker.PostRequest(&login);
    ASSERT_TRUE(rec.WaitFor(3));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto seen = rec.Get();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].type, typeid(CZQKickRoomMsg).name());
    EXPECT_EQ(seen[1].type, typeid(CZQGetAllNavMsg).name());
    EXPECT_EQ(seen[2].type, typeid(CZQLogInMsg).name());
    for (const Seen& s : seen) {
        EXPECT_EQ(s.status, 255);
        EXPECT_EQ(s.statusdesc, "网络异常，请检查网络连接或者重新登录");
    }
    EXPECT_EQ(seen[0].seq, kick.seq);
    EXPECT_EQ(seen[0].typeId, 77);
    EXPECT_EQ(seen[0].ctxInt[2], 13);
    EXPECT_EQ(seen[0].ctxText[1], "b");
}

TEST_F(Worker, FaultsGiveTwoAttemptsThenTheFailureReply) {
    struct Row {
        testenv::RoomServiceFault::Kind kind;
    };
    const Row rows[] = {{testenv::RoomServiceFault::UnknownCmd},
                        {testenv::RoomServiceFault::Http500},
                        {testenv::RoomServiceFault::Drop},
                        {testenv::RoomServiceFault::Malformed},
                        {testenv::RoomServiceFault::Stall}};
    worker.SetRequestTimeout(300);
    ASSERT_EQ(worker.Start(), 1);
    size_t n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.kind);
        testenv::RoomServiceFault f;
        f.kind = r.kind;
        f.stallMs = 3000;
        service.SetFault("getallnav", f);
        int before = service.RequestCount("getallnav");
        CZQGetAllNavMsg nav;
        worker.PostRequest(&nav);
        ASSERT_TRUE(rec.WaitFor(++n));
        EXPECT_EQ(rec.Get().back().status, 255);
        EXPECT_EQ(service.RequestCount("getallnav") - before, 2);
    }
}

// A paid command whose answer is lost after the service carried it out is not sent again: the user sees the
// failure reply and is charged once. A free command in the same case is retried.
TEST_F(Worker, PaidCommandsAreNeverResent) {
    ASSERT_EQ(worker.Start(), 1);
    LoginAlice();
    CZQSendGiftMsg gift;
    Room(gift), gift.tid = 1002, gift.gid = 5, gift.cnt = 1;
    CZQSendMultiGiftMsg multi;
    Room(multi), multi.tidList = {1002, 1003}, multi.gid = 3, multi.cnt = 1;
    CZQSendTagMsg tag;
    Room(tag), tag.tid = 1002, tag.tagid = 1;
    CZQBroadCastMsg broadcast;
    CtxRoom(broadcast), broadcast.word = "hello";
    CZQSendColorBarMsg bar;
    Room(bar), bar.tid = 1002, bar.cid = 1;
    CZQSendTmpNoticeMsg notice;  // free: retried
    CtxRoom(notice), notice.word = "notice";
    struct Row {
        CZQMessage* msg;
        uint64_t price;
        int requests;
        int status;
    };
    const Row rows[] = {{&gift, 10, 1, 255},       {&multi, 2, 1, 255}, {&tag, 100, 1, 255},
                        {&broadcast, 100, 1, 255}, {&bar, 1, 1, 255},   {&notice, 0, 2, 1}};
    using K = testenv::RoomServiceFault::Kind;
    size_t n = rec.Get().size();
    for (K kind : {K::Truncated, K::Malformed}) {
        for (const Row& r : rows) {
            SCOPED_TRACE(r.msg->cmd + " fault " + std::to_string(kind));
            testenv::RoomServiceFault f;
            f.kind = kind;
            f.times = 1;
            service.SetFault(r.msg->cmd, f);
            uint64_t before = 0, after = 0;
            service.WithData([&](testenv::SvcData& d) { before = d.users[1001].xiubi; });
            int sent = service.RequestCount(r.msg->cmd);
            ASSERT_EQ(worker.PostRequest(r.msg), 1);
            ASSERT_TRUE(rec.WaitFor(++n));
            EXPECT_EQ(rec.Get().back().status, r.status);
            EXPECT_EQ(service.RequestCount(r.msg->cmd) - sent, r.requests);
            service.WithData([&](testenv::SvcData& d) { after = d.users[1001].xiubi; });
            // Carried out once when the answer was cut after the work; not at all for the malformed answer.
            EXPECT_EQ(before - after, kind == K::Truncated ? r.price : 0);
            service.ClearFaults();
        }
    }
}

TEST_F(Worker, RefusalAndJsonDataForms) {
    ASSERT_EQ(worker.Start(), 1);
    testenv::RoomServiceFault f;
    f.kind = testenv::RoomServiceFault::Refuse;
    f.status = 6;
    f.desc = "房间已满";
    f.times = 1;
    service.SetFault("getcatelist", f);
    service.SetJsonDataForm(true);
    CZQGetCateListMsg a, b;
    worker.PostRequest(&a);
    worker.PostRequest(&b);
    ASSERT_TRUE(rec.WaitFor(2));
    auto seen = rec.Get();
    EXPECT_EQ(seen[0].status, 6);
    EXPECT_EQ(seen[0].statusdesc, "房间已满");
    EXPECT_EQ(seen[1].status, 1);
    EXPECT_EQ(service.RequestCount("getcatelist"), 2);
}

std::atomic<uint32_t> g_tick{5000};

// Waits until the service has seen `n` heartbeats; false after `ms`.
bool WaitBeats(testenv::RoomService& s, int n, int ms = 5000) {
    for (int i = 0; i < ms / 10 && s.RequestCount("heartbeat") < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return s.RequestCount("heartbeat") >= n;
}

TEST_F(Worker, HeartbeatsGoOutAtTheirInterval) {
    g_tick = 5000;  // the clock is shared by repeated runs
    ASSERT_EQ(worker.Start(), 1);
    LoginAlice();
    worker.SetTickSource([] { return g_tick.load(); });
    ASSERT_EQ(worker.AddHeartBeat(uid, sid, 3003, "chat_1001", 1000), 1);
    ASSERT_TRUE(WaitBeats(service, 1));  // at once
    g_tick = 6000;                       // exactly one interval: not yet
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(service.RequestCount("heartbeat"), 1);
    worker.AddHeartBeatMsgCount(3003);
    worker.AddHeartBeatMsgCount(3003);
    g_tick = 6001;
    ASSERT_TRUE(WaitBeats(service, 2));
    std::string q = service.Queries("heartbeat").back();
    EXPECT_NE(q.find("&chatid=chat_1001&msgcnt=2"), std::string::npos) << q;
    EXPECT_EQ(service.BadSignatures(), 0);
    ASSERT_TRUE(rec.WaitFor(3));
    EXPECT_EQ(rec.Get()[1].status, 1);
    EXPECT_EQ(rec.Get()[1].ctxInt[0], 3003);
    EXPECT_EQ(rec.Get()[1].ctxText[0], "chat_1001");
}

TEST_F(Worker, RequestsQueuedAtShutdownAreStillSent) {
    CZQGetAllNavMsg a, b, c;
    worker.PostRequest(&a);
    worker.PostRequest(&b);
    worker.PostRequest(&c);
    EXPECT_EQ(worker.QueueSize(), 3u);
    worker.Stop();
    EXPECT_EQ(rec.Get().size(), 3u);
    EXPECT_EQ(service.RequestCount("getallnav"), 3);
    EXPECT_EQ(worker.QueueSize(), 0u);
}

TEST_F(Worker, StopWaitsForASlowRequestThenSendsTheQueue) {
    worker.SetRequestTimeout(500);
    testenv::RoomServiceFault f;
    f.kind = testenv::RoomServiceFault::Stall;
    f.stallMs = 5000;
    service.SetFault("getallnav", f);
    ASSERT_EQ(worker.Start(), 1);
    CZQGetAllNavMsg slow;
    worker.PostRequest(&slow);
    while (service.RequestCount("getallnav") == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CZQGetCateListMsg later;
    worker.PostRequest(&later);
    worker.Stop();
    auto seen = rec.Get();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].status, 255);
    EXPECT_EQ(seen[1].status, 1);
}

// The lobby's logout still under way when the worker stops reaches the service once: the stop neither cuts it
// short nor sends it again.
TEST_F(Worker, RequestInFlightAtStopReachesTheServiceOnce) {
    testenv::RoomServiceFault f;
    f.kind = testenv::RoomServiceFault::Stall;
    f.stallMs = 300;
    service.SetFault("logout", f);
    ASSERT_EQ(worker.Start(), 1);
    CZQLogOutMsg out;
    out.uid = 1001;
    out.sid = 7777;
    worker.PostRequest(&out);
    for (int i = 0; i < 4000 && service.RequestCount("logout") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(service.RequestCount("logout"), 1);
    worker.Stop();
    EXPECT_EQ(rec.Get().size(), 1u);
    EXPECT_EQ(service.RequestCount("logout"), 1);
    service.ClearFaults();
}

// A server that stalls far beyond the HTTP time-out does not hold the stop: the request in flight and what
// is queued end within the short time-out each, and neither is sent again.
TEST_F(Worker, StopEndsARequestStalledOnTheServer) {
    testenv::RoomServiceFault f;
    f.kind = testenv::RoomServiceFault::Stall;
    f.stallMs = 60000;
    service.SetFault("", f);
    worker.SetRequestTimeout(-1);  // the program's: the HTTP layer's default of 15 s
    ASSERT_EQ(worker.Start(), 1);
    CZQGetAllNavMsg stalled;
    worker.PostRequest(&stalled);
    for (int i = 0; i < 1000 && service.RequestCount("getallnav") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(service.RequestCount("getallnav"), 1);
    CZQGetCateListMsg queued;
    worker.PostRequest(&queued);
    auto stop = std::async(std::launch::async, [&] { return worker.Stop(); });
    ASSERT_EQ(stop.wait_for(std::chrono::seconds(12)), std::future_status::ready) << "Stop waits on the stalled server";
    auto seen = rec.Get();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].status, 255);
    EXPECT_EQ(seen[1].status, 255);
    EXPECT_EQ(service.RequestCount("getallnav"), 1);
    EXPECT_EQ(service.RequestCount("getcatelist"), 1);
    service.ClearFaults();
}

class SelfRemover : public CZQEventListener {
public:
    int calls = 0;
    void OnZQMessageNotify(CZQMessage*, CZQEventSource* source) override {
        ++calls;
        source->RemoveListener(this);
    }
};

class Counter : public CZQEventListener {
public:
    int calls = 0;
    void OnZQMessageNotify(CZQMessage*, CZQEventSource*) override { ++calls; }
};

TEST_F(Worker, ListenerThatRemovesItselfOnTheWorkerThread) {
    SelfRemover once;
    worker.EventSource().RemoveListener(&rec);
    worker.EventSource().AddListener(&once);
    worker.EventSource().AddListener(&rec);  // after the one that leaves
    ASSERT_EQ(worker.Start(), 1);
    CZQGetAllNavMsg a, b;
    worker.PostRequest(&a);
    worker.PostRequest(&b);
    ASSERT_TRUE(rec.WaitFor(2));
    EXPECT_EQ(once.calls, 1);
    EXPECT_EQ(worker.EventSource().ListenerCount(), 1u);
    EXPECT_EQ(rec.Get()[0].seq, a.seq);  // the reply during which the first listener left still reached it
}

TEST(EventSource, ListenerThatRemovesItself) {
    prototest::SetUpOnce();
    CZQEventSource source;
    SelfRemover a;
    Counter b;
    SelfRemover c;
    source.AddListener(&a);
    source.AddListener(&b);
    source.AddListener(&a);  // already present
    source.AddListener(&c);
    source.AddListener(nullptr);
    EXPECT_EQ(source.ListenerCount(), 3u);
    CZQMessage m;
    source.Fire(&m);
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 1);  // not skipped by a's removal
    EXPECT_EQ(c.calls, 1);
    source.Fire(&m);
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 2);
    EXPECT_EQ(source.ListenerCount(), 1u);
    source.Fire(nullptr);
    EXPECT_EQ(b.calls, 2);
}

TEST(HeartBeatList, Registration) {
    prototest::SetUpOnce();
    CMsgClientThread w;
    struct Row {
        uint32_t sid, rid;
        const char* chat;
        int interval;
        int ok;
    };
    const Row rows[] = {
        {1, 2, "c", 1000, 1}, {0, 2, "c", 1000, 0}, {1, 0, "c", 1000, 0}, {1, 2, "", 1000, 0}, {1, 2, "c", 0, 0}};
    for (const Row& r : rows) EXPECT_EQ(w.AddHeartBeat(1, r.sid, r.rid, r.chat, r.interval), r.ok);
    EXPECT_EQ(w.HeartBeatCount(), 1u);
    EXPECT_EQ(w.AddHeartBeatMsgCount(0), 0);
    EXPECT_EQ(w.AddHeartBeatMsgCount(2), 1);
    EXPECT_EQ(w.RemoveHeartBeat(0), 0);
    EXPECT_EQ(w.RemoveHeartBeat(2), 1);
    EXPECT_EQ(w.HeartBeatCount(), 0u);
}

}  // namespace
