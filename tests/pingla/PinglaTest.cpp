// The chat/notice client against the local chat server, and its frame reader.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "ChatServer.h"
#include "ChatSignature.h"
#include "Pingla.h"
#include "PinglaWire.h"
#include "ZqLog.h"
#include "TestUtil.h"

namespace {

using Ms = std::chrono::milliseconds;

struct Event {
    std::string kind;  // sys, pub, pri, nom
    std::vector<std::string> a;
};

class Sink : public IBaseNotifyMsg {
public:
    void NotifySysMsg(std::string cmd, std::string body) override { Add({"sys", {cmd, body}}); }
    void NotifyPubMsg(std::string sn, std::string rn, std::string sc, std::string rc, std::string t) override {
        Add({"pub", {sn, rn, sc, rc, t}});
    }
    void NotifyPriMsg(std::string sn, std::string sc, std::string t) override { Add({"pri", {sn, sc, t}}); }
    void NotifyNomMsg(std::string a, std::string b) override { Add({"nom", {a, b}}); }
    void ConectionStop() override {
        if (closed) ++late;
        std::lock_guard<std::mutex> g(lock_);
        ++stops_;
        cv_.notify_all();
    }

    bool WaitEvents(size_t n, int ms = 5000) {
        std::unique_lock<std::mutex> lk(lock_);
        return cv_.wait_for(lk, Ms(ms), [&] { return events_.size() >= n; });
    }
    bool WaitStops(int n, int ms = 5000) {
        std::unique_lock<std::mutex> lk(lock_);
        return cv_.wait_for(lk, Ms(ms), [&] { return stops_ >= n; });
    }
    std::vector<Event> Events() {
        std::lock_guard<std::mutex> g(lock_);
        return events_;
    }
    int Stops() {
        std::lock_guard<std::mutex> g(lock_);
        return stops_;
    }

    std::atomic<bool> closed{false};  // set by the test once Close returned
    std::atomic<int> late{0};         // callbacks that ran after that
    std::function<void(const Event&)> onEvent;
    std::atomic<bool> inside{false};
    std::atomic<int> overlaps{0};

private:
    void Add(Event e) {
        if (closed) ++late;
        if (inside.exchange(true)) ++overlaps;
        if (onEvent) onEvent(e);
        inside = false;
        std::lock_guard<std::mutex> g(lock_);
        events_.push_back(std::move(e));
        cv_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable cv_;
    std::vector<Event> events_;
    int stops_ = 0;
};

constexpr uint32_t kTm = 1700000000;
constexpr uint32_t kRoom = 3003;

class Chat : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        mkdir(VARNET_BINARY_DIR "/test-logs", 0755);
        mkdir(VARNET_BINARY_DIR "/test-logs/pingla", 0755);
        LogSetFolder(VARNET_BINARY_DIR "/test-logs/pingla/");
    }
    void SetUp() override { ASSERT_GT(server.Start(), 0); }
    void TearDown() override { server.Stop(); }

    // Connects, logs in and joins kRoom as uid; starts receiving into sink when given.
    bool Enter(CPingla& c, uint32_t uid, const std::string& chatId, const std::string& name, Sink* sink) {
        return c.Connect("127.0.0.1", unsigned(server.Port()), 5) &&
               c.Login(testenv::ChatLoginSig(uid, kTm), kTm, chatId, name) &&
               c.JoinChannel(kRoom, testenv::ChatJoinSig(kRoom, uid, kTm), kTm, chatId) && (!sink || c.StartRecv(sink));
    }

    testenv::ChatServer server;
};

// Polls a condition the code under test does not signal.
bool WaitUntil(const std::function<bool()>& pred, int ms = 10000) {
    return testsupport::WaitUntil(pred, Ms(ms));
}

