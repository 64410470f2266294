// One file transfer of the request manager (internal to the layer).
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "ZqHttpRequestMgr.h"

namespace zqhttp {

enum class Outcome { None, Finished, Failed, Stopped };

struct Task {
    int id = 0;
    bool upload = false;
    std::string url;
    std::string path;        // as the caller gave it (GBK), reported back to the observer
    std::string nativePath;  // UTF-8, '/' separators; empty for a download into memory
    IZqHttpRequestObserver* observer = nullptr;
    int connectMs = 0;
    int stallMs = 0;

    std::atomic<bool> stop{false};
    std::thread thread;
    // Under the manager's mutex_; not GUARDED_BY, as the analysis cannot name the lock of another object.
    std::thread::id threadId;  // written before the thread starts its transfer
    bool ended = false;        // set after the last callback
    Outcome outcome = Outcome::None;
};

// Perform the transfer and deliver every callback including the terminal one; return which it was.
Outcome RunDownload(Task& task);
Outcome RunUpload(Task& task);

}  // namespace zqhttp
