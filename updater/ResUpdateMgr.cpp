#include <algorithm>
#include <cinttypes>

#include "ResUpdate.h"
#include "ResUpdateTypes.h"
#include "UpdaterUtil.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

namespace {
const char kDefaultVersionUrl[] = "http://stat.varnet.test/conf/version.conf";
constexpr int kMaxTries = 10;
constexpr int kMaxIntervalMs = 10000;
}  // namespace

CResUpdateMgr::CResUpdateMgr(UpdaterEnv& env) : m_env(env) {
    m_updaters.push_back(std::make_unique<CResUpdateFace>(env, m_tries, m_event));
    m_updaters.push_back(std::make_unique<CResUpdateGift>(env, m_tries, m_event));
    m_updaters.push_back(std::make_unique<CResUpdateIcon>(env, m_tries, m_event));
    m_updaters.push_back(std::make_unique<CResUpdateLevel>(env, m_tries, m_event));
    m_updaters.push_back(std::make_unique<CResUpdateRole>(env, m_tries, m_event));
    m_updaters.push_back(std::make_unique<CResUpdateUserPhoto>(env, m_tries, m_event));
    m_updaters.push_back(std::make_unique<CResUpdateEnterShow>(env, m_tries, m_event));
    m_updaters.push_back(std::make_unique<CResUpdatePower>(env, m_tries));
    m_updaters.push_back(std::make_unique<CResUpdateWordFilter>(env, m_tries));
    m_updaters.push_back(std::make_unique<CResUpdateCity>(env, m_tries));
    m_updaters.push_back(std::make_unique<CResUpdateTag>(env, m_tries, m_event));
    m_updaters.push_back(std::make_unique<CResUpdateColorBar>(env, m_tries, m_event));
}

CResUpdateMgr::~CResUpdateMgr() = default;

void CResUpdateMgr::Update() {
    const char* kModule = "CResUpdateMgr::Update";
    m_nLastMask = 0;
    int v = 0;
    m_tries = ResTries();
    if (m_env.config->GetInt("ResUpdate", "UpdateFailTryNum", v)) m_tries.count = std::clamp(v, 1, kMaxTries);
    if (m_env.config->GetInt("ResUpdate", "UpdateFailTryIntervalTime", v))
        m_tries.intervalMs = std::clamp(v, 0, kMaxIntervalMs);

    if (!CheckNeedUpdateVersion()) return;
    if (!TryGetNewVersion()) {
        TRENBY_LOG(2, kModule, "获取最新的版本文件失败，退出更新");
        ChangeNextUpdateTime(false);
        return;
    }
    GetOldVeision();
    std::string temp = m_env.downloadDir + "res/";
    RemoveTree(temp);

    int mask = 0;
    bool ok = true;
    for (auto& u : m_updaters) {
        if (!IsNeedUpdate(*u)) continue;
        mask |= u->TypeBit();
        ok = u->Update();
        if (!ok) break;
    }
    if (!ok) {
        TRENBY_LOG(2, kModule, "更新失败，退出更新流程");
        RemoveTree(temp);
        ChangeNextUpdateTime(false);
        return;
    }
    for (auto& u : m_updaters) {
        if (!u->NeedUpdate()) continue;
        ok = u->CopyTempFile();
        if (!ok) break;
    }
    RemoveTree(temp);
    if (!ok) {
        TRENBY_LOG(2, kModule, "CopyTempFile失败");
        TRENBY_LOG(2, kModule, "更新失败");
        return;
    }
    bool saved = SaveVersionConfig();
    ChangeNextUpdateTime(saved);
    if (saved) NotifyVarnetResChange(mask);
}

bool CResUpdateMgr::CheckNeedUpdateVersion() {
    int64_t next = 0;
    m_env.config->GetInt64("ResUpdate", "NextUpdateTime", next);
    int64_t now = m_env.Now();
    TRENBY_LOG(0, "CResUpdateMgr::CheckNeedUpdateVersion", "当前时间%" PRId64 ", 下一次更新起始时间%" PRId64, now,
               next);
    if (now < next) {
        TRENBY_LOG(0, "CResUpdateMgr::CheckNeedUpdateVersion", "没到下一次更新时间，退出资源更新流程");
        return false;
    }
    return true;
}

bool CResUpdateMgr::TryGetNewVersion() {
    for (int i = 0; i < m_tries.count; ++i) {
        if (GetNewVersion()) return true;
        TRENBY_LOG(2, "CResUpdateMgr::TryGetNewVersion", "第%d次下载失败, 最多试%d次", i, m_tries.count);
        m_env.Pause(static_cast<DWORD>(m_tries.intervalMs));
    }
    return false;
}