std::string Be32(uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

TEST(PinglaWire, FramesSurviveAnyPiecesAndBadFramesStopTheReader) {
    const std::string gbk = "你好\x81\x40\xfe\xfe";
    std::string stream = pingla::EncodeFrame(pingla::kSys, {"notifyenter", "nickname=" + gbk + "\n"}) +
                         pingla::EncodeFrame(pingla::kPong, {}) +
                         pingla::EncodeFrame(pingla::kPubMsg, {"a", "", "1001_x", "", std::string(70000, 'x')});
    for (size_t piece : {size_t(1), size_t(3), size_t(4096), stream.size()}) {
        pingla::FrameReader r;
        std::vector<pingla::Frame> got;
        for (size_t pos = 0; pos < stream.size(); pos += piece) {
            r.Feed(stream.data() + pos, std::min(piece, stream.size() - pos));
            pingla::Frame f;
            while (r.Next(f) == pingla::FrameReader::kFrame) got.push_back(f);
        }
        ASSERT_EQ(got.size(), 3u) << piece;
        EXPECT_EQ(got[0].Field(1), "nickname=" + gbk + "\n");
        EXPECT_EQ(got[1].type, pingla::kPong);
        EXPECT_EQ(got[2].Field(4).size(), 70000u);
        EXPECT_EQ(r.Buffered(), 0u);
    }
    struct Row {
        const char* what;
        std::string bytes;
    };
    const Row bad[] = {
        {"beyond the limit", Be32(pingla::kMaxFrame + 1) + "\x83"},
        {"huge length", Be32(0xFFFFFFFFu)},
        {"empty frame", Be32(0) + Be32(5)},
        {"field past the end", Be32(6) + "\x83" + Be32(9) + "x"},
        {"cut field length", Be32(3) + std::string("\x83\x00\x00", 3)},
    };
    for (const Row& row : bad) {
        pingla::FrameReader r;
        r.Feed(row.bytes.data(), row.bytes.size());
        pingla::Frame f;
        EXPECT_EQ(r.Next(f), pingla::FrameReader::kError) << row.what;
        std::string good = pingla::EncodeFrame(pingla::kPong, {});
        r.Feed(good.data(), good.size());
        EXPECT_EQ(r.Next(f), pingla::FrameReader::kError) << row.what;
        EXPECT_EQ(r.Buffered(), 0u) << row.what;
    }
    uint32_t n = 0;
    pingla::Frame f;
    f.fields = {"4294967295", "4294967296", "12a", ""};
    EXPECT_TRUE(f.Number(0, n));
    EXPECT_EQ(n, 4294967295u);
    EXPECT_FALSE(f.Number(1, n));
    EXPECT_FALSE(f.Number(2, n));
    EXPECT_FALSE(f.Number(3, n));
    EXPECT_FALSE(f.Number(4, n));
}

TEST_F(Chat, PublicEchoPrivateToReceiverOnlyNoticesInOrderBytesIntact) {
    const std::string name1 = "%C4%E3%BA%C3", name2 = "b%20o";
    const std::string id1 = "1001_\xc4\xe3", id2 = "1002";
    CPingla a, b;
    Sink sa, sb;
    ASSERT_TRUE(Enter(a, 1001, id1, name1, &sa));
    ASSERT_TRUE(Enter(b, 1002, id2, name2, &sb));
    ASSERT_TRUE(server.WaitMembers(kRoom, 2, 5000));

    std::string raw;  // every byte value but none of the separators the notice format uses
    for (int c = 1; c < 256; ++c) raw += char(c);
    const std::string text = "%3Cb%3E" + std::string("你好") + raw;
    ASSERT_EQ(a.SendPriMsg(5, id2, text), 0);
    ASSERT_EQ(a.SendPubMsg(kRoom, "", text), 0);
    ASSERT_TRUE(sb.WaitEvents(2));
    ASSERT_EQ(b.SendPubMsg(kRoom, id1, "hi"), 0);
    ASSERT_TRUE(sa.WaitEvents(2));
    ASSERT_TRUE(sb.WaitEvents(3));
    // A frame with too few fields is skipped; what follows still arrives.
    ASSERT_EQ(server.SendRawTo(id1, pingla::EncodeFrame(pingla::kSys, {"short"})), 1);
    for (int i = 0; i < 100; ++i) server.PushNotice(kRoom, "n" + std::to_string(i), "id=" + std::to_string(i) + "\n");
    ASSERT_EQ(server.PushNoticeTo(id1, "notifyexit", "id=1002\ncnt=1\n" + raw + "\n"), 1);

    ASSERT_TRUE(sa.WaitEvents(103));
    ASSERT_TRUE(sb.WaitEvents(103));
    auto ea = sa.Events(), eb = sb.Events();
    ASSERT_EQ(ea.size(), 103u);
    ASSERT_EQ(eb.size(), 103u);
    // The sender sees its public line only as the echo; the private one only at the receiver.
    EXPECT_EQ(ea[0].kind, "pub");
    EXPECT_EQ(ea[0].a, (std::vector<std::string>{name1, "", id1, "", text}));
    EXPECT_EQ(ea[1].kind, "pub");
    EXPECT_EQ(ea[1].a, (std::vector<std::string>{name2, name1, id2, id1, "hi"}));
    EXPECT_EQ(eb[0].kind, "pri");
    EXPECT_EQ(eb[0].a, (std::vector<std::string>{name1, id1, text}));
    EXPECT_EQ(eb[1].a, ea[0].a);
    EXPECT_EQ(eb[2].a, ea[1].a);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(ea[2 + i].a[0], "n" + std::to_string(i));
        EXPECT_EQ(eb[3 + i].a[1], "id=" + std::to_string(i) + "\n");
    }
    EXPECT_EQ(ea[102].a, (std::vector<std::string>{"notifyexit", "id=1002\ncnt=1\n" + raw + "\n"}));
    EXPECT_EQ(sa.overlaps + sb.overlaps, 0);
    a.Close();
    b.Close();
    EXPECT_EQ(sa.Stops() + sb.Stops(), 0);
}

