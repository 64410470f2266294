#include "ResUpdate.h"

#include <algorithm>
#include <cstring>

#include "CatalogRecords.h"

#include "UpdaterUtil.h"
#include "ZqLib.h"
#include "ZqLog.h"

// ---- CResUpdate ----

void CResUpdate::ClearTempFile() {
    TRENBY_LOG(0, "CResUpdate::ClearTempFile", "%s类型的资源不需要临时目录存储下载文件", TypeName());
}

bool CResUpdate::LoadWebConfigFile() {
    const char* kModule = "CResUpdate::LoadWebConfigFile";
    int id = 0, err = 0;
    std::string param = MakeHttpParam(kModule, 0);
    if (!m_env.http->Request(m_strConfUrl.c_str(), 1, "", param.c_str(), &id, &err, 0)) {
        TRENBY_LOG(2, kModule, "GLOBAL_HTTPMGR->OpenSession失败（%s,errorid=%d）", m_strConfUrl.c_str(), err);
        return false;
    }
    char* data = nullptr;
    int len = 0;
    m_env.http->GetResult(id, &data, &len, &err);
    m_env.http->ReleaseRequest(id);
    // Only what the catalogue plug-in will read replaces a catalogue: within its size and a text without NUL.
    const size_t limit = TypeBit() == RES_WORDFILTER ? kWordFilterMaxFileBytes : kCatalogueMaxFileBytes;
    bool ok = data && len > 0;
    if (ok && (static_cast<size_t>(len) > limit || memchr(data, 0, static_cast<size_t>(len)) != nullptr)) {
        TRENBY_LOG(2, kModule, "配置文件不可用(%d字节)", len);
        ok = false;
    } else if (ok) {
        m_confText.assign(data, static_cast<size_t>(len));
        m_bHaveConf = true;
    } else {
        TRENBY_LOG(2, kModule, "GetFullContent读取内容失败 errorid=%d", err);
    }
    delete[] data;
    return ok;
}

bool CResUpdate::TryLoadWebConfigFile() {
    for (int i = 0; i < m_tries.count; ++i) {
        if (LoadWebConfigFile()) {
            TRENBY_LOG(0, "CResUpdate::TryLoadWebConfigFile", "从%s下载配置文件成功", m_strConfUrl.c_str());
            return true;
        }
        TRENBY_LOG(2, "CResUpdate::TryLoadWebConfigFile", "第%d次下载失败，最多试%d次", i, m_tries.count);
        m_env.Pause(static_cast<DWORD>(m_tries.intervalMs));
    }
    return false;
}

bool CResUpdate::SaveWebConifgFile() {
    const char* kModule = "CResUpdate::SaveWebConifgFile";
    std::string path = ResFolder() + ConfName();
    if (!m_bHaveConf) {
        TRENBY_LOG(3, kModule, "内部逻辑错误，保存文件时发现m_pBufTypeConf为空");
        return false;
    }
    if (!ReplaceFile(m_env, path, m_confText)) {
        TRENBY_LOG(2, kModule, "调用WriteFile写入本地%s文件失败", path.c_str());
        return false;
    }
    TRENBY_LOG(0, kModule, "将从%s下载的内容保存到%s成功", m_strConfUrl.c_str(), path.c_str());
    return true;
}

// ---- CResUpdateHaveImage ----

bool CResUpdateHaveImage::Update() {
    const char* kModule = "CResUpdateHaveImage::Update";
    Json::Value newConf, oldConf;
    std::string error;
    if (!TryLoadWebConfigFile()) {
        TRENBY_LOG(2, kModule, "获取新的配置文件失败");
        return false;
    }
    if (!ParseJson(m_confText.data(), m_confText.size(), newConf, &error) || !newConf.isObject()) {
        TRENBY_LOG(2, kModule, "解析返回的json串失败(%s)", error.c_str());
        TRENBY_LOG(2, kModule, "获取新的配置文件失败");
        return false;
    }
    std::string oldPath = ResFolder() + ConfName();
    std::string oldText;
    if (!Dir::ReadFile(oldPath, oldText)) {
        TRENBY_LOG(1, kModule, "调用CreateFile打开本地%s文件失败", oldPath.c_str());
    } else if (!ParseJson(oldText.data(), oldText.size(), oldConf, &error)) {
        TRENBY_LOG(1, kModule, "json解析失败（%s）", error.c_str());
    }
    if (!CmpConfigFile(oldConf, newConf)) return false;
    return UpdateItems();
}

bool CResUpdateHaveImage::LoadItemFromJson(const Json::Value& item, std::vector<std::string>& names) {
    for (const char* key : FileKeys()) {
        const Json::Value* v = item.find(key, key + std::char_traits<char>::length(key));
        if (!v || v->isNull()) continue;
        if (!v->isString()) {
            TRENBY_LOG(2, "CResUpdateHaveImage::LoadItemFromJson", "%s is not a text", key);
            return false;
        }
        std::string name = v->asString();
        if (name.empty()) continue;
        if (!IsSafeFileName(name)) {
            TRENBY_LOG(2, "CResUpdateHaveImage::LoadItemFromJson", "refused file name %s", name.c_str());
            return false;
        }
        names.push_back(name);
    }
    return true;
}