bool CResUpdateMgr::GetNewVersion() {
    const char* kModule = "CResUpdateMgr::GetNewVersion";
    std::string url = kDefaultVersionUrl;
    m_env.config->GetString("ZqServerList", "ResUpdateVersionUrl", url);
    int id = 0, err = 0;
    std::string param = MakeHttpParam(kModule, 0);
    if (!m_env.http->Request(url.c_str(), 1, "", param.c_str(), &id, &err, 0)) {
        TRENBY_LOG(2, kModule, "GLOBAL_HTTPMGR->OpenSession失败（%s, errorid=%d）", url.c_str(), err);
        return false;
    }
    char* data = nullptr;
    int len = 0;
    m_env.http->GetResult(id, &data, &len, &err);
    m_env.http->ReleaseRequest(id);
    if (!data || len <= 0) {
        delete[] data;
        TRENBY_LOG(2, kModule, "读取内容失败 errorid=%d", err);
        return false;
    }
    m_versionText.assign(data, static_cast<size_t>(len));
    delete[] data;
    std::string error;
    if (!ParseJson(m_versionText.data(), m_versionText.size(), m_newVersion, &error) || !m_newVersion.isObject()) {
        TRENBY_LOG(2, kModule, "解析返回的json串失败(%s)", error.c_str());
        m_newVersion = Json::Value();
        return false;
    }
    return true;
}

void CResUpdateMgr::GetOldVeision() {
    m_oldVersion = Json::Value();
    std::string text;
    if (!Dir::ReadFile(m_env.installDir + "res/version.conf", text)) return;
    if (!ParseJson(text.data(), text.size(), m_oldVersion) || !m_oldVersion.isObject()) m_oldVersion = Json::Value();
}

bool CResUpdateMgr::IsNeedUpdate(CResUpdate& updater) {
    const char* kModule = "CResUpdateMgr::IsNeedUpdate";
    const char* t = updater.TypeName();
    updater.SetNeedUpdate(false);
    const Json::Value* entry = m_newVersion.find(t, t + std::char_traits<char>::length(t));
    unsigned newVersion = 0;
    std::string base;
    if (!entry || !JsonUInt(*entry, "version", newVersion)) {
        TRENBY_LOG(2, kModule, "解析类型失败，不更新了，version.conf中version字段位空(type=%s)", t);
        return false;
    }
    if (!JsonString(*entry, "base", base) || base.empty()) {
        TRENBY_LOG(2, kModule, "解析类型失败，不更新了，version.conf中base字段位空(type=%s)", t);
        return false;
    }
    updater.SetConfUrl(base);
    const Json::Value* old =
        m_oldVersion.isObject() ? m_oldVersion.find(t, t + std::char_traits<char>::length(t)) : nullptr;
    unsigned oldVersion = 0;
    bool need = !old || !JsonUInt(*old, "version", oldVersion) || oldVersion < newVersion;
    TRENBY_LOG(0, kModule, "%s类型的资源%s更新", t, need ? "需要" : "不需要");
    updater.SetNeedUpdate(need);
    return need;
}

bool CResUpdateMgr::SaveVersionConfig() {
    std::string path = m_env.installDir + "res/version.conf";
    if (!ReplaceFile(m_env, path, m_versionText)) {
        TRENBY_LOG(2, "CResUpdateMgr::SaveVersionConfig", "调用WriteFile写入本地%s文件失败", path.c_str());
        return false;
    }
    TRENBY_LOG(0, "CResUpdateMgr::SaveVersionConfig", "将下载的%s保存到%s成功", "version.conf", path.c_str());
    return true;
}

void CResUpdateMgr::ChangeNextUpdateTime(bool success) {
    if (!success) {
        TRENBY_LOG(2, "CResUpdateMgr::ChangeNextUpdateTime", "更新失败");
        return;
    }
    int64_t now = m_env.Now();
    int64_t next = now - now % 86400 + 86400;
    m_env.config->SetInt64("ResUpdate", "NextUpdateTime", next);
    TRENBY_LOG(0, "CResUpdateMgr::ChangeNextUpdateTime", "更新成功，下次最早更新时间%" PRId64, next);
}

void CResUpdateMgr::NotifyVarnetResChange(int mask) {
    const char* kModule = "CResUpdateMgr::NotifyVarnetResChange";
    m_nLastMask = mask;
    if (mask == 0) {
        TRENBY_LOG(0, kModule, "更新完成后发现什么都没变");
        return;
    }
    if (m_env.mainWindow && m_env.mainWindow->Find() &&
        m_env.mainWindow->Post(WM_RES_CHANGED, static_cast<WPARAM>(mask), 0)) {
        TRENBY_LOG(0, kModule, "找到主窗口句柄%s，发送%d消息通知更新", kMainWndProperty, WM_RES_CHANGED);
        return;
    }
    TRENBY_LOG(2, kModule, "更新完成后没找到主窗口");
}