TEST_F(Chat, LoginAndJoinAreCheckedAndRefusedOnRequest) {
    CPingla c;
    const unsigned port = unsigned(server.Port());
    ASSERT_TRUE(c.Connect("127.0.0.1", port, 5));
    EXPECT_FALSE(c.JoinChannel(kRoom, testenv::ChatJoinSig(kRoom, 1001, kTm), kTm, "1001")) << "join before login";
    EXPECT_FALSE(c.Login(testenv::ChatLoginSig(1001, kTm) + 1, kTm, "1001", "n")) << "wrong signature";
    EXPECT_FALSE(c.Login(testenv::ChatLoginSig(1001, kTm), kTm, "1002", "n")) << "another user's chat id";
    server.RefuseLogins(2);
    EXPECT_FALSE(c.Login(testenv::ChatLoginSig(1001, kTm), kTm, "1001", "n"));
    EXPECT_FALSE(c.Login(testenv::ChatLoginSig(1001, kTm), kTm, "1001", "n"));
    EXPECT_TRUE(c.Login(testenv::ChatLoginSig(1001, kTm), kTm, "1001", "n"));
    EXPECT_FALSE(c.JoinChannel(kRoom, testenv::ChatJoinSig(kRoom + 1, 1001, kTm), kTm, "1001")) << "other room";
    server.RefuseJoins(1);
    EXPECT_FALSE(c.JoinChannel(kRoom, testenv::ChatJoinSig(kRoom, 1001, kTm), kTm, "1001"));
    EXPECT_TRUE(c.JoinChannel(kRoom, testenv::ChatJoinSig(kRoom, 1001, kTm), kTm, "1001"));
    EXPECT_EQ(server.Refused(), 7);
    EXPECT_EQ(server.Members(kRoom), std::vector<std::string>{"1001"});
    // Not connected: every call fails at once.
    c.Close();
    EXPECT_FALSE(c.Login(1, 1, "1001", "n"));
    EXPECT_EQ(c.SendPubMsg(kRoom, "", "x"), -1);
    Sink s;
    EXPECT_FALSE(c.StartRecv(&s));
    EXPECT_FALSE(c.Connect("127.0.0.1", 0, 5));
    EXPECT_FALSE(c.Connect("not an address", port, 1));
}

TEST_F(Chat, MessagesBeforeStartRecvComeFirstInArrivalOrder) {
    server.SetAnswerDelay(300);
    CPingla c;
    Sink s;
    ASSERT_TRUE(c.Connect("127.0.0.1", unsigned(server.Port()), 5));
    ASSERT_TRUE(c.Login(testenv::ChatLoginSig(1001, kTm), kTm, "1001", "n"));
    // While the join answer is held back, the channel already counts the user: these come before it.
    std::thread pusher([&] {
        if (server.WaitMembers(kRoom, 1, 5000)) {
            server.PushNotice(kRoom, "early1", "");
            server.PushNoticeTo("1001", "early2", "");
        }
    });
    ASSERT_TRUE(c.JoinChannel(kRoom, testenv::ChatJoinSig(kRoom, 1001, kTm), kTm, "1001"));
    pusher.join();
    server.PushNotice(kRoom, "late", "");
    ASSERT_TRUE(c.StartRecv(&s));
    ASSERT_TRUE(s.WaitEvents(3));
    auto e = s.Events();
    EXPECT_EQ(e[0].a[0], "early1");
    EXPECT_EQ(e[1].a[0], "early2");
    EXPECT_EQ(e[2].a[0], "late");
}

