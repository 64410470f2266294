// An observer that records every callback with its thread, for the request manager tests.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZqHttpRequestMgr.h"

struct ObserverEvent {
    std::string kind;  // "DownloadBegin", "DownloadProgress", ..., as the operation's name without its prefix
    int id = 0;
    int a = 0, b = 0, c = 0;  // sizes, error code, speed as the operation gives them
    std::string text;         // path or data
    std::thread::id thread;
};

class RecordingObserver : public IZqHttpRequestObserver {
public:
    void HttpRequestOb_DownloadBegin(int id, std::string path, int size) override {
        Add("DownloadBegin", id, size, 0, 0, path);
    }
    void HttpRequestOb_DownloadProgress(int id, int total, int cur, int speed) override {
        Add("DownloadProgress", id, total, cur, speed);
    }
    void HttpRequestOb_DownloadStopped(int id) override { Add("DownloadStopped", id); }
    void HttpRequestOb_DownloadFileFinished(int id, std::string path, int size) override {
        Add("DownloadFileFinished", id, size, 0, 0, path);
    }
    void HttpRequestOb_DownloadDataFinished(int id, const char* data, int len) override {
        Add("DownloadDataFinished", id, len, 0, 0, data ? std::string(data, len) : std::string());
    }
    void HttpRequestOb_DownloadFailed(int id, int err) override { Add("DownloadFailed", id, err); }
    void HttpRequestOb_UploadBegin(int id) override { Add("UploadBegin", id); }
    void HttpRequestOb_UploadProgress(int id, int total, int cur, int speed) override {
        Add("UploadProgress", id, total, cur, speed);
    }
    void HttpRequestOb_UploadStopped(int id) override { Add("UploadStopped", id); }
    void HttpRequestOb_UploadFinished(int id, char* data, int len) override {
        std::string text;
        if (data != nullptr) {
            data[len] = '\0';  // the manager promises len + 1 writable bytes
            text.assign(data, len);
        }
        Add("UploadFinished", id, len, data != nullptr, 0, text);
    }
    void HttpRequestOb_UploadFailed(int id, int err) override { Add("UploadFailed", id, err); }

    static bool IsTerminal(const std::string& kind) {
        return kind.find("Stopped") != std::string::npos || kind.find("Finished") != std::string::npos ||
               kind.find("Failed") != std::string::npos;
    }

    // Waits until a terminal callback arrived; false after `ms`.
    bool WaitTerminal(int ms = 10000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return CountTerminalLocked() > 0; });
    }

    // Waits until an event of `kind` arrived; false after `ms`.
    bool WaitFor(const std::string& kind, int ms = 10000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            for (const auto& e : events_) {
                if (e.kind == kind) return true;
            }
            return false;
        });
    }

    std::vector<ObserverEvent> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    std::vector<ObserverEvent> Terminals() {
        std::vector<ObserverEvent> out;
        for (auto& e : Events()) {
            if (IsTerminal(e.kind)) out.push_back(e);
        }
        return out;
    }

    int Count(const std::string& kind) {
        int n = 0;
        for (auto& e : Events()) n += e.kind == kind ? 1 : 0;
        return n;
    }

private:
    void Add(const char* kind, int id, int a = 0, int b = 0, int c = 0, std::string text = {}) {
        // Notified under the lock: a waiter may destroy this observer as soon as it wakes.
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back({kind, id, a, b, c, std::move(text), std::this_thread::get_id()});
        cv_.notify_all();
    }

    int CountTerminalLocked() const {
        int n = 0;
        for (const auto& e : events_) n += IsTerminal(e.kind) ? 1 : 0;
        return n;
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<ObserverEvent> events_;
};
