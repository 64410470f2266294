// The catalogue update: once per UTC day, fetch the version file, fetch the conf of every catalogue whose
// version rose, work out by item which pictures to add, replace or delete, download the new pictures into
// a temporary folder, and only when everything arrived move them into place, write the confs and the
// version file, and tell the main window which catalogues changed.
//
// Threads: everything runs on the updater thread except the observer operations of CResUpdateHaveImage,
// which run on the request manager's thread and only touch the fields under m_lock and the shared event.
#pragma once

#include <json/json.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "UpdaterEnv.h"
#include "Win32Sync.h"
#include "ZqHttpRequestMgr.h"
#include "ThreadAnnotations.h"

// One catalogue item: its version and the URLs of its files (fname, smallfname, swffname order).
struct STRU_RESUPDATE_ITEM_INFO {
    unsigned version = 0;
    std::vector<std::string> urls;
};
using ResItemMap = std::map<unsigned, std::unique_ptr<STRU_RESUPDATE_ITEM_INFO>>;

// Tries and pauses of the fetches: UpdateFailTryNum (3) and UpdateFailTryIntervalTime (100 ms).
struct ResTries {
    int count = 3;
    int intervalMs = 100;
};

class CResUpdate {
public:
    // `tries` belongs to the manager, which reads it from the configuration at the start of each run.
    CResUpdate(UpdaterEnv& env, const ResTries& tries) : m_env(env), m_tries(tries) {}
    virtual ~CResUpdate() = default;

    virtual bool Update() = 0;
    virtual bool CopyTempFile() = 0;
    virtual int TypeBit() const = 0;
    virtual void ClearTempFile();
    virtual const char* TypeName() const = 0;
    virtual const char* ConfName() const = 0;

    void SetConfUrl(const std::string& url) { m_strConfUrl = url; }
    void SetNeedUpdate(bool need) { m_bNeedUpdate = need; }
    bool NeedUpdate() const { return m_bNeedUpdate; }
    const std::string& ConfText() const { return m_confText; }

protected:
    bool LoadWebConfigFile();
    bool TryLoadWebConfigFile();
    bool SaveWebConifgFile();
    std::string ResFolder() const { return m_env.installDir + "res/"; }

    UpdaterEnv& m_env;
    const ResTries& m_tries;
    std::string m_strConfUrl;
    std::string m_confText;  // the downloaded conf, as it came
    bool m_bHaveConf = false;
    bool m_bNeedUpdate = false;
};

// Catalogues kept as text files: power, wordfilter, city.
class CResUpdateNotHaveImage : public CResUpdate {
public:
    using CResUpdate::CResUpdate;
    bool Update() override { return TryLoadWebConfigFile(); }
    bool CopyTempFile() override { return SaveWebConifgFile(); }
};

// Catalogues with pictures.
class CResUpdateHaveImage : public CResUpdate, public IZqHttpRequestObserver {
public:
    // `event` is the manual-reset event shared by every picture download of the run.
    CResUpdateHaveImage(UpdaterEnv& env, const ResTries& tries, CEvent& event)
        : CResUpdate(env, tries), m_event(event) {}

    bool Update() override;
    bool CopyTempFile() override;
    void ClearTempFile() override;
    // The item's file names in key order (present, non-empty); false for a name that is not a plain file name.
    virtual bool LoadItemFromJson(const Json::Value& item, std::vector<std::string>& names);
    virtual const char* ListKey() const = 0;
    virtual const char* ImageFolder() const = 0;  // "gift/"
    virtual std::vector<const char*> FileKeys() const = 0;

    // Items of a conf by id; false when the list is missing or an item is broken (what could be read is kept).
    bool LoadFromJson(const Json::Value& conf, ResItemMap& out);

    void HttpRequestOb_DownloadStopped(int taskId) override;
    void HttpRequestOb_DownloadFileFinished(int taskId, std::string filePath, int fileSize) override;
    void HttpRequestOb_DownloadFailed(int taskId, int errorCode) override;
    void HttpRequestOb_DownloadProgress(int taskId, int totalSize, int curSize, int speed) override;

protected:
    std::string TempFolder() const { return m_env.downloadDir + "res/" + ImageFolder(); }
    bool CmpConfigFile(const Json::Value& oldConf, const Json::Value& newConf);
    void SaveNeed(const STRU_RESUPDATE_ITEM_INFO& item, std::vector<std::string>& list, const char* what);
    bool UpdateItems();
    bool TryUpdateItem(const std::string& localPath, const std::string& url);
    bool DownloadOne(const std::string& localPath, const std::string& url);
    void Finish(int taskId, bool ok);

    CEvent& m_event;
    std::map<std::string, std::string> m_downloads;  // temporary path -> URL
    std::vector<std::string> m_delete, m_add, m_overlay;
    std::set<std::string> m_keep;  // names the new conf still uses

    varnet::Mutex m_lock;  // guards the two fields below
    int m_nTaskId GUARDED_BY(m_lock) = 0;
    bool m_bResult GUARDED_BY(m_lock) = false;
    bool m_bOversize GUARDED_BY(m_lock) = false;  // past kMaxPictureBytes: stopped, never a result

public:
    // A catalogue picture is at most this large, and one try of it lasts at most kPictureWaitMs.
    static constexpr int kMaxPictureBytes = 8 << 20;
    static constexpr DWORD kPictureWaitMs = 120000;
};

// The twelve catalogues in processing order.
class CResUpdateMgr {
public:
    explicit CResUpdateMgr(UpdaterEnv& env);
    ~CResUpdateMgr();

    void Update();

    // The resource-type mask of the last successful run (0 when none changed or the run failed).
    int LastMask() const { return m_nLastMask; }

private:
    bool CheckNeedUpdateVersion();
    bool TryGetNewVersion();
    bool GetNewVersion();
    void GetOldVeision();
    bool IsNeedUpdate(CResUpdate& updater);
    bool SaveVersionConfig();
    void ChangeNextUpdateTime(bool success);
    void NotifyVarnetResChange(int mask);

    UpdaterEnv& m_env;
    ResTries m_tries;
    CEvent m_event{true, false};  // "VarnetResUpdate": manual-reset
    std::vector<std::unique_ptr<CResUpdate>> m_updaters;
    std::string m_versionText;
    Json::Value m_newVersion;
    Json::Value m_oldVersion;
    int m_nLastMask = 0;
};