// A loopback listener whose accept queue is full, so that a connect to it stays pending.
class FullListener {
public:
    FullListener() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(fd_, 0);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        for (int& f : fillers_) {
            f = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
    }
    ~FullListener() {
        for (int f : fillers_) close(f);
        close(fd_);
    }
    unsigned port = 0;

private:
    int fd_ = -1;
    int fillers_[3] = {-1, -1, -1};
};

TEST_F(Chat, CloseInterruptsBlockedCallsAndNoCallbackFollows) {
    FullListener full;
    server.SetAnswerDelay(60000);
    enum Step { kConnect, kLogin, kJoin };
    for (Step step : {kConnect, kLogin, kJoin}) {
        CPingla c;
        Sink s;
        if (step != kConnect) {
            ASSERT_TRUE(c.Connect("127.0.0.1", unsigned(server.Port()), 60));
        }
        if (step == kJoin) {
            server.SetAnswerDelay(0);
            ASSERT_TRUE(c.Login(testenv::ChatLoginSig(1001, kTm), kTm, "1001", "n"));
            server.SetAnswerDelay(60000);
        }
        std::mutex m;
        std::condition_variable cv;
        bool done = false, result = true;
        std::thread t([&] {
            bool r = step == kConnect ? c.Connect("127.0.0.1", full.port, 60)
                     : step == kLogin ? c.Login(testenv::ChatLoginSig(1001, kTm), kTm, "1001", "n")
                                      : c.JoinChannel(kRoom, testenv::ChatJoinSig(kRoom, 1001, kTm), kTm, "1001");
            std::lock_guard<std::mutex> g(m);
            done = true;
            result = r;
            cv.notify_all();
        });
        // Close until the call has returned: one Close may come before the call blocks.
        bool returned = false;
        for (int i = 0; i < 100 && !returned; ++i) {
            c.Close();
            std::unique_lock<std::mutex> lk(m);
            returned = cv.wait_for(lk, Ms(50), [&] { return done; });
        }
        t.join();
        EXPECT_TRUE(returned) << step;
        EXPECT_FALSE(result) << step;
        s.closed = true;
        EXPECT_FALSE(c.StartRecv(&s)) << step;
        EXPECT_EQ(s.Events().size(), 0u);
        EXPECT_EQ(s.Stops(), 0);
    }
}

TEST_F(Chat, ConnectionStopComesOncePerLostConnection) {
    struct Row {
        const char* what;
        std::function<void(CPingla&)> end;
        int stops;
    };
    const std::string id = "1001";
    std::atomic<bool> dripping{false};
    std::thread drip;
    const Row rows[] = {
        {"closed by us", [](CPingla& c) { c.Close(); }, 0},
        {"server drops", [&](CPingla&) { server.Drop(id); }, 1},
        {"frame beyond the limit", [&](CPingla&) { server.SendRawTo(id, Be32(pingla::kMaxFrame + 1) + "\x83"); }, 1},
        {"malformed frame", [&](CPingla&) { server.SendRawTo(id, Be32(6) + "\x83" + Be32(9) + "x"); }, 1},
        {"silent peer", [&](CPingla&) { server.SetAnswerPings(false); }, 1},
        // One byte of a frame at a time, faster than the dead time: no frame ever completes.
        {"peer dripping bytes",
         [&](CPingla&) {
             server.SetAnswerPings(false);
             dripping = true;
             drip = std::thread([&] {
                 std::string frame = pingla::EncodeFrame(pingla::kSys, {std::string(200, 'x'), ""});
                 for (size_t i = 0; i < frame.size() && dripping; ++i) {
                     server.SendRawTo(id, frame.substr(i, 1));
                     std::this_thread::sleep_for(std::chrono::milliseconds(50));
                 }
             });
         },
         1},
    };
    for (const Row& row : rows) {
        server.SetAnswerPings(true);
        CPingla c;
        c.SetKeepAlive(50, 400);
        Sink s;
        ASSERT_TRUE(Enter(c, 1001, id, "n", &s)) << row.what;
        server.PushNoticeTo(id, "before", "");
        ASSERT_TRUE(s.WaitEvents(1)) << row.what;
        row.end(c);
        if (row.stops) {
            EXPECT_TRUE(s.WaitStops(1)) << row.what;
        }
        dripping = false;
        if (drip.joinable()) drip.join();
        EXPECT_EQ(c.SendPubMsg(kRoom, "", "x"), -1) << row.what;
        c.Close();
        c.Close();
        s.closed = true;
        EXPECT_EQ(s.Stops(), row.stops) << row.what;
        EXPECT_EQ(s.Events().size(), 1u) << row.what;
        EXPECT_EQ(s.late, 0) << row.what;
        ASSERT_TRUE(server.WaitMembers(kRoom, 0, 5000)) << row.what;
    }
}