bool CResUpdateHaveImage::LoadFromJson(const Json::Value& conf, ResItemMap& out) {
    const char* kModule = "CResUpdateHaveImage::LoadFromJson";
    const char* key = ListKey();
    const Json::Value* groups = conf.isObject() ? conf.find(key, key + std::char_traits<char>::length(key)) : nullptr;
    if (!groups || !groups->isArray()) {
        TRENBY_LOG(2, kModule, "解析json文件失败");
        return false;
    }
    bool ok = true;
    for (const Json::Value& group : *groups) {
        if (!group.isObject()) continue;
        static const char kList[] = "list";
        const Json::Value* list = group.find(kList, kList + 4);
        std::string base;
        if (!list || !list->isArray() || list->empty() || !JsonString(group, "base", base)) continue;
        std::replace(base.begin(), base.end(), '\\', '/');
        if (base.empty() || base.back() != '/') base += '/';
        for (const Json::Value& item : *list) {
            unsigned id = 0, version = 0;
            if (!JsonUInt(item, "id", id) || !JsonUInt(item, "version", version)) {
                ok = false;
                continue;
            }
            std::vector<std::string> names;
            if (!LoadItemFromJson(item, names)) {
                TRENBY_LOG(2, kModule, "LoadItemFromJson失败");
                ok = false;
                continue;
            }
            if (names.empty()) continue;
            auto info = std::make_unique<STRU_RESUPDATE_ITEM_INFO>();
            info->version = version;
            for (const std::string& n : names) info->urls.push_back(base + n);
            out[id] = std::move(info);
        }
    }
    return ok;
}

void CResUpdateHaveImage::SaveNeed(const STRU_RESUPDATE_ITEM_INFO& item, std::vector<std::string>& list,
                                   const char* what) {
    for (const std::string& url : item.urls) {
        std::string name = Dir::GetShortFileName(url);
        if (!IsSafeFileName(name)) continue;
        std::string local = TempFolder() + name;
        if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
        m_downloads[local] = url;
        TRENBY_LOG(1, "CResUpdateHaveImage::SaveNeed", "%s %s <- %s", what, local.c_str(), url.c_str());
    }
}

bool CResUpdateHaveImage::CmpConfigFile(const Json::Value& oldConf, const Json::Value& newConf) {
    const char* kModule = "CResUpdateHaveImage::CmpConfigFile";
    ResItemMap n, o;
    if (!LoadFromJson(newConf, n)) {
        TRENBY_LOG(2, kModule, "LoadFromJson失败, 停止更新");
        return false;
    }
    LoadFromJson(oldConf, o);
    m_downloads.clear();
    m_add.clear();
    m_overlay.clear();
    m_delete.clear();
    m_keep.clear();
    for (const auto& [id, item] : n) {
        for (const std::string& url : item->urls) m_keep.insert(Dir::GetShortFileName(url));
        auto it = o.find(id);
        if (it == o.end()) SaveNeed(*item, m_add, "新添加了图片");
        else if (it->second->version < item->version) SaveNeed(*item, m_overlay, "图片更新了");
    }
    for (const auto& [id, item] : o) {
        if (n.count(id)) continue;
        for (const std::string& url : item->urls) {
            std::string name = Dir::GetShortFileName(url);
            // A picture another item still uses stays.
            if (!IsSafeFileName(name) || m_keep.count(name)) continue;
            if (std::find(m_delete.begin(), m_delete.end(), name) == m_delete.end()) m_delete.push_back(name);
            TRENBY_LOG(1, kModule, "删除图片%s", name.c_str());
        }
    }
    TRENBY_LOG(0, kModule, "本地需要删除%d个文件，增加%d个文件，覆盖%d个文件", static_cast<int>(m_delete.size()),
               static_cast<int>(m_add.size()), static_cast<int>(m_overlay.size()));
    return true;
}

bool CResUpdateHaveImage::UpdateItems() {
    Dir::CreateDirectories(TempFolder());
    for (const auto& [local, url] : m_downloads) {
        if (!TryUpdateItem(local, url)) {
            TRENBY_LOG(2, "CResUpdateHaveImage::UpdateItems", "下载失败，停止更新");
            return false;
        }
        TRENBY_LOG(0, "CResUpdateHaveImage::UpdateItems", "下载成功（localpath=%s，url=%s）", local.c_str(),
                   url.c_str());
    }
    return true;
}

