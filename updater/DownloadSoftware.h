// The software update: decides once a run whether a newer installer is to be downloaded, downloads it
// within the daily limit, and installs it by the marker in its name (remind, force, silent).
//
// Threads: Update and the steps run on the updater thread. The observer operations run on the request
// manager's thread; they only touch the fields under m_lock, post progress to the main window and set
// m_event. m_lock is never held while calling into the request manager's StopTask.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "UpdaterEnv.h"
#include "Win32Sync.h"
#include "ZqHttpRequestMgr.h"
#include "ThreadAnnotations.h"

class CDownloadSoftware : public IZqHttpRequestObserver {
public:
    explicit CDownloadSoftware(UpdaterEnv& env);
    ~CDownloadSoftware() override = default;

    void Update();

    bool CheckDownloadSoftware();
    bool DownloadSoftware();
    bool CheckInstallSoftware();
    void InstallSoftware();
    void FindMainWindow();
    void RemindInstall();
    bool RunInstaller();
    bool LaunchInstaller(const std::string& folder, const std::string& file);
    bool CheckDownloadTimesDaily();
    bool CheckInstallTimesDaily();
    bool CheckInstallDaysLimit();

    void HttpRequestOb_DownloadBegin(int taskId, std::string filePath, int fileSize) override;
    void HttpRequestOb_DownloadProgress(int taskId, int totalSize, int curSize, int speed) override;
    void HttpRequestOb_DownloadStopped(int taskId) override;
    void HttpRequestOb_DownloadFileFinished(int taskId, std::string filePath, int fileSize) override;
    void HttpRequestOb_DownloadDataFinished(int taskId, const char* data, int len) override;
    void HttpRequestOb_DownloadFailed(int taskId, int errorCode) override;

    // An installer is at most the configuration's Update/filesize when it gives one, else this.
    static constexpr int64_t kMaxInstallerBytes = int64_t(512) << 20;

    // The progress message's numbers: percent 0..100 (truncated) and seconds left.
    static void ProgressNumbers(int total, int current, int speed, WPARAM& percent, LPARAM& secondsLeft);

private:
    // A per-day counter under (dayKey, countKey) against the limit key of UpdateSetting.
    bool CheckTimesDaily(const char* dayKey, const char* countKey, const char* limitKey);
    void Finish(int taskId, bool ok, int size);

    UpdaterEnv& m_env;
    int m_nForce = 0;                     // updater thread
    std::atomic<bool> m_bMainWnd{false};  // set before a download starts; read by the progress callback
    CEvent m_event{false, false};         // "DownloadInstallSoft": auto-reset

    varnet::Mutex m_lock;  // guards the fields below
    int m_nTaskId GUARDED_BY(m_lock) = 0;
    bool m_bResult GUARDED_BY(m_lock) = false;
    int m_nFileSize GUARDED_BY(m_lock) = 0;
    DWORD m_dwStartTick GUARDED_BY(m_lock) = 0;   // updater thread and the begin callback, under m_lock
    int64_t m_maxBytes GUARDED_BY(m_lock) = 0;    // the download's bound
    bool m_bOversize GUARDED_BY(m_lock) = false;  // it went past the bound: stopped, never a result
};
