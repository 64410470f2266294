// Uploads of the request manager against the loopback test server.
#include <gtest/gtest.h>

#include "HttpTestServer.h"
#include "RecordingObserver.h"
#include "HttpTestFiles.h"
#include "ZqHttpRequestMgrImpl.h"

namespace {

namespace fs = std::filesystem;

class UploadTest : public ::testing::Test {
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
    fs::path dir;
    testenv::HttpTestServer server;
    ZqHttpRequestMgr mgr;
};

TEST_F(UploadTest, ServerReceivesTheFileAndObserverTheReply) {
    std::string content = testenv::HttpTestServer::MakeData(300 * 1024);
    fs::path file = dir / "notice.png";
    WriteAll(file, content);
    const std::string reply = "{\"stat\":1,\"pic\":\"http://img/1.png\",\"inf\":\"\"}";
    server.AcceptUploads("/upload", reply);

    RecordingObserver ob;
    int id = mgr.Upload(server.Url("/upload").c_str(), &ob, file.string().c_str(), 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(ob.WaitTerminal());

    auto events = ob.Events();
    ASSERT_EQ(events.front().kind, "UploadBegin");
    auto terminals = ob.Terminals();
    ASSERT_EQ(terminals.size(), 1u);
    EXPECT_EQ(terminals[0].kind, "UploadFinished");
    EXPECT_EQ(terminals[0].id, id);
    EXPECT_EQ(terminals[0].a, static_cast<int>(reply.size()));
    EXPECT_EQ(terminals[0].b, 1);  // a reply buffer was given (and took the NUL at [len])
    EXPECT_EQ(terminals[0].text, reply);
    for (const auto& e : events) {
        EXPECT_EQ(e.id, id);
        if (e.kind == "UploadProgress") {
            EXPECT_GE(e.a, static_cast<int>(content.size()));  // the multipart body is a little larger
            EXPECT_LE(e.b, e.a);
        }
    }

    auto uploads = server.Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].field, "file");
    EXPECT_EQ(uploads[0].fileName, "notice.png");
    EXPECT_EQ(uploads[0].content, content);
}

TEST_F(UploadTest, EmptyReplyStillGivesWritableBuffer) {
    WriteAll(dir / "a.txt", "abc");
    server.AcceptUploads("/upload", "");
    RecordingObserver ob;
    int id = mgr.Upload(server.Url("/upload").c_str(), &ob, (dir / "a.txt").string().c_str(), 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(ob.WaitTerminal());
    auto t = ob.Terminals();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].kind, "UploadFinished");
    EXPECT_EQ(t[0].a, 0);
    EXPECT_EQ(server.Uploads().at(0).content, "abc");
}

TEST_F(UploadTest, FailuresEndWithOneFailedCallback) {
    WriteAll(dir / "a.txt", "abc");
    server.AcceptUploads("/broken", "oops", 500);
    testenv::RefusingPort refusing;
    struct Case {
        std::string url;
        int err;
    } cases[] = {{server.Url("/broken"), 500}, {refusing.Url("/up"), ZQHTTP_ERR_CONNECT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        RecordingObserver ob;
        int id = mgr.Upload(c.url.c_str(), &ob, (dir / "a.txt").string().c_str(), 0);
        ASSERT_GT(id, 0);
        ASSERT_TRUE(ob.WaitTerminal());
        auto t = ob.Terminals();
        ASSERT_EQ(t.size(), 1u);
        EXPECT_EQ(t[0].kind, "UploadFailed");
        EXPECT_EQ(t[0].id, id);
        EXPECT_EQ(t[0].a, c.err);
    }
}

TEST_F(UploadTest, StopTaskWhileWaitingForTheReply) {
    WriteAll(dir / "a.txt", "abc");
    server.Post("/slow", [&](const httplib::Request&, httplib::Response& res) {
        server.Sleep(20000);
        res.set_content("late", "text/plain");
    });
    mgr.SetTimeouts(2000, 20000, 3000);
    RecordingObserver ob;
    int id = mgr.Upload(server.Url("/slow").c_str(), &ob, (dir / "a.txt").string().c_str(), 0);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(ob.WaitFor("UploadBegin"));
    int out = 0;
    EXPECT_EQ(mgr.StopTask(id, &out), 1);
    EXPECT_EQ(out, 1);
    auto t = ob.Terminals();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].kind, "UploadStopped");
    EXPECT_EQ(t[0].id, id);
    size_t seen = ob.Events().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(ob.Events().size(), seen);
}

}  // namespace
