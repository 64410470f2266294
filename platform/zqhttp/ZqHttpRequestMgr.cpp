// The request manager: kept request results, and one thread per running transfer.
#include "ZqHttpRequestMgrImpl.h"

#include <sys/stat.h>

#include <cstring>

#include "ZqHttpCurl.h"
#include "ZqHttpTransfer.h"
#include "ZqLog.h"

namespace {
constexpr const char* kLogFile = "ZqHttp.txt";

bool HasLineBreak(const char* s) {
    return std::strpbrk(s, "\r\n") != nullptr;
}
}  // namespace

ZqHttpRequestMgr::ZqHttpRequestMgr() = default;

ZqHttpRequestMgr::~ZqHttpRequestMgr() {
    Shutdown();
}

void ZqHttpRequestMgr::SetTimeouts(int connectMs, int stallMs, int requestMs) {
    connectMs_ = connectMs > 0 ? connectMs : kDefaultConnectMs;
    stallMs_ = stallMs > 0 ? stallMs : kDefaultStallMs;
    requestMs_ = requestMs > 0 ? requestMs : kDefaultRequestMs;
}

void ZqHttpRequestMgr::Shutdown() {
    {
        varnet::MutexLock lock(mutex_);
        closing_ = true;
        for (auto& [id, task] : running_) task->stop = true;
        // A transfer notices the stop within a second (curl's progress callback) and then reports Stopped.
        while (!running_.empty()) taskEnded_.wait(lock.Native());
        results_.clear();
    }
    JoinEnded();
}

int ZqHttpRequestMgr::NextId() {
    int id = ++lastId_;
    while (id <= 0) {  // wrapped: start again at 1
        int expected = id;
        lastId_.compare_exchange_strong(expected, 0);
        id = ++lastId_;
    }
    return id;
}

void ZqHttpRequestMgr::JoinEnded() {
    std::vector<std::shared_ptr<zqhttp::Task>> ended;
    {
        varnet::MutexLock lock(mutex_);
        ended.swap(ended_);
    }
    for (auto& task : ended) {
        if (task->thread.joinable() && task->thread.get_id() != std::this_thread::get_id()) {
            task->thread.join();
        } else if (task->thread.joinable()) {
            task->thread.detach();  // only when a task's own callback ends the manager; it is finishing
        }
    }
}

int ZqHttpRequestMgr::Request(const char* url, int /*flag*/, const char* postData, const char* param, int* requestId,
                              int* errorCode, int timeoutMs) {
    int dummyId = 0, dummyErr = 0;
    if (requestId == nullptr) requestId = &dummyId;
    if (errorCode == nullptr) errorCode = &dummyErr;
    *requestId = 0;
    *errorCode = ZQHTTP_ERR_ARGUMENT;
    if (!zqhttp::IsHttpUrl(url)) return 0;
    CURL* easy = zqhttp::NewEasy(url, connectMs_.load());
    if (easy == nullptr) return 0;
    zqhttp::MemoryBody body;
    curl_slist* headers = nullptr;
    if (param != nullptr && *param != '\0' && !HasLineBreak(param)) {
        headers = curl_slist_append(headers, (std::string("X-Zq-Param: ") + param).c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    }
    if (postData != nullptr && *postData != '\0') {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(std::strlen(postData)));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, postData);
    }
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs > 0 ? timeoutMs : requestMs_.load()));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, zqhttp::WriteToMemory);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    CURLcode rc = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    if (rc != CURLE_OK || status < 200 || status > 299) {
        *errorCode = rc != CURLE_OK ? (body.tooLarge ? ZQHTTP_ERR_TOO_LARGE : zqhttp::ErrorFromCurl(rc))
                                    : static_cast<int>(status);
        PJ_Log(kLogFile, LOG_FAILURE, "ZqHttpRequestMgr::Request", "%s failed, err=%d", zqhttp::UrlForLog(url).c_str(),
               *errorCode);
        return 0;
    }
    int id = NextId();
    {
        varnet::MutexLock lock(mutex_);
        results_[id] = std::move(body.data);
    }
    *requestId = id;
    *errorCode = ZQHTTP_OK;
    return 1;
}

int ZqHttpRequestMgr::GetResult(int requestId, char* buffer, int* length, int* errorCode) {
    int dummyErr = 0;
    if (errorCode == nullptr) errorCode = &dummyErr;
    *errorCode = ZQHTTP_ERR_ARGUMENT;
    if (buffer == nullptr || length == nullptr || *length <= 0) return 0;
    varnet::MutexLock lock(mutex_);
    auto it = results_.find(requestId);
    if (it == results_.end()) {
        *length = 0;
        buffer[0] = '\0';
        return 0;
    }
    size_t n = std::min(it->second.size(), static_cast<size_t>(*length - 1));
    std::memcpy(buffer, it->second.data(), n);
    buffer[n] = '\0';
    *length = static_cast<int>(n);
    *errorCode = ZQHTTP_OK;
    return 1;
}

