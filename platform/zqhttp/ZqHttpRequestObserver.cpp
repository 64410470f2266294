// Default bodies of the observer: one line each on standard output.
#include <cstdio>

#include "ZqHttpCurl.h"
#include "ZqHttpRequestMgr.h"

void IZqHttpRequestObserver::HttpRequestOb_DownloadBegin(int taskId, std::string filePath, int fileSize) {
    std::printf("download task begin, id = %d filepath = %s filesize = %u\n", taskId,
                zqhttp::GbkToUtf8(filePath).c_str(), static_cast<unsigned>(fileSize));
}

void IZqHttpRequestObserver::HttpRequestOb_DownloadProgress(int, int totalSize, int curSize, int speed) {
    std::printf("download process totalsize=%d cursize=%d speed=%d\n", totalSize, curSize, speed);
}

void IZqHttpRequestObserver::HttpRequestOb_DownloadStopped(int taskId) {
    std::printf("download task is stopped, id = %d\n", taskId);
}

void IZqHttpRequestObserver::HttpRequestOb_DownloadFileFinished(int, std::string filePath, int) {
    std::printf("file %s download finish\n", zqhttp::GbkToUtf8(filePath).c_str());
}

void IZqHttpRequestObserver::HttpRequestOb_DownloadDataFinished(int, const char* data, int len) {
    std::printf("download finished, data length = %d\n", len);
    std::printf("%.*s\n", data != nullptr && len > 0 ? len : 0, data != nullptr ? data : "");
}

void IZqHttpRequestObserver::HttpRequestOb_DownloadFailed(int, int errorCode) {
    std::printf("download failed, err = %d\n", errorCode);
}

void IZqHttpRequestObserver::HttpRequestOb_UploadBegin(int) {
    std::printf("upload task begin\n");
}

void IZqHttpRequestObserver::HttpRequestOb_UploadProgress(int, int totalSize, int curSize, int speed) {
    std::printf("upload task process nTotalsize=%d cursize=%d speed=%d\n", totalSize, curSize, speed);
}

void IZqHttpRequestObserver::HttpRequestOb_UploadStopped(int) {
    std::printf("upload task is stopped\n");
}

void IZqHttpRequestObserver::HttpRequestOb_UploadFinished(int, char* data, int len) {
    std::printf("upload task finished\n");
    if (data != nullptr && len >= 0) {
        data[len] = '\0';
        std::printf("%s\n", data);
    }
}

void IZqHttpRequestObserver::HttpRequestOb_UploadFailed(int, int errorCode) {
    std::printf("upload task failed, err=%d\n", errorCode);
}
