// Synchronous sessions against the loopback test server, with real faults.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "HttpTestServer.h"
#include "SocketFaults.h"
#include "HttpTestFiles.h"
#include "ZqHttp.h"

namespace {

using Clock = std::chrono::steady_clock;

class ZqHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        ScratchDir();
        InitZqHttpMgr();
        GetZqHttpMgr()->SetTimeouts(-1, -1);
        ASSERT_TRUE(server.Start());
    }
    void TearDown() override {
        server.Stop();
        UninitZqHttpMgr();
    }
    testenv::HttpTestServer server;
};

struct SessionCase {
    const char* name;
    std::string url;
    bool opens;  // a session is expected
    int status;
    std::string body;
};

TEST_F(ZqHttpTest, SessionResultsByServerBehaviour) {
    server.Reply("/hello", 200, "hello body");
    server.Reply("/missing", 404, "not here");
    server.Reply("/empty", 200, "");
    server.Drop("/drop", 100000, 3000);
    server.Get("/moved", [&](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hello"); });
    server.Get("/binary", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string("a\0b\0c", 5), "application/octet-stream");
    });
    testenv::RefusingPort refusing;
    testenv::RawTcpServer silent("");
    testenv::RawTcpServer garbage("SSH-2.0-OpenSSH\r\n\r\n");
    testenv::RawTcpServer shortBody("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
    testenv::RawTcpServer closeDelimited("HTTP/1.0 200 OK\r\n\r\nuntil close");
    for (auto* raw : {&silent, &garbage, &shortBody, &closeDelimited}) ASSERT_TRUE(raw->Start());

    const SessionCase cases[] = {
        {"ok", server.Url("/hello"), true, 200, "hello body"},
        {"not found", server.Url("/missing"), true, 404, "not here"},
        {"empty body", server.Url("/empty"), true, 200, ""},
        {"binary body", server.Url("/binary"), true, 200, std::string("a\0b\0c", 5)},
        {"redirect", server.Url("/moved"), true, 200, "hello body"},
        {"body ends with the connection", closeDelimited.Url("/"), true, 200, "until close"},
        {"dropped mid-body", server.Url("/drop"), false, 0, ""},
        {"closed without answer", silent.Url("/"), false, 0, ""},
        {"not HTTP", garbage.Url("/"), false, 0, ""},
        {"shorter than announced", shortBody.Url("/"), false, 0, ""},
        {"refused", refusing.Url("/x"), false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IZqHttpMgr* http = GetZqHttpMgr();
        int session = http->OpenUrl(c.url.c_str(), 0, 0, 0, 0, 0, 0, -1, 0, 0);
        EXPECT_EQ(session != 0, c.opens);
        if (session != 0) {
            EXPECT_EQ(http->GetStatusCode(session), c.status);
            const char* data = nullptr;
            int len = -1;
            ASSERT_TRUE(http->GetData(session, &data, &len));
            ASSERT_NE(data, nullptr);  // also for an empty body
            EXPECT_EQ(std::string(data, len), c.body);
        } else {
            EXPECT_EQ(http->GetStatusCode(0), 0);
        }
        http->CloseSession(session);  // also for 0
    }
}

TEST_F(ZqHttpTest, RefusesUrlsThatAreNotHttp) {
    for (const char* url :
         {static_cast<const char*>(nullptr), "", "ftp://127.0.0.1/x", "file:///etc/passwd", "127.0.0.1/x", "http://"}) {
        SCOPED_TRACE(url ? url : "(null)");
        EXPECT_EQ(GetZqHttpMgr()->OpenUrl(url), 0);
    }
}

TEST_F(ZqHttpTest, UnknownAndClosedSessionsGiveNothing) {
    server.Reply("/hello", 200, "x");
    IZqHttpMgr* http = GetZqHttpMgr();
    int session = http->OpenUrl(server.Url("/hello").c_str());
    ASSERT_NE(session, 0);
    http->CloseSession(session);
    http->CloseSession(session);  // twice is harmless
    for (int s : {0, session, 123456}) {
        const char* data = "stale";
        int len = 7;
        EXPECT_FALSE(http->GetData(s, &data, &len));
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(len, 0);
        EXPECT_EQ(http->GetStatusCode(s), 0);
    }
}

TEST_F(ZqHttpTest, StallingServerEndsAtTheTimeOut) {
    server.Stall("/stall", 20000, 200, "late");
    IZqHttpMgr* http = GetZqHttpMgr();

    auto start = Clock::now();
    EXPECT_EQ(http->OpenUrl(server.Url("/stall").c_str(), 300), 0);  // per-call time-out
    http->SetTimeouts(-1, 400);
    EXPECT_EQ(http->OpenUrl(server.Url("/stall").c_str()), 0);  // settable default
    // Well under the server's stall: the time-outs, not the server, ended both requests.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

TEST_F(ZqHttpTest, HangingConnectEndsAtTheConnectTimeOut) {
    testenv::BlackholePort blackhole;
    IZqHttpMgr* http = GetZqHttpMgr();
    http->SetTimeouts(300, 20000);
    auto start = Clock::now();
    EXPECT_EQ(http->OpenUrl(blackhole.Url("/x").c_str()), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

TEST_F(ZqHttpTest, ConcurrentSessionsFromSeveralThreads) {
    server.Get("/echo", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("echo:" + req.get_param_value("n"), "text/plain");
    });
    constexpr int kThreads = 4;
    constexpr int kEach = 25;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            IZqHttpMgr* http = GetZqHttpMgr();
            std::vector<std::pair<int, std::string>> open;  // keep several open at once
            for (int i = 0; i < kEach; ++i) {
                std::string n = std::to_string(t * 1000 + i);
                int s = http->OpenUrl(server.Url("/echo?n=" + n).c_str());
                if (s != 0) open.emplace_back(s, "echo:" + n);
                if (open.size() == 3 || i == kEach - 1) {
                    for (auto& [session, want] : open) {
                        const char* data = nullptr;
                        int len = 0;
                        if (http->GetStatusCode(session) == 200 && http->GetData(session, &data, &len) &&
                            std::string(data, len) == want) {
                            ++good;
                        }
                        http->CloseSession(session);
                    }
                    open.clear();
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), kThreads * kEach);
}

TEST_F(ZqHttpTest, LargeBodyArrivesWhole) {
    std::string data = testenv::HttpTestServer::MakeData(3 << 20);
    server.ServeData("/big", data);
    IZqHttpMgr* http = GetZqHttpMgr();
    int s = http->OpenUrl(server.Url("/big").c_str());
    ASSERT_NE(s, 0);
    const char* body = nullptr;
    int len = 0;
    ASSERT_TRUE(http->GetData(s, &body, &len));
    EXPECT_EQ(std::string(body, len), data);
    http->CloseSession(s);
}

TEST_F(ZqHttpTest, ServerBehaviourChangesMidway) {
    IZqHttpMgr* http = GetZqHttpMgr();
    auto fetch = [&](const char* path) {
        int s = http->OpenUrl(server.Url(path).c_str());
        const char* data = nullptr;
        int len = 0;
        http->GetData(s, &data, &len);
        std::string got = std::to_string(http->GetStatusCode(s)) + ":" + (data ? std::string(data, len) : "");
        http->CloseSession(s);
        return got;
    };
    server.Reply("/svc", 200, "first");
    EXPECT_EQ(fetch("/svc"), "200:first");
    server.Reply("/svc", 503, "busy");  // the latest route wins
    EXPECT_EQ(fetch("/svc"), "503:busy");
    EXPECT_EQ(fetch("/unknown"), "404:");
    EXPECT_EQ(server.Count("/svc"), 2);
}

// Sessions one after another reuse the kept-alive connection; a dropped answer in between costs only
// its own connection.
TEST_F(ZqHttpTest, SequentialSessionsReuseTheConnection) {
    IZqHttpMgr* http = GetZqHttpMgr();
    server.Raw().set_keep_alive_timeout(30);  // idle connections stay however slow the machine
    server.Get("/port", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content(std::to_string(req.remote_port), "text/plain");
    });
    server.Drop("/drop", 1000, 10);
    auto port = [&] {
        int s = http->OpenUrl(server.Url("/port").c_str());
        const char* data = nullptr;
        int len = 0;
        std::string got = http->GetData(s, &data, &len) ? std::string(data, len) : "none";
        http->CloseSession(s);
        return got;
    };
    const std::string first = port();
    EXPECT_EQ(port(), first);
    EXPECT_EQ(port(), first);
    int dropped = http->OpenUrl(server.Url("/drop").c_str());
    EXPECT_EQ(dropped, 0);
    http->CloseSession(dropped);
    const std::string after = port();
    EXPECT_NE(after, "none");
    EXPECT_EQ(port(), after);
    UninitZqHttpMgr();  // closes the kept connections, so the server stops at once
}

TEST_F(ZqHttpTest, OversizedBodyIsRefused) {
    server.ServeData("/huge", std::string((32u << 20) + 1, 'x'));
    EXPECT_EQ(GetZqHttpMgr()->OpenUrl(server.Url("/huge").c_str()), 0);
}

}  // namespace
