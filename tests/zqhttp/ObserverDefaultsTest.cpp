// The observer's default bodies print exactly their line and nothing else.
#include <gtest/gtest.h>

#include <functional>

#include "ZqHttpRequestMgr.h"

namespace {

struct DefaultCase {
    const char* name;
    std::function<void(IZqHttpRequestObserver&)> call;
    std::string printed;
};

TEST(ObserverDefaults, EachOperationPrintsItsLine) {
    static char reply[] = "{\"stat\":1}XYZ";  // length 10: the default stores a NUL at [10]
    const DefaultCase cases[] = {
        {"DownloadBegin", [](auto& o) { o.HttpRequestOb_DownloadBegin(7, "/tmp/a.exe", -1); },
         "download task begin, id = 7 filepath = /tmp/a.exe filesize = 4294967295\n"},
        {"DownloadProgress", [](auto& o) { o.HttpRequestOb_DownloadProgress(7, 1000, 250, 4096); },
         "download process totalsize=1000 cursize=250 speed=4096\n"},
        {"DownloadStopped", [](auto& o) { o.HttpRequestOb_DownloadStopped(7); }, "download task is stopped, id = 7\n"},
        {"DownloadFileFinished", [](auto& o) { o.HttpRequestOb_DownloadFileFinished(7, "/tmp/a.exe", 10); },
         "file /tmp/a.exe download finish\n"},
        {"DownloadDataFinished", [](auto& o) { o.HttpRequestOb_DownloadDataFinished(7, "abcdef", 3); },
         "download finished, data length = 3\nabc\n"},
        {"DownloadFailed", [](auto& o) { o.HttpRequestOb_DownloadFailed(7, 404); }, "download failed, err = 404\n"},
        {"UploadBegin", [](auto& o) { o.HttpRequestOb_UploadBegin(7); }, "upload task begin\n"},
        {"UploadProgress", [](auto& o) { o.HttpRequestOb_UploadProgress(7, 10, 5, 1); },
         "upload task process nTotalsize=10 cursize=5 speed=1\n"},
        {"UploadStopped", [](auto& o) { o.HttpRequestOb_UploadStopped(7); }, "upload task is stopped\n"},
        {"UploadFinished", [](auto& o) { o.HttpRequestOb_UploadFinished(7, reply, 10); },
         "upload task finished\n{\"stat\":1}\n"},
        {"UploadFinished null", [](auto& o) { o.HttpRequestOb_UploadFinished(7, nullptr, 5); },
         "upload task finished\n"},
        {"UploadFailed", [](auto& o) { o.HttpRequestOb_UploadFailed(7, 3); }, "upload task failed, err=3\n"},
    };
    IZqHttpRequestObserver observer;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::testing::internal::CaptureStdout();
        c.call(observer);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.printed);
    }
    EXPECT_EQ(reply[10], '\0');
}

}  // namespace
