#include "ZqMusicCore.h"

#include <map>
#include <mutex>

#include "ZqLog.h"

namespace {

class CDataManager final : public IDataManager {
public:
    bool RegisterModule(const char* name, IData* module) override
    {
        if (!name || !*name || !module)
            return false;
        std::lock_guard<std::mutex> lock(mutex_);
        if (!modules_.emplace(name, module).second) {
            PJ_Log("MusicCore.txt", LOG_FAILURE, "CDataManager::RegisterModule", "module %s already registered", name);
            return false;
        }
        return true;
    }

    bool UnregisterModule(const char* name) override
    {
        if (!name)
            return false;
        std::lock_guard<std::mutex> lock(mutex_);
        return modules_.erase(name) > 0;
    }

    IData* GetModule(const char* name) override
    {
        if (!name)
            return nullptr;
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = modules_.find(name);
        return it == modules_.end() ? nullptr : it->second;
    }

    void ReleaseModules() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        modules_.clear();
    }

private:
    std::mutex mutex_;
    std::map<std::string, IData*> modules_;  // guarded by mutex_
};

}  // namespace

IDataManager* AfxGetDataManager()
{
    static CDataManager manager;
    return &manager;
}
