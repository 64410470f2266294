// Request managers for the observer tests: one that records the calls of the real manager, and a scripted
// one whose transfers end as a test says (never, stopped, a late callback of an earlier task).
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZqHttpRequestMgr.h"

namespace updtest {

// Passes every call to `real` and records "D<id>" for each download start and "S<id>" for each stop.
class RecordingHttp final : public IZqHttpRequestMgr {
public:
    explicit RecordingHttp(IZqHttpRequestMgr* real) : real_(real) {}
    int Request(const char* url, int flag, const char* post, const char* param, int* id, int* err, int ms) override {
        return real_->Request(url, flag, post, param, id, err, ms);
    }
    int GetResult(int id, char* buf, int* len, int* err) override { return real_->GetResult(id, buf, len, err); }
    int GetResult(int id, char** data, int* len, int* err) override { return real_->GetResult(id, data, len, err); }
    void ReleaseRequest(int id) override { real_->ReleaseRequest(id); }
    int Download(const char* url, IZqHttpRequestObserver* ob, const char* path, int flags) override {
        int id = real_->Download(url, ob, path, flags);
        Add("D" + std::to_string(id));
        return id;
    }
    int Upload(const char* url, IZqHttpRequestObserver* ob, const char* path, int flags) override {
        return real_->Upload(url, ob, path, flags);
    }
    int StopTask(int id, int* out) override {
        Add("S" + std::to_string(id));
        return real_->StopTask(id, out);
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(m_);
        return calls_;
    }

private:
    void Add(const std::string& s) {
        std::lock_guard<std::mutex> lock(m_);
        calls_.push_back(s);
    }
    IZqHttpRequestMgr* real_;
    std::mutex m_;
    std::vector<std::string> calls_;
};

// Downloads answer through the script (call number from 1, the observer, the local path); it returns the
// task id and may start callbacks on threads through Later. Requests go to `requests`, or are refused.
class ScriptedHttp final : public IZqHttpRequestMgr {
public:
    using Script = std::function<int(int call, IZqHttpRequestObserver* ob, const std::string& path)>;
    explicit ScriptedHttp(Script s, IZqHttpRequestMgr* requests = nullptr)
        : script_(std::move(s)), requests_(requests) {}
    ~ScriptedHttp() override { JoinAll(); }
    int Request(const char* url, int flag, const char* post, const char* param, int* id, int* err, int ms) override {
        if (requests_) return requests_->Request(url, flag, post, param, id, err, ms);
        if (err) *err = 2;
        return 0;
    }
    int GetResult(int id, char* b, int* l, int* e) override {
        return requests_ ? requests_->GetResult(id, b, l, e) : 0;
    }
    int GetResult(int id, char** d, int* l, int* e) override {
        return requests_ ? requests_->GetResult(id, d, l, e) : 0;
    }
    void ReleaseRequest(int id) override {
        if (requests_) requests_->ReleaseRequest(id);
    }
    int Download(const char*, IZqHttpRequestObserver* ob, const char* path, int) override {
        int call;
        {
            std::lock_guard<std::mutex> lock(m_);
            call = ++calls_;
        }
        return script_(call, ob, path ? path : "");
    }
    int Upload(const char*, IZqHttpRequestObserver*, const char*, int) override { return -1; }
    int StopTask(int, int* out) override {
        if (out) *out = 0;
        return 0;
    }
    // Runs `f` on a thread of its own after `ms`.
    void Later(int ms, std::function<void()> f) {
        std::lock_guard<std::mutex> lock(m_);
        threads_.emplace_back([ms, f] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            f();
        });
    }
    void JoinAll() {
        std::vector<std::thread> ts;
        {
            std::lock_guard<std::mutex> lock(m_);
            ts.swap(threads_);
        }
        for (auto& t : ts) t.join();
    }
    int Calls() {
        std::lock_guard<std::mutex> lock(m_);
        return calls_;
    }

private:
    Script script_;
    IZqHttpRequestMgr* requests_;
    std::mutex m_;
    int calls_ = 0;
    std::vector<std::thread> threads_;
};

}  // namespace updtest
