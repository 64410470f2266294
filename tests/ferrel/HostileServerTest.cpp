// The RTMP client against a scripted server that misbehaves: it must end the session cleanly, in time,
// without a deep recursion and without holding on to what the server announced.
#include "AmfCheck.h"
#include "Ferrel.h"
#include "HeapInUse.h"
#include "RtmpPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <future>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Session = testenv::RtmpPeer::Session;
using testsupport::HeapInUse;

double Since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct ConnectOutcome {
    bool connected;
    bool hung;  // still inside Connect at the bound (then stopped)
    double seconds;
};

// Connect on a thread of its own, stopped from this thread if it outlives boundSec.
ConnectOutcome ConnectBounded(Ferrel& f, const std::string& url, int timeout, bool publish, double boundSec) {
    std::promise<bool> done;
    std::future<bool> result = done.get_future();
    const auto t0 = Clock::now();
    std::thread t([&] { done.set_value(f.Connect(url.c_str(), timeout, timeout, timeout, publish)); });
    const bool hung = result.wait_for(std::chrono::duration<double>(boundSec)) != std::future_status::ready;
    if (hung) f.Stop();
    t.join();
    return {result.get(), hung, Since(t0)};
}

std::string Be32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// Answers connect and createStream, then only pings.
void PingsForever(Session& s, std::atomic<bool>* pinging) {
    if (!s.Handshake()) return;
    double txn = s.WaitCommand("connect");
    if (txn < 0) return;
    s.AnswerConnect(txn);
    txn = s.WaitCommand("createStream");
    if (txn < 0) return;
    s.AnswerCreateStream(txn);
    for (uint32_t i = 0; !s.Stopping(); ++i) {
        if (!s.Send(2, 4, 0, 0, std::string("\x00\x06", 2) + Be32(i))) return;
        *pinging = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

TEST(FerrelHostileServer, ConnectEndsByItsDeadlineAndAtStop) {
    struct Row {
        const char* what;
        std::function<void(Session&, std::atomic<bool>*)> script;
        bool stopEarly;  // Stop from another thread once the server is pinging
    };
    const Row rows[] = {
        {"handshake dripped a byte every half second", [](Session& s, std::atomic<bool>*) { s.Handshake(500); }, false},
        {"answers connect and createStream, then only pings", PingsForever, false},
        {"silent after the handshake", [](Session& s, std::atomic<bool>*) { s.Handshake(); }, false},
        {"Stop while the server only pings", PingsForever, true},
    };
    for (const Row& row : rows) {
        for (bool publish : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (publish ? " (publish)" : " (play)"));
            std::atomic<bool> pinging{false};
            testenv::RtmpPeer peer([&](Session& s) { row.script(s, &pinging); });
            Ferrel f;
            std::thread stopper;
            if (row.stopEarly) {
                stopper = std::thread([&] {
                    const auto end = Clock::now() + std::chrono::seconds(10);
                    while (!pinging && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    f.Stop();
                });
            }
            const int timeout = row.stopEarly ? 30 : 2;
            const ConnectOutcome out = ConnectBounded(f, peer.Url("s"), timeout, publish, 8);
            if (stopper.joinable()) stopper.join();
            EXPECT_FALSE(out.hung);
            EXPECT_FALSE(out.connected);
            EXPECT_FALSE(f.IsConnected());
            EXPECT_LT(out.seconds, row.stopEarly ? 5.0 : timeout + 1.5);
            f.Close();
        }
    }
}

// A host name is looked up off the connecting thread (so that the deadline and Stop bound the lookup too).
TEST(FerrelHostileServer, AServerNamedByHostNameIsReached) {
    testenv::RtmpPeer peer([](Session& s) { s.AcceptStream(false); });
    Ferrel f;
    const std::string url = "rtmp://localhost:" + std::to_string(peer.Port()) + "/live/s";
    EXPECT_TRUE(f.Connect(url.c_str(), 5, 5, 5, false));
    f.Close();
}

TEST(FerrelHostileServer, DeeplyNestedAmfEndsTheSession) {
    const std::string deep = testenv::AmfDeepObject(200000);  // about 600 kB
    const std::string deepStatus = testenv::AmfString("onStatus") + testenv::AmfNumber(0) + testenv::AmfNull() + deep;
    struct Row {
        const char* what;
        bool publish;
        bool afterStart;  // sent once the stream started (else instead of the start status)
        uint8_t type;
        std::string body;
    };
    const Row rows[] = {
        {"onStatus answering play", false, false, 20, deepStatus},
        {"onStatus answering publish", true, false, 20, deepStatus},
        {"AMF3-wrapped onStatus answering play", false, false, 17, std::string(1, '\0') + deepStatus},
        {"onMetaData while playing", false, true, 18, testenv::AmfString("onMetaData") + deep},
        {"onStatus while playing", false, true, 20, deepStatus},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testenv::RtmpPeer peer([&](Session& s) {
            if (!s.Handshake()) return;
            double txn = s.WaitCommand("connect");
            s.AnswerConnect(txn);
            txn = s.WaitCommand("createStream");
            s.AnswerCreateStream(txn);
            if (s.WaitCommand(row.publish ? "publish" : "play") < 0) return;
            if (row.afterStart) {
                s.SendStatus("status", "NetStream.Play.Start");
            }
            s.SetChunkSize(65536);
            s.Send(5, row.type, 1, 0, row.body);
        });
        Ferrel f;
        const ConnectOutcome out = ConnectBounded(f, peer.Url("s"), 5, row.publish, 10);
        EXPECT_FALSE(out.hung);
        EXPECT_EQ(row.afterStart, out.connected);
        if (out.connected) {
            uint8_t buf[10240];
            int n = 0;
            const auto t0 = Clock::now();
            while ((n = f.ReadPacket(buf, sizeof(buf))) > 0 && Since(t0) < 10) {}
            EXPECT_LT(n, 0);
            EXPECT_TRUE(f.IsReadStopped());
        }
        f.Close();
    }
}

// Nesting of every container kind counts; what librtmp would fail to decode is refused before it does.
TEST(AmfCheck, Verdicts) {
    using testenv::AmfNumber;
    using testenv::AmfString;
    const std::string null("\x05", 1);
    auto nest = [&](const std::string& open, const std::string& close, int levels) {
        std::string s;
        for (int i = 0; i < levels; ++i) s += open;
        s += null;
        for (int i = 0; i < levels; ++i) s += close;
        return s;
    };
    const std::string obj(
        "\x03\x00\x01"
        "a",
        4);  // an object whose first property "a" opens the next
    const std::string ecma(
        "\x08\x00\x00\x00\x01\x00\x01"
        "a",
        8);
    const std::string arr("\x0a\x00\x00\x00\x01", 5);
    const std::string end("\x00\x00\x09", 3);
    struct Row {
        const char* what;
        std::string body;
        AmfVerdict verdict;
    };
    const Row rows[] = {
        {"a command", AmfString("_result") + AmfNumber(1) + std::string("\x05", 1), AmfVerdict::Ok},
        {"objects at the depth limit", nest(obj, end, kAmfMaxDepth), AmfVerdict::Ok},
        {"objects one deeper", nest(obj, end, kAmfMaxDepth + 1), AmfVerdict::TooDeep},
        {"ECMA arrays one deeper", nest(ecma, end, kAmfMaxDepth + 1), AmfVerdict::TooDeep},
        {"strict arrays at the limit", nest(arr, "", kAmfMaxDepth), AmfVerdict::Ok},
        {"strict arrays one deeper", nest(arr, "", kAmfMaxDepth + 1), AmfVerdict::TooDeep},
        {"an unterminated object at the end",
         std::string("\x03\x00\x01"
                     "a\x05",
                     5),
         AmfVerdict::Ok},
        {"a truncated number", AmfNumber(1).substr(0, 5), AmfVerdict::Malformed},
        {"a string longer than the body",
         std::string("\x02\x00\x10"
                     "ab",
                     5),
         AmfVerdict::Malformed},
        {"a strict array counting more than it holds", std::string("\x0a\x00\x00\x00\x03\x05", 6),
         AmfVerdict::Malformed},
        {"a reference", std::string("\x07\x00\x01", 3), AmfVerdict::Malformed},
        {"an AMF3 value", std::string("\x11\x01", 2), AmfVerdict::Malformed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.verdict, AmfCheck(reinterpret_cast<const uint8_t*>(row.body.data()), row.body.size()));
    }
}

TEST(FerrelHostileServer, NonsenseAfterPlayStartEndsTheStreamWithoutHoardingMemory) {
    std::mt19937 rng(11);
    std::string garbage(2 << 20, 0);
    for (char& c : garbage) c = char(rng());
    const std::string video = std::string("\x17\x01\x00\x00\x00", 5) + std::string(300, '\x11');
    struct Row {
        const char* what;
        std::function<void(Session&)> nonsense;
    };
    const Row rows[] = {
        {"chunk size 0",
         [&](Session& s) {
             s.SetChunkSize(0);
             for (int i = 0; i < 2000 && s.Send(6, 9, 1, 40 + i, video); ++i) {}
         }},
        {"2 MB of garbage", [&](Session& s) { s.SendRaw(garbage); }},
        {"a video message claiming 16 MB",
         [&](Session& s) {
             s.SendRaw(std::string("\x06\x00\x00\x28\xff\xff\xff\x09\x01\x00\x00\x00", 12) + std::string(4096, 'x'));
         }},
        {"a chunk of a chunk stream never opened", [&](Session& s) { s.SendRaw("\xc9" + std::string(200, 'y')); }},
        {"an undecodable command",
         [&](Session& s) {
             s.Send(3, 20, 0, 0,
                    testenv::AmfString("onStatus") + testenv::AmfNumber(0) + std::string("\x02\x00\x64zz", 5));
         }},
        {"a message stalled half way",
         [&](Session& s) {
             s.SetChunkSize(1 << 20);
             std::string head("\x06\x00\x00\x50\x10\x00\x00\x09\x01\x00\x00\x00", 12);
             s.SendRaw(head + std::string(512 * 1024, '\x27'));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testenv::RtmpPeer peer([&](Session& s) {
            if (!s.AcceptStream(false)) return;
            s.Send(6, 9, 1, 20, video);
            row.nonsense(s);
        });
        Ferrel f;
        const size_t before = HeapInUse();
        ASSERT_TRUE(f.Connect(peer.Url("s").c_str(), 5, 2, 5, false));
        uint8_t buf[10240];
        int n = 0;
        size_t got = 0;
        const auto t0 = Clock::now();
        while ((n = f.ReadPacket(buf, sizeof(buf))) > 0 && Since(t0) < 10) {
            got += size_t(n);
        }
        EXPECT_LT(n, 0);
        EXPECT_TRUE(f.IsReadStopped());
        EXPECT_GE(got, 13u + 11 + video.size() + 4);  // the header and the good tag came first
        const size_t after = HeapInUse();
        EXPECT_LT(after > before ? after - before : 0, size_t(64) << 20);
        f.Close();
    }
}

// Messages that are already here go out in one read (up to its size), the good ones before a bad one
// that ends the stream; WaitForData returns once data is here and at Stop.
TEST(FerrelHostileServer, ArrivedMessagesGoOutTogetherAndTheEndAfterThem) {
    const std::string video = std::string("\x17\x01\x00\x00\x00", 5) + std::string(200, '\x11');
    const size_t tag = 11 + video.size() + 4;
    const std::string bad = testenv::AmfString("onStatus") + testenv::AmfNumber(0) + std::string("\x02\x00\x64zz", 5);
    struct Row {
        const char* what;
        bool badLast;
        int size;          // of each read
        size_t firstRead;  // bytes of the first read
    };
    const Row rows[] = {
        {"three tags with the header", false, 10240, 13 + 3 * tag},
        {"reads no larger than asked", false, 100, 100},
        {"an undecodable command after two tags", true, 10240, 13 + 2 * tag},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::atomic<bool> sent{false}, release{false};
        testenv::RtmpPeer peer([&](Session& s) {
            if (!s.AcceptStream(false)) return;
            for (int i = 0; i < (row.badLast ? 2 : 3); ++i) s.Send(6, 9, 1, 40 + i, video);
            if (row.badLast) s.Send(3, 20, 0, 0, bad);
            sent = true;
            while (!release && !s.Stopping()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
        Ferrel f;
        ASSERT_TRUE(f.Connect(peer.Url("s").c_str(), 5, 5, 5, false));
        const auto t0 = Clock::now();
        while (!sent && Since(t0) < 10) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(sent);
        EXPECT_TRUE(f.WaitForData());
        std::vector<uint8_t> buf(size_t(row.size));
        EXPECT_EQ(int(row.firstRead), f.ReadPacket(buf.data(), row.size));
        size_t total = row.firstRead;
        int n = 0;
        while (total < 13 + (row.badLast ? 2 : 3) * tag && (n = f.ReadPacket(buf.data(), row.size)) > 0)
            total += size_t(n);
        EXPECT_EQ(13 + (row.badLast ? 2 : 3) * tag, total);
        if (row.badLast) {
            EXPECT_EQ(-1, f.ReadPacket(buf.data(), row.size));
            EXPECT_TRUE(f.IsReadStopped());
            EXPECT_FALSE(f.WaitForData());
        } else {
            std::thread stopper([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                f.Stop();
            });
            f.WaitForData();  // nothing buffered: it returns at Stop (a hang fails the run)
            stopper.join();
            EXPECT_EQ(-1, f.ReadPacket(buf.data(), row.size));
        }
        release = true;
        f.Close();
    }
}

TEST(FerrelHostileServer, PublisherIsLostSoonAfterItsServerStopsReading) {
    testenv::RtmpPeer peer([](Session& s) { s.AcceptStream(true); }, 1 << 20);
    Ferrel f;
    ASSERT_TRUE(f.Connect(peer.Url("s").c_str(), 5, 5, 1, true));
    std::string body(2500, '\x27');
    body[1] = 1;
    const auto t0 = Clock::now();
    unsigned ts = 0;
    while (f.IsConnected() && Since(t0) < 30) {
        f.SendH264Packet(reinterpret_cast<const uint8_t*>(body.data()), int(body.size()), false, ts += 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_FALSE(f.IsConnected());
    EXPECT_LT(Since(t0), 6.0);  // a few send time-outs, not until a megabyte of buffers filled
    f.Close();
}

// Default socket buffers and a long send time-out: the sends block once the buffers are full, and the
// progress check on its timer still finds the server lost well within 20 s (and wakes the blocked send).
TEST(FerrelHostileServer, PublisherIsLostOnATimerWhileItsSendsBlock) {
    testenv::RtmpPeer peer([](Session& s) { s.AcceptStream(true); });
    Ferrel f;
    ASSERT_TRUE(f.Connect(peer.Url("s").c_str(), 5, 5, 30, true));
    std::string body(64 << 10, '\x27');
    body[1] = 1;
    const auto t0 = Clock::now();
    unsigned ts = 0;
    while (f.IsConnected() && Since(t0) < 60)
        f.SendH264Packet(reinterpret_cast<const uint8_t*>(body.data()), int(body.size()), false, ts += 40);
    EXPECT_FALSE(f.IsConnected());
    EXPECT_LT(Since(t0), 20.0);
    f.Close();
}

}  // namespace
