// The request manager's implementation class. Programs use AfxGetHttpRequestMgr(); tests may build their
// own manager with short time-outs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZqHttpRequestMgr.h"
#include "ThreadAnnotations.h"

namespace zqhttp {
struct Task;
}

// Each accepted transfer runs on a thread of its own; the thread ends after the transfer's last callback
// and is joined by the next start, by StopTask or by the destructor. The destructor stops every running
// transfer (each gets its Stopped callback) and joins every thread.
class ZqHttpRequestMgr final : public IZqHttpRequestMgr {
public:
    static constexpr int kDefaultConnectMs = 5000;
    static constexpr int kDefaultStallMs = 30000;    // a transfer that moves no byte for this long fails
    static constexpr int kDefaultRequestMs = 15000;  // total time of one Request
    static constexpr int kMaxTasks = 32;             // transfers running at once

    ZqHttpRequestMgr();
    ~ZqHttpRequestMgr() override;
    ZqHttpRequestMgr(const ZqHttpRequestMgr&) = delete;
    ZqHttpRequestMgr& operator=(const ZqHttpRequestMgr&) = delete;

    // Time-outs in milliseconds for later requests and transfers; -1 restores a default.
    void SetTimeouts(int connectMs, int stallMs, int requestMs);

    // Stops every running transfer and joins the threads; later starts are refused.
    void Shutdown();

    int Request(const char* url, int flag, const char* postData, const char* param, int* requestId, int* errorCode,
                int timeoutMs) override;
    int GetResult(int requestId, char* buffer, int* length, int* errorCode) override;
    int GetResult(int requestId, char** data, int* length, int* errorCode) override;
    void ReleaseRequest(int requestId) override;
    int Download(const char* url, IZqHttpRequestObserver* observer, const char* localPath, int flags) override;
    int Upload(const char* url, IZqHttpRequestObserver* observer, const char* localPath, int flags) override;
    int StopTask(int taskId, int* out) override;

private:
    int Start(std::shared_ptr<zqhttp::Task> task);
    void Run(std::shared_ptr<zqhttp::Task> task);
    int NextId();
    void JoinEnded();

    std::atomic<int> lastId_{0};
    std::atomic<int> connectMs_{kDefaultConnectMs};
    std::atomic<int> stallMs_{kDefaultStallMs};
    std::atomic<int> requestMs_{kDefaultRequestMs};

    varnet::Mutex mutex_;  // guards the fields below
    std::condition_variable taskEnded_;
    bool closing_ GUARDED_BY(mutex_) = false;
    std::map<int, std::shared_ptr<zqhttp::Task>> running_ GUARDED_BY(mutex_);
    std::vector<std::shared_ptr<zqhttp::Task>> ended_ GUARDED_BY(mutex_);  // threads still to join
    std::map<int, std::string> results_ GUARDED_BY(mutex_);                // bodies kept by Request
};