TEST_F(Chat, AnsweredKeepAliveKeepsTheConnection) {
    CPingla c;
    c.SetKeepAlive(20, 200);
    Sink s;
    ASSERT_TRUE(Enter(c, 1001, "1001", "n", &s));
    // Twenty pings span twice the silence that would end the connection.
    EXPECT_TRUE(WaitUntil([&] { return server.Pings() >= 20; }));
    EXPECT_EQ(s.Stops(), 0);
    server.PushNoticeTo("1001", "still", "");
    EXPECT_TRUE(s.WaitEvents(1));
}

TEST_F(Chat, SendsFromManyThreadsArriveWhole) {
    CPingla a, b;
    Sink sb;
    ASSERT_TRUE(Enter(a, 1001, "1001", "a", nullptr));
    ASSERT_TRUE(Enter(b, 1002, "1002", "b", &sb));
    constexpr int kThreads = 4, kEach = 200;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                std::string text = std::to_string(t) + ":" + std::to_string(i) + ":" + std::string(size_t(i) * 37, 'x');
                if (i % 2) a.SendPriMsg(5, "1002", text);
                else a.SendPubMsg(kRoom, "", text);
            }
        });
    }
    for (auto& t : senders) t.join();
    ASSERT_TRUE(sb.WaitEvents(kThreads * kEach, 10000));
    int next[kThreads] = {};
    for (const Event& e : sb.Events()) {
        const std::string& text = e.a.back();
        int t = std::stoi(text), i = std::stoi(text.substr(text.find(':') + 1));
        ASSERT_EQ(i, next[t]) << "order of thread " << t;
        EXPECT_EQ(text.size(), text.find(':', 2) + 1 + size_t(i) * 37);
        EXPECT_EQ(e.kind, i % 2 ? "pri" : "pub");
        ++next[t];
    }
}

TEST_F(Chat, CloseFromACallbackAndCloseDuringDelivery) {
    {
        CPingla c;
        Sink s;
        s.onEvent = [&](const Event& e) {
            if (e.a[0] == "bye") c.Close();  // must neither deadlock nor report a stop
        };
        ASSERT_TRUE(Enter(c, 1001, "1001", "n", &s));
        server.PushNoticeTo("1001", "bye", "");
        server.PushNoticeTo("1001", "after", "");
        ASSERT_TRUE(s.WaitEvents(1));
        c.Close();
        s.closed = true;
        EXPECT_EQ(s.Events().size(), 1u);
        EXPECT_EQ(s.Stops(), 0);
        // The object connects again afterwards.
        Sink s2;
        ASSERT_TRUE(Enter(c, 1001, "1001", "n", &s2));
        server.PushNoticeTo("1001", "again", "");
        EXPECT_TRUE(s2.WaitEvents(1));
    }
    {
        // A Close from another thread while a callback closes: neither waits for the other.
        CPingla c;
        Sink s;
        std::atomic<bool> entered{false};
        s.onEvent = [&](const Event&) {
            entered = true;
            WaitUntil([] { return false; }, 100);  // give the other Close time to start joining
            c.Close();
        };
        ASSERT_TRUE(Enter(c, 1001, "1001", "n", &s));
        server.PushNoticeTo("1001", "bye", "");
        ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
        c.Close();
        s.closed = true;
        EXPECT_EQ(s.Stops(), 0);
    }
    CPingla c;
    Sink s;
    ASSERT_TRUE(Enter(c, 1001, "1001", "n", &s));
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        while (!stop) server.PushNoticeTo("1001", "flood", std::string(100, 'x'));
    });
    ASSERT_TRUE(s.WaitEvents(50));
    c.Close();
    s.closed = true;
    stop = true;
    flood.join();
    server.Drop("");
    EXPECT_EQ(s.late, 0);
    EXPECT_EQ(s.Stops(), 0);
}

}  // namespace
