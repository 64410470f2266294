#include "DownloadSoftware.h"

#include <algorithm>
#include <cctype>

#include "UpdaterUtil.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

constexpr int kMaxTries = 4;
constexpr int kMaxServers = 256;  // server keys looked at

}  // namespace

CDownloadSoftware::CDownloadSoftware(UpdaterEnv& env) : m_env(env) {}

void CDownloadSoftware::Update() {
    IConfigManager* cfg = m_env.config;
    std::string installed, newest;
    cfg->GetString("config", "version", installed, "");
    cfg->GetString("Update", "version", newest, "");
    bool silent = false;
    cfg->GetBool("UpdateData", "SiLentUpdate", silent, false);
    if (silent) {
        if (VersionToNumber(installed) >= VersionToNumber(newest)) {
            cfg->SetBool("UpdateData", "SiLentUpdate", false);
            TRENBY_LOG(0, "Update", "out true, silent update done");
            return;
        }
        if (RunInstaller()) {
            TRENBY_LOG(0, "Update", "out true, silent update pending");
            return;
        }
        // The installer went missing: the pending flag goes and the download starts over.
        cfg->SetBool("UpdateData", "SiLentUpdate", false);
        TRENBY_LOG(2, "Update", "silent installer missing, downloading again");
    }
    if (CheckDownloadSoftware()) {
        {
            varnet::MutexLock lock(m_lock);
            m_nTaskId = 0;
            m_dwStartTick = 0;
            m_bResult = false;
        }
        FindMainWindow();
        if (m_bMainWnd) m_env.mainWindow->Post(WM_FORCE_UPDATE, 1, 0);
        for (int i = 0; i < kMaxTries; ++i)
            if (DownloadSoftware()) break;
        if (m_bMainWnd) m_env.mainWindow->Post(WM_FORCE_UPDATE, 0, 0);
    }
    if (CheckInstallSoftware()) InstallSoftware();
    TRENBY_LOG(0, "Update", "out true");
}

void CDownloadSoftware::FindMainWindow() {
    std::string name;
    m_env.config->GetString("Update", "filename", name, "");
    if (Upper(name).find("_FORCE") != std::string::npos) m_nForce = 1;
    m_env.Pause(100);
    m_bMainWnd = m_nForce == 1 && m_env.mainWindow && m_env.mainWindow->Find();
}

bool CDownloadSoftware::CheckDownloadSoftware() {
    const char* kModule = "CheckDownloadSoftware";
    std::string installed, newest;
    m_env.config->GetString("config", "version", installed, "");
    m_env.config->GetString("Update", "version", newest, "");
    if (VersionToNumber(installed) >= VersionToNumber(newest)) {
        TRENBY_LOG(0, kModule, "out false, No New Version");
        return false;
    }
    if (!CheckDownloadTimesDaily()) {
        TRENBY_LOG(0, kModule, "out false, Over today limit");
        return false;
    }
    TRENBY_LOG(0, kModule, "out true");
    return true;
}

bool CDownloadSoftware::CheckTimesDaily(const char* dayKey, const char* countKey, const char* limitKey) {
    IConfigManager* cfg = m_env.config;
    int today = m_env.Today();
    int last = 0;
    cfg->GetInt("UpdateData", dayKey, last, 0);
    if (last != today) {
        cfg->SetInt("UpdateData", dayKey, today);
        cfg->SetInt("UpdateData", countKey, 0);
    }
    int limit = 0;
    cfg->GetInt("UpdateSetting", limitKey, limit, 0);
    if (limit < 1) limit = 10000;
    int count = 0;
    cfg->GetInt("UpdateData", countKey, count, 0);
    if (count >= limit) return false;
    cfg->SetUInt("UpdateData", countKey, static_cast<uint32_t>(count + 1));
    return true;
}

bool CDownloadSoftware::CheckDownloadTimesDaily() {
    return CheckTimesDaily("LastDownloadDay", "DownloadTimesDaily", "DownloadTimesLimit");
}

bool CDownloadSoftware::CheckInstallTimesDaily() {
    return CheckTimesDaily("LastInstallDay", "InstallTimesDaily", "InstallTimesLimit");
}

bool CDownloadSoftware::CheckInstallDaysLimit() {
    IConfigManager* cfg = m_env.config;
    uint32_t limit = 0;
    cfg->GetUInt("UpdateSetting", "InstallDaysLimit", limit, 0);
    if (limit == 0) limit = 10000;
    int today = m_env.Today();
    int first = 0;
    cfg->GetInt("UpdateData", "SoftwareDownloadedDay", first, 0);
    if (first == 0) {
        first = today;
        cfg->SetInt("UpdateData", "SoftwareDownloadedDay", today);
    }
    return static_cast<int64_t>(limit) >= static_cast<int64_t>(today) - first;
}

