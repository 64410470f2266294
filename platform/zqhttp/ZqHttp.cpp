// Synchronous GET sessions over libcurl, results kept until CloseSession. Finished easy handles wait in a
// small pool with their open connections, so the next request to the same server reuses a connection
// (each handle serves one request at a time; the pool is guarded by poolMutex_).
#include "ZqHttp.h"

#include <time.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ZqHttpCurl.h"
#include "ZqLog.h"
#include "ThreadAnnotations.h"

namespace {

constexpr int kDefaultConnectMs = 5000;
constexpr int kDefaultTotalMs = 15000;
constexpr const char* kLogFile = "ZqHttp.txt";
constexpr size_t kIdleHandles = 4;  // handles (with their connections) kept for later requests

int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

struct Session {
    int status = 0;
    std::string body;
};

class ZqHttpMgr final : public IZqHttpMgr {
public:
    using IZqHttpMgr::OpenUrl;

    int OpenUrl(const char* url, int timeoutMs) override { return Open(url, timeoutMs, nullptr); }

    int OpenUrlWhile(const char* url, int timeoutMs, const std::atomic<bool>& keepGoing) override {
        return keepGoing ? Open(url, timeoutMs, &keepGoing) : 0;
    }

    int Open(const char* url, int timeoutMs, const std::atomic<bool>* keepGoing) {
        if (!zqhttp::IsHttpUrl(url)) {
            PJ_Log(kLogFile, LOG_FAILURE, "ZqHttp::OpenUrl", "refused url %s", zqhttp::UrlForLog(url).c_str());
            return 0;
        }
        long totalMs = timeoutMs > 0 ? timeoutMs : totalMs_.load();
        const unsigned generation = abortGeneration_.load();
        CURL* easy = TakeHandle(url, connectMs_.load());
        if (easy == nullptr) return 0;
        zqhttp::MemoryBody body;
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, totalMs);
        Abortable abortable{&abortGeneration_, &abortAtMs_, generation, keepGoing};
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &abortable);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, zqhttp::WriteToMemory);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        CURLcode rc = curl_easy_perform(easy);
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        GiveBack(easy);
        if (rc != CURLE_OK) {
            PJ_Log(kLogFile, LOG_FAILURE, "ZqHttp::OpenUrl", "%s failed: %s%s", zqhttp::UrlForLog(url).c_str(),
                   curl_easy_strerror(rc), body.tooLarge ? " (body too large)" : "");
            return 0;
        }
        auto session = std::make_unique<Session>();
        session->status = static_cast<int>(status);
        session->body = std::move(body.data);
        varnet::MutexLock lock(mutex_);
        int id = NextId();
        sessions_[id] = std::move(session);
        return id;
    }

    int GetStatusCode(int session) override {
        varnet::MutexLock lock(mutex_);
        auto it = sessions_.find(session);
        return it == sessions_.end() ? 0 : it->second->status;
    }

    bool GetData(int session, const char** data, int* len) override {
        varnet::MutexLock lock(mutex_);
        auto it = sessions_.find(session);
        bool found = it != sessions_.end();
        // The body string is never changed while the session lives, so its pointer stays valid until close.
        if (data != nullptr) *data = found ? it->second->body.c_str() : nullptr;
        if (len != nullptr) *len = found ? static_cast<int>(it->second->body.size()) : 0;
        return found;
    }

    void CloseSession(int session) override {
        if (session == 0) return;
        std::unique_ptr<Session> doomed;
        varnet::MutexLock lock(mutex_);
        auto it = sessions_.find(session);
        if (it == sessions_.end()) return;
        doomed = std::move(it->second);
        sessions_.erase(it);
    }

    void AbortRequests(int graceMs) override {
        abortAtMs_ = NowMs() + (graceMs > 0 ? graceMs : 0);
        ++abortGeneration_;
    }

    void SetTimeouts(int connectMs, int totalMs) override {
        connectMs_ = connectMs > 0 ? connectMs : kDefaultConnectMs;
        totalMs_ = totalMs > 0 ? totalMs : kDefaultTotalMs;
    }

    void CloseAll() {
        {
            varnet::MutexLock lock(mutex_);
            sessions_.clear();
        }
        std::vector<CURL*> idle;
        {
            varnet::MutexLock lock(poolMutex_);
            idle.swap(idle_);
        }
        for (CURL* easy : idle) curl_easy_cleanup(easy);
    }

private:
    // What a request's progress callback compares: the abort generation it started in.
    struct Abortable {
        const std::atomic<unsigned>* generation;
        const std::atomic<int64_t>* abortAtMs;
        unsigned started;
        const std::atomic<bool>* keepGoing;  // the caller's own stop flag, or null
    };
    static int OnProgress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        const auto* a = static_cast<const Abortable*>(data);
        if (a->keepGoing && !a->keepGoing->load()) return 1;
        return a->generation->load() != a->started && NowMs() >= a->abortAtMs->load() ? 1 : 0;
    }

    // An idle handle reset to the common options (its connections stay open), or a new one.
    CURL* TakeHandle(const char* url, long connectMs) {
        CURL* easy = nullptr;
        {
            varnet::MutexLock lock(poolMutex_);
            if (!idle_.empty()) {
                easy = idle_.back();
                idle_.pop_back();
            }
        }
        if (easy == nullptr) return zqhttp::NewEasy(url, connectMs);
        curl_easy_reset(easy);
        zqhttp::SetCommonOptions(easy, url, connectMs);
        return easy;
    }

    void GiveBack(CURL* easy) {
        {
            varnet::MutexLock lock(poolMutex_);
            if (idle_.size() < kIdleHandles) {
                idle_.push_back(easy);
                return;
            }
        }
        curl_easy_cleanup(easy);
    }

    // Called with mutex_ held. Skips 0 and ids still in use after a wrap.
    int NextId() REQUIRES(mutex_) {
        do {
            if (++lastId_ <= 0) lastId_ = 1;
        } while (sessions_.count(lastId_) != 0);
        return lastId_;
    }

    std::atomic<long> connectMs_{kDefaultConnectMs};
    std::atomic<unsigned> abortGeneration_{0};  // raised by AbortRequests
    std::atomic<int64_t> abortAtMs_{0};         // when requests of older generations end (NowMs)
    std::atomic<long> totalMs_{kDefaultTotalMs};

    varnet::Mutex mutex_;  // guards the fields below
    int lastId_ GUARDED_BY(mutex_) = 0;
    std::map<int, std::unique_ptr<Session>> sessions_ GUARDED_BY(mutex_);

    varnet::Mutex poolMutex_;                         // guards idle_
    std::vector<CURL*> idle_ GUARDED_BY(poolMutex_);  // finished handles, most recent last
};

ZqHttpMgr& Manager() {
    static ZqHttpMgr* mgr = new ZqHttpMgr;  // lives to process end: sessions may be used during exit
    return *mgr;
}

}  // namespace

// libcurl is opened and initialised with the first session (NewEasy), not here at start-up.
void InitZqHttpMgr() {
    Manager();
}

void UninitZqHttpMgr() {
    Manager().CloseAll();
}

IZqHttpMgr* GetZqHttpMgr() {
    return &Manager();
}
