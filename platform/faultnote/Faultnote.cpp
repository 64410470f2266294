#include "Faultnote.h"

#include <sys/stat.h>

#include <condition_variable>
#include <mutex>

#include "ZqHttpRequestMgr.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "ThreadAnnotations.h"

namespace faultnote {
namespace {

class UploadWait : public IZqHttpRequestObserver {
public:
    void HttpRequestOb_UploadBegin(int) override {}
    void HttpRequestOb_UploadProgress(int, int, int, int) override {}
    void HttpRequestOb_UploadStopped(int) override { Done(false); }
    void HttpRequestOb_UploadFinished(int, char*, int) override { Done(true); }
    void HttpRequestOb_UploadFailed(int, int) override { Done(false); }
    // 1 sent, 0 failed, -1 still running after the wait.
    int Wait(int ms) {
        varnet::MutexLock lock(m_mutex);
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<int, std::milli>(ms);
        while (!m_done && m_cv.wait_until(lock.Native(), until) != std::cv_status::timeout) {}
        return m_done ? (m_ok ? 1 : 0) : -1;
    }

private:
    void Done(bool ok) {
        varnet::MutexLock lock(m_mutex);
        m_done = true;
        m_ok = ok;
        m_cv.notify_all();
    }
    varnet::Mutex m_mutex;  // guards the fields below
    std::condition_variable m_cv;
    bool m_done GUARDED_BY(m_mutex) = false;
    bool m_ok GUARDED_BY(m_mutex) = false;
};

}  // namespace

bool IsDumpFile(const std::string& path) {
    struct stat st;
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".dmp") == 0 && stat(path.c_str(), &st) == 0 &&
           S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= (64 << 20);
}

Result Report(const std::string& dumpPath, IConfigManager* config, IZqHttpRequestMgr* http,
              const std::function<bool()>& ask, int timeoutMs) {
    if (!IsDumpFile(dumpPath)) return kBadDump;
    std::string url;
    if (!config || !config->GetString("ZqServerList", "CrashReportSvr", url) || url.empty()) return kNoService;
    if (!ask()) return kDeclined;
    UploadWait wait;
    int task = http->Upload(url.c_str(), &wait, dumpPath.c_str(), 0);
    if (task <= 0) return kFailed;
    int r = wait.Wait(timeoutMs);
    if (r < 0) {
        int out = 0;
        http->StopTask(task, &out);
        return kFailed;
    }
    PJ_Log("Faultnote.txt", 0, "Faultnote", r ? "report sent" : "report failed");
    return r ? kSent : kFailed;
}

}  // namespace faultnote
