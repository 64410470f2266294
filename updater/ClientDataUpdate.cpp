#include "ClientDataUpdate.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "UpdaterUtil.h"
#include "ZqHttp.h"
#include "ZqHttpRequestMgr.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {
const char kConfigKey[] = "tobrenk ";
const char kDefaultConfigSvr[] = "http://config.varnet.test";
const char kDefaultLogSvr[] = "http://stat.varnet.test/log.stat?";
constexpr size_t kMaxQuery = 1023;
}  // namespace

bool CClientDataUpdate::CheckDownloadConfig() {
    int last = 0;
    m_env.config->GetInt("UpdateData", "LastUpdateDay", last, 0);
    bool need = last != m_env.Today();
    TRENBY_LOG(0, "CheckDownloadConfig", "out %s", need ? "true" : "false");
    return need;
}

bool CClientDataUpdate::Encryption(const char* text, int length) {
    m_encoded.clear();
    int n = Base64::Base64Encode(m_encoded, text, length, kConfigKey);
    if (n <= 0) {
        TRENBY_LOG(2, "UserReg", "encode failed (%d)", n);
        m_encoded.clear();
        return false;
    }
    return true;
}

int CClientDataUpdate::DownloadServerConfig() {
    const char* kModule = "CClientDataUpdate::DownloadServerConfig";
    std::string version;
    m_env.config->GetString("config", "version", version, "");
    char src[260] = {0};
    char cid[64] = {0};
    ClientID::GetInstallSRC(src, sizeof src);
    ClientID::GetClientID(cid, sizeof cid);
    std::string query = StringUtility::Format("%s;%s,%s", cid, version.c_str(), src);
    query.resize(Charset::GbkSafeCut(query.data(), query.size(), kMaxQuery));
    if (!Encryption(query.c_str(), static_cast<int>(query.size()))) {
        TRENBY_LOG(2, kModule, "out false, 加密失败");
        return 0;
    }
    std::string base;
    m_env.config->GetString("ZqServerList", "ConfigSvrUrl", base, kDefaultConfigSvr);
    std::string url =
        StringUtility::Format("%s/uc/s?m=%d;%s", base.c_str(), static_cast<int>(query.size()), m_encoded.c_str());
    TRENBY_LOG(0, kModule, "Server Config DownURL:%s", url.c_str());

    int id = 0, err = 0;
    std::string param = MakeHttpParam(kModule, 0);
    if (!m_env.http->Request(url.c_str(), 1, "", param.c_str(), &id, &err, 0)) {
        TRENBY_LOG(2, kModule, "out false, Request failed");
        return 0;
    }
    char* data = nullptr;
    int len = 0;
    m_env.http->GetResult(id, &data, &len, &err);
    m_env.http->ReleaseRequest(id);
    if (!data || len <= 0) {
        delete[] data;
        TRENBY_LOG(2, kModule, "Get Config Error: No Return Content!");
        return 0;
    }
    TRENBY_LOG(1, kModule, "result config content is %.*s", len > 512 ? 512 : len, data);
    std::string body(data, static_cast<size_t>(len));
    delete[] data;

    int result = 0;
    std::string decoded;
    if (Base64::Base64Decode(body, decoded, nullptr)) {
        decoded.resize(strnlen(decoded.data(), decoded.size()));  // written as a C text
        if (decoded.size() > 100) {
            if (ReplaceFile(m_env, m_env.userDir + "config.ini", decoded)) {
                result = 1;
                m_env.config->SetInt("UpdateData", "LastUpdateDay", m_env.Today());
            } else {
                TRENBY_LOG(2, kModule, "config.ini not written");
            }
        }
    }
    TRENBY_LOG(0, kModule, "out %s", result ? "true" : "false");
    return result;
}

int CLogStatistics::SendStartLog(const std::string& commandLine) {
    IConfigManager* cfg = m_env.config;
    std::string version, fid;
    cfg->GetString("config", "version", version, "");
    cfg->GetString("config", "FromID", fid);
    std::string cid = ClientID::GetClientID();
    cid.resize(Charset::GbkSafeCut(cid.data(), cid.size(), 63));
    int type = commandLine.find("trayrun") != std::string::npos ? 2 : 1;
    std::string line = StringUtility::Format("cmd:start|ver:%s|fid:%s|cid:%s|type:%d", version.c_str(), fid.c_str(),
                                             cid.c_str(), type);
    char enc[1024];
    UrlEncode::EncodeEx(line.c_str(), enc, sizeof enc, 0);
    return SendVarnetLog(StringUtility::Format("cmd=log&msg=%s", enc));
}

int CLogStatistics::SendVarnetLog(const std::string& params) {
    if (params.empty()) return 0;
    std::string base;
    m_env.config->GetString("ZqServerList", "VStarLogServer", base, kDefaultLogSvr);
    std::string url = StringUtility::Format("%s%s", base.c_str(), params.c_str());
    IZqHttpMgr* http = m_env.syncHttp;
    int session = http->OpenUrl(url.c_str(), 0, 0, 0, 0, 0, 0, -1, 0, 0);
    int result = 0;
    if (session && http->GetStatusCode(session) == 200) {
        const char* data = nullptr;
        int len = 0;
        if (http->GetData(session, &data, &len) && data && len > 0) {
            TRENBY_LOG(1, "CLogStatistics::SendVarnetLog", "%.*s", len > 512 ? 512 : len, data);
            result = 1;
        }
    }
    http->CloseSession(session);
    if (!result) TRENBY_LOG(2, "CLogStatistics::SendVarnetLog", "发送失败=%s", params.c_str());
    return result;
}

namespace {

bool StatFileTimes(const std::string& nativePath, int64_t& created, int64_t& modified) {
    struct statx sx {};
    if (statx(AT_FDCWD, nativePath.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) != 0) return false;
    modified = sx.stx_mtime.tv_sec;
    created = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : modified;
    return true;
}

}  // namespace

void DeleteOldLogFiles(UpdaterEnv& env) {
    const char* kModule = "DeleteOldLogFiles";
    time_t now = static_cast<time_t>(env.Now());
    struct tm today {};
    localtime_r(&now, &today);
    std::string folder = Dir::ToNativePath(env.logDir);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> old;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + name;
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
        int64_t created = 0, modified = 0;
        bool known = env.fileTimes ? env.fileTimes(path, created, modified) : StatFileTimes(path, created, modified);
        if (!known) continue;
        if (now - modified < 7 * 86400) continue;  // still written
        time_t c = static_cast<time_t>(created);
        struct tm day {};
        gmtime_r(&c, &day);  // the stored time's date, no time-zone conversion
        bool keep = day.tm_year == today.tm_year && day.tm_mon == today.tm_mon && today.tm_mday - 7 <= day.tm_mday &&
                    day.tm_mday <= today.tm_mday;
        if (!keep) old.push_back(name);
    }
    closedir(dir);
    for (const std::string& name : old) {
        std::string gbk = env.logDir + Charset::Utf8ToGbk(name);
        if (!Dir::RemoveFile2Recycle(gbk)) TRENBY_LOG(2, kModule, "not moved: %s", gbk.c_str());
    }
}
