#include "ZqMusicCore.h"

#include <dlfcn.h>

#include <mutex>

#include "ThreadAnnotations.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

const char kLog[] = "MusicCore.txt";

using InitFn = bool (*)();
using ExitFn = void (*)();

struct LoadedDll {
    std::string path;
    void* handle = nullptr;
    ExitFn exit = nullptr;
};

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class CDataDllManager final : public IDataDllManager {
public:
    ~CDataDllManager() override = default;  // plug-ins still loaded at exit stay mapped

    int LoadDataDlls(int /*flag*/) override { return LoadDataDllsFrom(Dir::ToNativePath(Dir::GetCurrentPath())); }

    int LoadDataDllsFrom(const std::string& folder) override {
        std::string dir = folder;
        if (!dir.empty() && dir.back() != '/') dir += '/';
        for (const std::string& name : DataDllNames()) LoadDataDll(dir + DataDllFileName(name));
        varnet::RecursiveMutexLock lock(mutex_);
        return static_cast<int>(dlls_.size());
    }

    bool LoadDataDll(const std::string& path) override {
        varnet::RecursiveMutexLock lock(mutex_);
        for (const LoadedDll& dll : dlls_)
            if (BaseName(dll.path) == BaseName(path)) return true;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* err = dlerror();
            PJ_Log(kLog, LOG_FAILURE, "CDataDllManager::LoadDataDll", "cannot load %s: %s", path.c_str(),
                   err ? err : "?");
            return false;
        }
        auto init = reinterpret_cast<InitFn>(dlsym(handle, "ZqDllInit"));
        auto exit = reinterpret_cast<ExitFn>(dlsym(handle, "ZqDllExit"));
        if (!init || !exit) {
            PJ_Log(kLog, LOG_FAILURE, "CDataDllManager::LoadDataDll", "%s lacks ZqDllInit/ZqDllExit", path.c_str());
            dlclose(handle);
            return false;
        }
        if (!init()) {
            PJ_Log(kLog, LOG_FAILURE, "CDataDllManager::LoadDataDll", "ZqDllInit of %s failed", path.c_str());
            exit();
            dlclose(handle);
            return false;
        }
        dlls_.push_back({path, handle, exit});
        PJ_Log(kLog, LOG_INFO, "CDataDllManager::LoadDataDll", "loaded %s", path.c_str());
        return true;
    }

    void FreeDataDlls() override {
        varnet::RecursiveMutexLock lock(mutex_);
        while (!dlls_.empty()) {
            LoadedDll dll = dlls_.back();
            dlls_.pop_back();
            dll.exit();
            dlclose(dll.handle);
            PJ_Log(kLog, LOG_INFO, "CDataDllManager::FreeDataDlls", "freed %s", dll.path.c_str());
        }
    }

    std::vector<std::string> LoadedDataDlls() override {
        varnet::RecursiveMutexLock lock(mutex_);
        std::vector<std::string> names;
        for (const LoadedDll& dll : dlls_) names.push_back(BaseName(dll.path));
        return names;
    }

private:
    varnet::RecursiveMutex mutex_;
    std::vector<LoadedDll> dlls_ GUARDED_BY(mutex_);  // in load order
};

}  // namespace

IDataDllManager* AfxGetDataDllManager() {
    static CDataDllManager manager;
    return &manager;
}

const std::vector<std::string>& DataDllNames() {
    static const std::vector<std::string> names = {"Halvec"};
    return names;
}

std::string DataDllFileName(const std::string& name) {
    return "lib" + name + ".so";
}
