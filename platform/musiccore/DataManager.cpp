#include "ZqMusicCore.h"

#include <map>
#include <mutex>

#include "ThreadAnnotations.h"
#include "ZqLog.h"

namespace {

class CDataManager final : public IDataManager {
public:
    bool RegisterModule(const char* name, IData* module) override {
        if (!name || !*name || !module) return false;
        varnet::MutexLock lock(mutex_);
        if (!modules_.emplace(name, module).second) {
            PJ_Log("MusicCore.txt", LOG_FAILURE, "CDataManager::RegisterModule", "module %s already registered", name);
            return false;
        }
        return true;
    }

    bool UnregisterModule(const char* name) override {
        if (!name) return false;
        varnet::MutexLock lock(mutex_);
        return modules_.erase(name) > 0;
    }

    IData* GetModule(const char* name) override {
        if (!name) return nullptr;
        varnet::MutexLock lock(mutex_);
        auto it = modules_.find(name);
        return it == modules_.end() ? nullptr : it->second;
    }

    void ReleaseModules() override {
        varnet::MutexLock lock(mutex_);
        modules_.clear();
    }

private:
    varnet::Mutex mutex_;
    std::map<std::string, IData*> modules_ GUARDED_BY(mutex_);
};

}  // namespace

IDataManager* AfxGetDataManager() {
    static CDataManager manager;
    return &manager;
}
