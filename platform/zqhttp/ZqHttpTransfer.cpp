// Downloads and uploads over libcurl. Cancellation and stall detection live in the xferinfo callback,
// which curl calls at least once a second, also while connecting.
#include "ZqHttpTransfer.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>  // std::chrono clocks; the full <chrono> does not build with a GBK execution charset
#include <vector>

#include "ZqHttpCurl.h"
#include "ZqLog.h"

namespace zqhttp {
namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kLogFile = "ZqHttp.txt";
constexpr int kProgressIntervalMs = 200;

int ClampInt(curl_off_t v) {
    if (v < 0) return 0;
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Calls an observer operation; an exception thrown by it never reaches curl or the thread's end.
void Notify(const Task& task, const std::function<void()>& call) {
    try {
        call();
    } catch (...) {
        PJ_Log(kLogFile, LOG_IMPOSSIBLE, "ZqHttpRequestMgr::Notify", "observer of task %d threw", task.id);
    }
}

// State shared by the callbacks of one transfer.
struct Transfer {
    Task& task;
    CURL* easy = nullptr;
    Clock::time_point started = Clock::now();
    Clock::time_point lastMove = Clock::now();
    Clock::time_point lastReport{};
    curl_off_t lastBytes = -1;
    curl_off_t reportedBytes = -1;
    bool stalled = false;
    // Download state.
    std::FILE* file = nullptr;
    MemoryBody memory;
    bool begun = false;
    long badStatus = 0;
    bool writeFailed = false;
    curl_off_t written = 0;

    explicit Transfer(Task& t) : task(t) {}

    int Speed(curl_off_t bytes) const {
        long long ms = MsSince(started);
        return ClampInt(ms > 0 ? bytes * 1000 / ms : bytes);
    }
};

// Common xferinfo: stop flag, stall time-out, throttled progress reports.
int OnXferInfo(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow) {
    auto* t = static_cast<Transfer*>(user);
    if (t->task.stop.load()) return 1;
    curl_off_t bytes = dlnow + ulnow;
    if (bytes != t->lastBytes) {
        t->lastBytes = bytes;
        t->lastMove = Clock::now();
    } else if (MsSince(t->lastMove) >= t->task.stallMs) {
        t->stalled = true;
        return 1;
    }
    bool up = t->task.upload;
    curl_off_t total = up ? ultotal : dltotal;
    curl_off_t now = up ? ulnow : dlnow;
    if ((!up && !t->begun) || now <= 0 || now == t->reportedBytes) return 0;
    if (now != total && Clock::now() - t->lastReport < std::chrono::milliseconds(kProgressIntervalMs)) return 0;
    t->lastReport = Clock::now();
    t->reportedBytes = now;
    IZqHttpRequestObserver* ob = t->task.observer;
    int id = t->task.id, tot = ClampInt(total), cur = ClampInt(now), speed = t->Speed(now);
    if (up) {
        Notify(t->task, [&] { ob->HttpRequestOb_UploadProgress(id, tot, cur, speed); });
    } else {
        Notify(t->task, [&] { ob->HttpRequestOb_DownloadProgress(id, tot, cur, speed); });
    }
    return 0;
}

// First body bytes of a download: check the status, then report the beginning with the announced size.
bool BeginDownload(Transfer& t) {
    if (t.begun) return true;
    long status = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        t.badStatus = status;
        return false;
    }
    curl_off_t length = -1;
    curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    t.begun = true;
    Task& task = t.task;
    Notify(task, [&] { task.observer->HttpRequestOb_DownloadBegin(task.id, task.path, ClampInt(length)); });
    return true;
}

size_t OnDownloadData(char* ptr, size_t size, size_t nmemb, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * nmemb;
    if (!BeginDownload(*t)) return 0;
    if (t->file == nullptr) return WriteToMemory(ptr, size, nmemb, &t->memory);
    if (std::fwrite(ptr, 1, n, t->file) != n) {
        t->writeFailed = true;
        return 0;
    }
    t->written += n;
    return n;
}

void SetCommon(Transfer& t) {
    curl_easy_setopt(t.easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(t.easy, CURLOPT_XFERINFOFUNCTION, OnXferInfo);
    curl_easy_setopt(t.easy, CURLOPT_XFERINFODATA, &t);
}

// The layer's error for a failed perform.
int FailureCode(const Transfer& t, CURLcode rc) {
    if (t.stalled) return ZQHTTP_ERR_TIMEOUT;
    if (t.badStatus != 0) return static_cast<int>(t.badStatus);
    if (t.writeFailed) return ZQHTTP_ERR_FILE;
    if (t.memory.tooLarge) return ZQHTTP_ERR_TOO_LARGE;
    return ErrorFromCurl(rc);
}

Outcome EndDownload(Transfer& t, CURLcode rc, const std::string& tempPath) {
    Task& task = t.task;
    IZqHttpRequestObserver* ob = task.observer;
    std::error_code ec;
    bool ok = rc == CURLE_OK && (t.begun || BeginDownload(t));
    if (t.file != nullptr) {
        bool closed = std::fclose(t.file) == 0;
        t.file = nullptr;
        if (ok && !closed) {
            t.writeFailed = true;
            ok = false;
        }
    }
    if (task.stop.load()) {
        if (!tempPath.empty()) std::filesystem::remove(tempPath, ec);
        Notify(task, [&] { ob->HttpRequestOb_DownloadStopped(task.id); });
        return Outcome::Stopped;
    }
    if (ok && !tempPath.empty()) {
        std::filesystem::rename(tempPath, task.nativePath, ec);
        if (ec) {
            t.writeFailed = true;
            ok = false;
        }
    }
    if (!ok) {
        if (!tempPath.empty()) std::filesystem::remove(tempPath, ec);
        int err = t.writeFailed ? ZQHTTP_ERR_FILE : FailureCode(t, rc);
        PJ_Log(kLogFile, LOG_FAILURE, "ZqHttpRequestMgr::Download", "task %d %s failed, err=%d (%s)", task.id,
               UrlForLog(task.url.c_str()).c_str(), err, curl_easy_strerror(rc));
        Notify(task, [&] { ob->HttpRequestOb_DownloadFailed(task.id, err); });
        return Outcome::Failed;
    }
    if (tempPath.empty()) {
        std::string& data = t.memory.data;
        int len = static_cast<int>(data.size());
        Notify(task, [&] { ob->HttpRequestOb_DownloadDataFinished(task.id, data.c_str(), len); });
    } else {
        int size = ClampInt(t.written);
        Notify(task, [&] { ob->HttpRequestOb_DownloadFileFinished(task.id, task.path, size); });
    }
    return Outcome::Finished;
}

}  // namespace

Outcome RunDownload(Task& task) {
    Transfer t(task);
    std::string tempPath;
    if (!task.nativePath.empty()) {
        std::filesystem::path final(task.nativePath);
        std::error_code ec;
        if (final.has_parent_path()) std::filesystem::create_directories(final.parent_path(), ec);
        tempPath = task.nativePath + "." + std::to_string(task.id) + ".part";
        t.file = std::fopen(tempPath.c_str(), "wb");
        if (t.file == nullptr) {
            PJ_Log(kLogFile, LOG_FAILURE, "ZqHttpRequestMgr::Download", "task %d cannot write %s", task.id,
                   tempPath.c_str());
            if (task.stop.load()) {
                Notify(task, [&] { task.observer->HttpRequestOb_DownloadStopped(task.id); });
                return Outcome::Stopped;
            }
            Notify(task, [&] { task.observer->HttpRequestOb_DownloadFailed(task.id, ZQHTTP_ERR_FILE); });
            return Outcome::Failed;
        }
    }
    t.easy = NewEasy(task.url.c_str(), task.connectMs);
    CURLcode rc = CURLE_OUT_OF_MEMORY;
    if (t.easy != nullptr) {
        SetCommon(t);
        curl_easy_setopt(t.easy, CURLOPT_WRITEFUNCTION, OnDownloadData);
        curl_easy_setopt(t.easy, CURLOPT_WRITEDATA, &t);
        rc = curl_easy_perform(t.easy);
    }
    Outcome outcome = EndDownload(t, rc, tempPath);
    if (t.easy != nullptr) curl_easy_cleanup(t.easy);
    return outcome;
}

Outcome RunUpload(Task& task) {
    Transfer t(task);
    IZqHttpRequestObserver* ob = task.observer;
    Notify(task, [&] { ob->HttpRequestOb_UploadBegin(task.id); });
    t.easy = NewEasy(task.url.c_str(), task.connectMs);
    CURLcode rc = CURLE_OUT_OF_MEMORY;
    curl_mime* mime = nullptr;
    if (t.easy != nullptr) {
        mime = curl_mime_init(t.easy);
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_name(part, "file");
        rc = curl_mime_filedata(part, task.nativePath.c_str());
        curl_mime_type(part, "application/octet-stream");
        if (rc == CURLE_OK) {
            SetCommon(t);
            curl_easy_setopt(t.easy, CURLOPT_MIMEPOST, mime);
            curl_easy_setopt(t.easy, CURLOPT_WRITEFUNCTION, WriteToMemory);
            curl_easy_setopt(t.easy, CURLOPT_WRITEDATA, &t.memory);
            rc = curl_easy_perform(t.easy);
        }
        curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &t.badStatus);
        if (t.badStatus >= 200 && t.badStatus <= 299) t.badStatus = 0;
    }
    if (mime != nullptr) curl_mime_free(mime);
    if (t.easy != nullptr) curl_easy_cleanup(t.easy);

    if (task.stop.load()) {
        Notify(task, [&] { ob->HttpRequestOb_UploadStopped(task.id); });
        return Outcome::Stopped;
    }
    if (rc != CURLE_OK || t.badStatus != 0) {
        int err = FailureCode(t, rc);
        PJ_Log(kLogFile, LOG_FAILURE, "ZqHttpRequestMgr::Upload", "task %d %s failed, err=%d (%s)", task.id,
               UrlForLog(task.url.c_str()).c_str(), err, curl_easy_strerror(rc));
        Notify(task, [&] { ob->HttpRequestOb_UploadFailed(task.id, err); });
        return Outcome::Failed;
    }
    // The observer may store a NUL at [len]: hand it a copy with one spare byte.
    std::vector<char> reply(t.memory.data.begin(), t.memory.data.end());
    int len = static_cast<int>(reply.size());
    reply.push_back('\0');
    Notify(task, [&] { ob->HttpRequestOb_UploadFinished(task.id, reply.data(), len); });
    return Outcome::Finished;
}

}  // namespace zqhttp
