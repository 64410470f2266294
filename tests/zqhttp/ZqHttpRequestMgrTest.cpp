// The request manager: blocking requests and downloads against the loopback test server.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "HttpTestServer.h"
#include "SocketFaults.h"
#include "RecordingObserver.h"
#include "HttpTestFiles.h"
#include "ZqHttpRequestMgrImpl.h"

namespace {

namespace fs = std::filesystem;

class RequestMgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = ScratchDir();
        ASSERT_TRUE(server.Start());
        mgr.SetTimeouts(2000, 1500, 3000);
    }
    void TearDown() override {
        mgr.Shutdown();
        server.Stop();
    }
    // Exactly one terminal callback, carrying `id`, and nothing after it.
    static void ExpectOneTerminal(RecordingObserver& ob, int id, const std::string& kind) {
        auto events = ob.Events();
        auto terminals = ob.Terminals();
        ASSERT_EQ(terminals.size(), 1u);
        EXPECT_EQ(terminals[0].kind, kind);
        EXPECT_EQ(terminals[0].id, id);
        EXPECT_TRUE(RecordingObserver::IsTerminal(events.back().kind));
        for (const auto& e : events) {
            EXPECT_EQ(e.id, id) << e.kind;
            EXPECT_NE(e.thread, std::this_thread::get_id()) << e.kind;  // on the manager's thread
        }
    }
    fs::path dir;
    testenv::HttpTestServer server;
    ZqHttpRequestMgr mgr;
};