bool CResUpdateHaveImage::TryUpdateItem(const std::string& localPath, const std::string& url) {
    for (int i = 0; i < m_tries.count; ++i) {
        if (DownloadOne(localPath, url)) return true;
        TRENBY_LOG(2, "CResUpdateHaveImage::TryUpdateItem", "第%d次下载失败(localpath=%s, url=%s)，最多试%d次", i,
                   localPath.c_str(), url.c_str(), m_tries.count);
        m_env.Pause(static_cast<DWORD>(m_tries.intervalMs));
    }
    return false;
}

bool CResUpdateHaveImage::DownloadOne(const std::string& localPath, const std::string& url) {
    m_event.Reset();
    int id = 0;
    {
        varnet::MutexLock lock(m_lock);  // a callback waits until the id is known
        m_bResult = false;
        m_bOversize = false;
        id = m_env.http->Download(url.c_str(), this, localPath.c_str(), 0);
        m_nTaskId = id > 0 ? id : 0;
    }
    if (id <= 0) return false;
    DWORD wait = m_event.Wait(std::min<DWORD>(m_env.downloadWaitMs, kPictureWaitMs));
    bool ok = false, oversize = false;
    {
        varnet::MutexLock lock(m_lock);
        oversize = m_bOversize;
        ok = wait == WAIT_OBJECT_0 && m_bResult && !oversize;
        m_nTaskId = 0;  // later callbacks of this task are not taken for another
    }
    if (wait == WAIT_TIMEOUT || oversize) {
        TRENBY_LOG(2, "CResUpdateHaveImage::DownloadOne", oversize ? "下载的文件过大，停止下载" : "下载超时，停止下载");
        int out = 0;
        m_env.http->StopTask(id, &out);
        RemoveTree(localPath);
        return false;
    }
    return ok && IsRegularFile(localPath) && Dir::GetFileSize(localPath) <= kMaxPictureBytes;
}

void CResUpdateHaveImage::Finish(int taskId, bool ok) {
    varnet::MutexLock lock(m_lock);
    if (taskId == 0 || taskId != m_nTaskId) return;
    m_bResult = ok && !m_bOversize;
    m_event.Set();
}

void CResUpdateHaveImage::HttpRequestOb_DownloadProgress(int taskId, int totalSize, int curSize, int) {
    varnet::MutexLock lock(m_lock);
    if (taskId == 0 || taskId != m_nTaskId) return;
    if (curSize > kMaxPictureBytes || totalSize > kMaxPictureBytes) {
        m_bOversize = true;
        m_bResult = false;
        m_event.Set();
    }
}

void CResUpdateHaveImage::HttpRequestOb_DownloadStopped(int taskId) {
    Finish(taskId, false);
}

void CResUpdateHaveImage::HttpRequestOb_DownloadFileFinished(int taskId, std::string, int) {
    Finish(taskId, true);
}

void CResUpdateHaveImage::HttpRequestOb_DownloadFailed(int taskId, int errorCode) {
    TRENBY_LOG(2, "CResUpdateHaveImage::HttpRequestOb_DownloadFailed", "下载失败nErrCode=%d", errorCode);
    Finish(taskId, false);
}

bool CResUpdateHaveImage::CopyTempFile() {
    const char* kModule = "CResUpdateHaveImage::CopyTempFile";
    std::string target = ResFolder() + ImageFolder();
    Dir::CreateDirectories(target);
    TRENBY_LOG(0, kModule, "开始删除程序目录中的图片文件");
    for (const std::string& name : m_delete) {
        if (Dir::FileExists(target + name)) {
            Dir::RemoveFile(target + name);
            TRENBY_LOG(0, kModule, "删除文件%s", (target + name).c_str());
        } else {
            TRENBY_LOG(0, kModule, "文件%s不存在，不需要删除", (target + name).c_str());
        }
    }
    // A name listed twice (two items, or two keys of one item) is moved once.
    std::set<std::string> moved;
    auto move = [&](const std::vector<std::string>& names, bool overlay) {
        for (const std::string& name : names) {
            if (!moved.insert(name).second) continue;
            std::string from = TempFolder() + name;
            if (!IsRegularFile(from)) {
                if (overlay) TRENBY_LOG(2, kModule, "移动需要覆盖的文件时没找到对应的文件(%s)", from.c_str());
                else TRENBY_LOG(2, kModule, "移动新添加的文件时没找到对应的文件(%s)", from.c_str());
                return false;
            }
            if (!MoveFileReplace(from, target + name)) {
                TRENBY_LOG(2, kModule, "move failed %s", from.c_str());
                return false;
            }
            TRENBY_LOG(0, kModule, "将文件%s移动到%s", from.c_str(), (target + name).c_str());
        }
        return true;
    };
    TRENBY_LOG(0, kModule, "开始移动新添加的图片");
    if (!move(m_add, false)) return false;
    TRENBY_LOG(0, kModule, "开始覆盖改变的图片");
    if (!move(m_overlay, true)) return false;
    return SaveWebConifgFile();
}

void CResUpdateHaveImage::ClearTempFile() {
    RemoveTree(TempFolder());
}