int ZqHttpRequestMgr::GetResult(int requestId, char** data, int* length, int* errorCode) {
    int dummyErr = 0;
    if (errorCode == nullptr) errorCode = &dummyErr;
    *errorCode = ZQHTTP_ERR_ARGUMENT;
    if (data == nullptr || length == nullptr) return 0;
    *data = nullptr;
    *length = 0;
    varnet::MutexLock lock(mutex_);
    auto it = results_.find(requestId);
    if (it == results_.end()) return 0;
    const std::string& body = it->second;
    *data = new char[body.size() + 1];
    std::memcpy(*data, body.data(), body.size());
    (*data)[body.size()] = '\0';
    *length = static_cast<int>(body.size());
    *errorCode = ZQHTTP_OK;
    return 1;
}

void ZqHttpRequestMgr::ReleaseRequest(int requestId) {
    std::string doomed;
    varnet::MutexLock lock(mutex_);
    auto it = results_.find(requestId);
    if (it == results_.end()) return;
    doomed.swap(it->second);
    results_.erase(it);
}

int ZqHttpRequestMgr::Download(const char* url, IZqHttpRequestObserver* observer, const char* localPath,
                               int /*flags*/) {
    if (!zqhttp::IsHttpUrl(url) || observer == nullptr) return -1;
    auto task = std::make_shared<zqhttp::Task>();
    task->url = url;
    task->observer = observer;
    if (localPath != nullptr && *localPath != '\0') {
        task->path = localPath;
        task->nativePath = zqhttp::NativePath(localPath);
        if (task->nativePath.back() == '/') return -1;  // a folder, not a file
    }
    return Start(std::move(task));
}

int ZqHttpRequestMgr::Upload(const char* url, IZqHttpRequestObserver* observer, const char* localPath, int /*flags*/) {
    if (!zqhttp::IsHttpUrl(url) || observer == nullptr || localPath == nullptr || *localPath == '\0') return -1;
    auto task = std::make_shared<zqhttp::Task>();
    task->upload = true;
    task->url = url;
    task->observer = observer;
    task->path = localPath;
    task->nativePath = zqhttp::NativePath(localPath);
    struct stat st {};
    if (::stat(task->nativePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        PJ_Log(kLogFile, LOG_FAILURE, "ZqHttpRequestMgr::Upload", "cannot read %s", task->nativePath.c_str());
        return -1;
    }
    return Start(std::move(task));
}

int ZqHttpRequestMgr::Start(std::shared_ptr<zqhttp::Task> task) {
    JoinEnded();
    task->connectMs = connectMs_.load();
    task->stallMs = stallMs_.load();
    varnet::MutexLock lock(mutex_);
    if (closing_ || static_cast<int>(running_.size()) >= kMaxTasks) {
        PJ_Log(kLogFile, LOG_FAILURE, "ZqHttpRequestMgr::Start", "refused: %s",
               closing_ ? "shutting down" : "too many transfers");
        return -1;
    }
    task->id = NextId();
    try {
        task->thread = std::thread([this, task] { Run(task); });
    } catch (...) {
        return -1;
    }
    task->threadId = task->thread.get_id();
    running_[task->id] = task;
    return task->id;
}

void ZqHttpRequestMgr::Run(std::shared_ptr<zqhttp::Task> task) {
    {
        // Start() publishes the task under this lock; wait for it so StopTask always finds a running task.
        varnet::MutexLock lock(mutex_);
    }
    zqhttp::Outcome outcome = zqhttp::Outcome::Failed;
    try {
        outcome = task->upload ? zqhttp::RunUpload(*task) : zqhttp::RunDownload(*task);
    } catch (...) {
        PJ_Log(kLogFile, LOG_IMPOSSIBLE, "ZqHttpRequestMgr::Run", "task %d threw", task->id);
    }
    varnet::MutexLock lock(mutex_);
    task->outcome = outcome;
    task->ended = true;
    running_.erase(task->id);
    ended_.push_back(task);
    taskEnded_.notify_all();
}

int ZqHttpRequestMgr::StopTask(int taskId, int* out) {
    int dummy = 0;
    if (out == nullptr) out = &dummy;
    *out = 0;
    std::shared_ptr<zqhttp::Task> task;
    {
        varnet::MutexLock lock(mutex_);
        auto it = running_.find(taskId);
        if (it == running_.end()) return 0;
        task = it->second;
        task->stop = true;
        if (task->threadId == std::this_thread::get_id()) {
            *out = 1;  // from the task's own callback: Stopped follows when it returns
            return 1;
        }
        taskEnded_.wait(lock.Native(), [&] { return task->ended; });
    }
    JoinEnded();
    *out = task->outcome == zqhttp::Outcome::Stopped ? 1 : 0;
    return *out;
}

IZqHttpRequestMgr* AfxGetHttpRequestMgr() {
    static ZqHttpRequestMgr mgr;  // its destructor stops and joins what is still running at exit
    return &mgr;
}

void AfxReleaseHttpRequestMgr() {
    static_cast<ZqHttpRequestMgr*>(AfxGetHttpRequestMgr())->Shutdown();
}