bool CDownloadSoftware::DownloadSoftware() {
    const char* kModule = "DownloadSoftware";
    IConfigManager* cfg = m_env.config;
    std::string name;
    int servers = 0;
    cfg->GetString("Update", "filename", name, "");
    cfg->GetInt("Update", "HttpDownLoadSvrNum", servers, 0);
    if (name.empty() || servers <= 0) {
        TRENBY_LOG(2, kModule, "out false, SRC:%s, HttpSvrNum:%d", name.c_str(), servers);
        return false;
    }
    if (!IsSafeFileName(name)) {
        TRENBY_LOG(2, kModule, "out false, refused file name:%s", name.c_str());
        return false;
    }
    std::string server;
    for (int i = 0; i < servers && i < kMaxServers && server.empty(); ++i) {
        std::string key = StringUtility::Format("%s%d", "HttpDownLoadSvr", i);
        cfg->GetString("Update", key.c_str(), server, "");
    }
    if (server.empty()) {
        TRENBY_LOG(2, kModule, "out false, no valid http server");
        return false;
    }
    std::string url = server + "/" + name;
    std::string dest = m_env.downloadDir + name;
    int recorded = 0;
    cfg->GetInt("UpdateData", "InstallFileSize", recorded, 0);
    if (Dir::FileExists(dest)) {
        if (IsRegularFile(dest) && static_cast<int>(Dir::GetFileSize(dest)) == recorded && MakeExecutable(dest))
            return true;
        if (!RemoveTree(dest)) {
            TRENBY_LOG(2, kModule, "out false, old file not removed:%s", dest.c_str());
            return false;
        }
    }

    int configured = 0;
    cfg->GetInt("Update", "filesize", configured, 0);
    m_event.Reset();
    int id = 0;
    {
        varnet::MutexLock lock(m_lock);  // a callback waits until the id is known
        m_bResult = false;
        m_bOversize = false;
        m_maxBytes = configured > 0 ? std::min<int64_t>(configured, kMaxInstallerBytes) : kMaxInstallerBytes;
        m_nFileSize = 0;
        id = m_env.http->Download(url.c_str(), this, dest.c_str(), 0);
        m_nTaskId = id > 0 ? id : 0;
        m_dwStartTick = GetTickCount();
    }
    if (id <= 0) {
        TRENBY_LOG(2, kModule, "out false, download refused:%s", url.c_str());
        return false;
    }
    bool signalled = m_event.Wait(m_env.downloadWaitMs) == WAIT_OBJECT_0;
    bool ok = false, oversize = false;
    int size = 0;
    {
        varnet::MutexLock lock(m_lock);
        oversize = m_bOversize || m_nFileSize > m_maxBytes;
        ok = signalled && m_bResult && !oversize;
        size = m_nFileSize;
        m_nTaskId = 0;  // later callbacks of this task are not taken for another
        m_dwStartTick = 0;
    }
    if (!signalled || oversize) {
        TRENBY_LOG(2, kModule, oversize ? "download too large, stopped:%s" : "download timed out, stopped:%s",
                   url.c_str());
        int out = 0;
        m_env.http->StopTask(id, &out);
        RemoveTree(dest);
    }
    if (!ok) return false;
    // The installer is a program: the main program starts a silent one itself.
    if (!MakeExecutable(dest)) {
        TRENBY_LOG(2, kModule, "out false, cannot make executable:%s", dest.c_str());
        return false;
    }
    std::string version;
    cfg->GetString("Update", "version", version, "");
    cfg->SetString("UpdateData", "DownloadVersion", version.c_str(), 1);
    cfg->SetString("UpdateData", "InstallSoftware", name.c_str(), 1);
    cfg->SetInt("UpdateData", "InstallFileSize", size);
    // The days limit counts from the download of this installer.
    cfg->SetInt("UpdateData", "SoftwareDownloadedDay", m_env.Today());
    TRENBY_LOG(0, kModule, "out true, %s (%d bytes)", dest.c_str(), size);
    return true;
}

bool CDownloadSoftware::CheckInstallSoftware() {
    const char* kModule = "CheckInstallSoftware";
    IConfigManager* cfg = m_env.config;
    std::string name, installed, downloaded;
    cfg->GetString("UpdateData", "InstallSoftware", name, "");
    if (name.empty()) {
        TRENBY_LOG(0, kModule, "out false, installName is empty");
        return false;
    }
    cfg->GetString("config", "version", installed, "");
    cfg->GetString("UpdateData", "DownloadVersion", downloaded, "");
    if (VersionToNumber(installed) >= VersionToNumber(downloaded)) {
        TRENBY_LOG(0, kModule, "out false, version already installed");
        return false;
    }
    if (!CheckInstallDaysLimit()) {
        TRENBY_LOG(0, kModule, "out false, software is invalid");
        return false;
    }
    if (!CheckInstallTimesDaily()) {
        TRENBY_LOG(0, kModule, "out false, over daily limit");
        return false;
    }
    TRENBY_LOG(0, kModule, "out true");
    return true;
}