TEST_F(RequestMgrTest, DownloadReportsProgressThenOneFinish) {
    std::string data = testenv::HttpTestServer::MakeData(400 * 1024);
    server.ServeData("/file.bin", data, 800 * 1024);  // about half a second: several progress reports
    RecordingObserver ob;
    std::string path = (dir / "sub" / "file.bin").string();  // the folder is created
    int id = mgr.Download(server.Url("/file.bin").c_str(), &ob, path.c_str(), 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(ob.WaitTerminal());
    ExpectOneTerminal(ob, id, "DownloadFileFinished");

    auto events = ob.Events();
    ASSERT_EQ(events.front().kind, "DownloadBegin");
    EXPECT_EQ(events.front().a, static_cast<int>(data.size()));
    EXPECT_EQ(events.front().text, path);
    EXPECT_GE(ob.Count("DownloadProgress"), 2);
    int last = 0;
    for (const auto& e : events) {
        if (e.kind != "DownloadProgress") continue;
        EXPECT_EQ(e.a, static_cast<int>(data.size()));
        EXPECT_GE(e.b, last);
        EXPECT_GE(e.c, 0);
        last = e.b;
    }
    EXPECT_EQ(ob.Terminals()[0].a, static_cast<int>(data.size()));
    EXPECT_EQ(ob.Terminals()[0].text, path);
    EXPECT_EQ(ReadAll(path), data);
    EXPECT_EQ(Listing(dir / "sub"), std::vector<std::string>{"file.bin"});  // no temporary left
}

TEST_F(RequestMgrTest, DownloadIntoMemoryWithoutPath) {
    server.Reply("/conf", 200, "{\"a\":1}");
    RecordingObserver ob;
    int id = mgr.Download(server.Url("/conf").c_str(), &ob, "", 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(ob.WaitTerminal());
    ExpectOneTerminal(ob, id, "DownloadDataFinished");
    EXPECT_EQ(ob.Terminals()[0].text, "{\"a\":1}");
}

TEST_F(RequestMgrTest, SystemPathsBecomeNativeFiles) {
    server.Reply("/a.png", 200, "png bytes");
    const struct {
        const char* name;
        std::string systemPath;  // as the system's code passes it (GBK, either separator)
        fs::path onDisk;
    } cases[] = {
        {"slashes", dir.string() + "/res/face/a.png", dir / "res" / "face" / "a.png"},
        {"backslashes", dir.string() + "\\res\\gift\\a.png", dir / "res" / "gift" / "a.png"},
        {"GBK name", dir.string() + "/\xD6\xD0\xCE\xC4.png", dir / "\xE4\xB8\xAD\xE6\x96\x87.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingObserver ob;
        int id = mgr.Download(server.Url("/a.png").c_str(), &ob, c.systemPath.c_str(), 0);
        ASSERT_GT(id, 0);
        ASSERT_TRUE(ob.WaitTerminal());
        ExpectOneTerminal(ob, id, "DownloadFileFinished");
        EXPECT_EQ(ob.Terminals()[0].text, c.systemPath);  // reported as given
        EXPECT_EQ(ReadAll(c.onDisk), "png bytes");
    }
}

// An observer whose progress callback throws: the transfer still ends normally.
class ThrowingObserver : public RecordingObserver {
public:
    void HttpRequestOb_DownloadProgress(int id, int total, int cur, int speed) override {
        RecordingObserver::HttpRequestOb_DownloadProgress(id, total, cur, speed);
        throw std::runtime_error("observer fault");
    }
};

TEST_F(RequestMgrTest, ThrowingObserverDoesNotBreakTheTransfer) {
    std::string data = testenv::HttpTestServer::MakeData(200 * 1024);
    server.ServeData("/f", data, 800 * 1024);
    ThrowingObserver ob;
    int id = mgr.Download(server.Url("/f").c_str(), &ob, (dir / "f.bin").string().c_str(), 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(ob.WaitTerminal());
    ExpectOneTerminal(ob, id, "DownloadFileFinished");
    EXPECT_GE(ob.Count("DownloadProgress"), 1);
    EXPECT_EQ(ReadAll(dir / "f.bin"), data);
}

struct FailureCase {
    const char* name;
    std::string url;
    int err;
};

TEST_F(RequestMgrTest, FailedDownloadsEndOnceAndLeaveNoFile) {
    server.Reply("/missing", 404, "no");
    server.Drop("/drop", 200000, 50000);
    server.Stall("/stall", 20000);
    testenv::RefusingPort refusing;
    testenv::BlackholePort blackhole;
    testenv::RawTcpServer silent("");
    ASSERT_TRUE(silent.Start());
    mgr.SetTimeouts(300, 1500, 3000);
    const FailureCase cases[] = {
        {"not found", server.Url("/missing"), 404},
        {"refused", refusing.Url("/x"), ZQHTTP_ERR_CONNECT},
        {"connect hangs", blackhole.Url("/x"), ZQHTTP_ERR_TIMEOUT},
        {"closed without answer", silent.Url("/x"), ZQHTTP_ERR_TRANSFER},
        {"dropped mid-body", server.Url("/drop"), ZQHTTP_ERR_TRANSFER},
        {"stalled", server.Url("/stall"), ZQHTTP_ERR_TIMEOUT},
    };
    WriteAll(dir / "kept.bin", "old content");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"new.bin", "kept.bin"}) {
            SCOPED_TRACE(name);
            RecordingObserver ob;
            int id = mgr.Download(c.url.c_str(), &ob, (dir / name).string().c_str(), 0);
            ASSERT_GT(id, 0);
            ASSERT_TRUE(ob.WaitTerminal());
            ExpectOneTerminal(ob, id, "DownloadFailed");
            EXPECT_EQ(ob.Terminals()[0].a, c.err);
            // Nothing under the new name, the older file untouched, no temporary.
            EXPECT_EQ(Listing(dir), std::vector<std::string>{"kept.bin"});
            EXPECT_EQ(ReadAll(dir / "kept.bin"), "old content");
        }
    }
}

TEST_F(RequestMgrTest, StopTaskDuringDownloadEndsWithStoppedOnly) {
    server.ServeData("/slow", testenv::HttpTestServer::MakeData(2 << 20), 64 * 1024);
    RecordingObserver ob;
    std::string path = (dir / "slow.bin").string();
    int id = mgr.Download(server.Url("/slow").c_str(), &ob, path.c_str(), 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(ob.WaitFor("DownloadProgress"));
    int out = -1;
    EXPECT_EQ(mgr.StopTask(id, &out), 1);
    EXPECT_EQ(out, 1);
    size_t seen = ob.Events().size();
    ExpectOneTerminal(ob, id, "DownloadStopped");  // delivered before StopTask returned
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(ob.Events().size(), seen);  // nothing after
    EXPECT_TRUE(Listing(dir).empty());

    EXPECT_EQ(mgr.StopTask(id, &out), 0);  // already ended
    EXPECT_EQ(out, 0);
    EXPECT_EQ(mgr.StopTask(987654, nullptr), 0);
}

TEST_F(RequestMgrTest, StopTaskWhileConnectingOrWaitingForHeaders) {
    server.Stall("/stall", 20000);
    RecordingObserver ob;
    int id = mgr.Download(server.Url("/stall").c_str(), &ob, (dir / "s.bin").string().c_str(), 0);
    ASSERT_GT(id, 0);
    int out = 0;
    EXPECT_EQ(mgr.StopTask(id, &out), 1);  // at once, even before the task got going
    ExpectOneTerminal(ob, id, "DownloadStopped");
    EXPECT_TRUE(Listing(dir).empty());
}

TEST_F(RequestMgrTest, ImmediateFailuresReturnNoIdAndNoCallback) {
    RecordingObserver ob;
    EXPECT_LE(mgr.Download(nullptr, &ob, "x", 0), 0);
    EXPECT_LE(mgr.Download("ftp://127.0.0.1/x", &ob, "x", 0), 0);
    EXPECT_LE(mgr.Download(server.Url("/x").c_str(), nullptr, "x", 0), 0);
    EXPECT_LE(mgr.Download(server.Url("/x").c_str(), &ob, (dir.string() + "/").c_str(), 0), 0);
    EXPECT_LE(mgr.Upload(server.Url("/up").c_str(), &ob, (dir / "absent.bin").string().c_str(), 0), 0);
    EXPECT_LE(mgr.Upload(server.Url("/up").c_str(), &ob, dir.string().c_str(), 0), 0);  // a folder
    EXPECT_LE(mgr.Upload(server.Url("/up").c_str(), &ob, nullptr, 0), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(ob.Events().empty());
}

TEST_F(RequestMgrTest, ShutdownStopsRunningTransfers) {
    server.ServeData("/slow", testenv::HttpTestServer::MakeData(2 << 20), 64 * 1024);
    RecordingObserver a, b;
    auto local = std::make_unique<ZqHttpRequestMgr>();
    int ida = local->Download(server.Url("/slow").c_str(), &a, (dir / "a.bin").string().c_str(), 0);
    int idb = local->Download(server.Url("/slow").c_str(), &b, (dir / "b.bin").string().c_str(), 0);
    ASSERT_GT(ida, 0);
    ASSERT_GT(idb, 0);
    EXPECT_NE(ida, idb);
    ASSERT_TRUE(a.WaitFor("DownloadBegin"));
    local.reset();  // stops both, joins their threads
    ExpectOneTerminal(a, ida, "DownloadStopped");
    ExpectOneTerminal(b, idb, "DownloadStopped");
    EXPECT_TRUE(Listing(dir).empty());
}

TEST_F(RequestMgrTest, RequestKeepsResultForBothResultForms) {
    std::string body(100, 'x');
    body[0] = 'i';
    body[1] = 'd';
    body[2] = '=';
    server.Reply("/id", 200, body);
    int reqId = 0, err = -1;
    ASSERT_NE(mgr.Request(server.Url("/id?q=1").c_str(), 0, "", "caller=test;flag=0", &reqId, &err, 0), 0);
    EXPECT_EQ(err, 0);
    ASSERT_GT(reqId, 0);

    char small[64];
    int len = sizeof small;
    ASSERT_NE(mgr.GetResult(reqId, small, &len, &err), 0);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(len, 63);  // cut to the buffer, NUL-terminated
    EXPECT_EQ(std::string(small), body.substr(0, 63));

    char* data = nullptr;
    ASSERT_NE(mgr.GetResult(reqId, &data, &len, &err), 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, len), body);
    EXPECT_EQ(data[len], '\0');
    delete[] data;

    mgr.ReleaseRequest(reqId);
    EXPECT_EQ(mgr.GetResult(reqId, &data, &len, &err), 0);
    EXPECT_EQ(data, nullptr);
    mgr.ReleaseRequest(reqId);  // twice is harmless

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/id?q=1");
    EXPECT_EQ(requests[0].method, "GET");
    auto param = requests[0].headers.find("X-Zq-Param");
    ASSERT_NE(param, requests[0].headers.end());
    EXPECT_EQ(param->second, "caller=test;flag=0");
}

TEST_F(RequestMgrTest, RequestFailuresKeepNothing) {
    server.Reply("/missing", 404, "no");
    server.Stall("/stall", 20000);
    testenv::RefusingPort refusing;
    struct Case {
        std::string url;
        int timeoutMs;
        int err;
    } cases[] = {
        {server.Url("/missing"), 0, 404},
        {refusing.Url("/x"), 0, ZQHTTP_ERR_CONNECT},
        {server.Url("/stall"), 300, ZQHTTP_ERR_TIMEOUT},
        {"gopher://127.0.0.1/", 0, ZQHTTP_ERR_ARGUMENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        int reqId = -1, err = 0;
        EXPECT_EQ(mgr.Request(c.url.c_str(), 1, "", "", &reqId, &err, c.timeoutMs), 0);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(reqId, 0);
    }
}

TEST_F(RequestMgrTest, RequestWithPostData) {
    server.Post("/form", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("got:" + req.body, "text/plain");
    });
    int reqId = 0, err = 0;
    ASSERT_NE(mgr.Request(server.Url("/form").c_str(), 0, "a=1&b=2", nullptr, &reqId, &err, 0), 0);
    char* data = nullptr;
    int len = 0;
    ASSERT_NE(mgr.GetResult(reqId, &data, &len, &err), 0);
    EXPECT_EQ(std::string(data, len), "got:a=1&b=2");
    delete[] data;
    mgr.ReleaseRequest(reqId);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].method, "POST");
    EXPECT_EQ(server.Requests()[0].body, "a=1&b=2");
}

}  // namespace