void CDownloadSoftware::InstallSoftware() {
    const char* kModule = "InstallSoftware";
    std::string name;
    m_env.config->GetString("UpdateData", "InstallSoftware", name, "");
    std::string up = Upper(name);
    if (up.find("_NOFORCE") != std::string::npos) {
        TRENBY_LOG(0, kModule, "NoForece Install");
        RemindInstall();
    } else if (up.find("_FORCE") != std::string::npos) {
        TRENBY_LOG(0, kModule, "Forece Install");
        RunInstaller();
    } else if (up.find("_SILENT") != std::string::npos) {
        TRENBY_LOG(0, kModule, "Slient Install");
        m_env.config->SetBool("UpdateData", "SiLentUpdate", true);
    } else {
        TRENBY_LOG(0, kModule, "Default:NoForece Install");
    }
}

void CDownloadSoftware::RemindInstall() {
    IConfigManager* cfg = m_env.config;
    int today = m_env.Today();
    int last = 0, interval = 0;
    cfg->GetInt("UpdateData", "LastInstallRemindDay", last, 0);
    cfg->GetInt("UpdateSetting", "RemindInstallInterval", interval, 0);
    if (static_cast<int64_t>(today) < static_cast<int64_t>(last) + interval) return;
    cfg->SetInt("UpdateData", "LastInstallRemindDay", today);
    int answer = m_env.remindInstall ? m_env.remindInstall() : 2;
    if (answer == 1) RunInstaller();
}

bool CDownloadSoftware::RunInstaller() {
    std::string name;
    m_env.config->GetString("UpdateData", "InstallSoftware", name, "");
    if (name.empty() || !IsSafeFileName(name) || !IsRegularFile(m_env.downloadDir + name)) {
        TRENBY_LOG(2, "RunInstaller", "out false, no installer:%s", name.c_str());
        return false;
    }
    if (m_env.killMainProgram) m_env.killMainProgram();
    return LaunchInstaller(m_env.downloadDir, name);
}

bool CDownloadSoftware::LaunchInstaller(const std::string& folder, const std::string& file) {
    if (!IsSafeFileName(file) || !IsRegularFile(folder + file)) return false;
    bool ok = m_env.launchInstaller && m_env.launchInstaller(folder, file);
    TRENBY_LOG(ok ? 0 : 2, "LaunchInstaller", "%s %s", ok ? "started" : "not started", (folder + file).c_str());
    return ok;
}

void CDownloadSoftware::ProgressNumbers(int total, int current, int speed, WPARAM& percent, LPARAM& secondsLeft) {
    double p = total > 0 ? static_cast<double>(current) / total * 100 : 0;
    percent = static_cast<WPARAM>(std::clamp(p, 0.0, 100.0));
    long long left = speed > 0 ? (static_cast<long long>(total) - current) / speed : 0;
    secondsLeft = static_cast<LPARAM>(left > 0 ? left : 0);
}

void CDownloadSoftware::HttpRequestOb_DownloadBegin(int taskId, std::string filePath, int fileSize) {
    IZqHttpRequestObserver::HttpRequestOb_DownloadBegin(taskId, filePath, fileSize);
    varnet::MutexLock lock(m_lock);
    if (taskId == m_nTaskId) m_dwStartTick = GetTickCount();
}

void CDownloadSoftware::HttpRequestOb_DownloadProgress(int taskId, int totalSize, int curSize, int speed) {
    IZqHttpRequestObserver::HttpRequestOb_DownloadProgress(taskId, totalSize, curSize, speed);
    {
        varnet::MutexLock lock(m_lock);
        if (taskId == 0 || taskId != m_nTaskId) return;
        // Past the bound (or announced so): the waiting thread stops the transfer.
        if (curSize > m_maxBytes || totalSize > m_maxBytes) {
            m_bOversize = true;
            m_bResult = false;
            m_event.Set();
            return;
        }
    }
    if (!m_bMainWnd) return;
    WPARAM percent;
    LPARAM left;
    ProgressNumbers(totalSize, curSize, speed, percent, left);
    m_env.mainWindow->Post(WM_FORCE_UPDATE_PROGRESS, percent, left);
}

void CDownloadSoftware::Finish(int taskId, bool ok, int size) {
    varnet::MutexLock lock(m_lock);
    if (taskId == 0 || taskId != m_nTaskId) return;
    m_bResult = ok && !m_bOversize;
    m_nFileSize = size;
    m_event.Set();
}

void CDownloadSoftware::HttpRequestOb_DownloadStopped(int taskId) {
    IZqHttpRequestObserver::HttpRequestOb_DownloadStopped(taskId);
    Finish(taskId, false, 0);
}

void CDownloadSoftware::HttpRequestOb_DownloadFileFinished(int taskId, std::string filePath, int fileSize) {
    IZqHttpRequestObserver::HttpRequestOb_DownloadFileFinished(taskId, filePath, fileSize);
    Finish(taskId, true, fileSize);
}

void CDownloadSoftware::HttpRequestOb_DownloadDataFinished(int taskId, const char*, int len) {
    varnet::MutexLock lock(m_lock);
    if (taskId == 0 || taskId != m_nTaskId) return;
    m_bResult = !m_bOversize;
    m_nFileSize = len;
    m_event.Set();
}

void CDownloadSoftware::HttpRequestOb_DownloadFailed(int taskId, int errorCode) {
    IZqHttpRequestObserver::HttpRequestOb_DownloadFailed(taskId, errorCode);
    Finish(taskId, false, 0);
}
