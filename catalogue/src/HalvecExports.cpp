// The plug-in's entry points, called by the data-library manager after loading and before unloading.
#include <memory>
#include <mutex>

#include "Halvec.h"
#include "ThreadAnnotations.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

varnet::Mutex g_mutex;
CHalvec* g_halvec GUARDED_BY(g_mutex) = nullptr;  // the one instance

}  // namespace

extern "C" __attribute__((visibility("default"))) bool ZqDllInit() {
    try {
        varnet::MutexLock lock(g_mutex);
        if (g_halvec) return true;
        auto halvec = std::make_unique<CHalvec>();
        halvec->Attach(Dir::GetZqPath(100));
        if (!AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, halvec.get())) {
            PJ_Log("Halvec.txt", LOG_FAILURE, "ZqDllInit", "cannot register %s", HALVEC_MODULE_NAME);
            halvec->ClearAll();
            return false;
        }
        g_halvec = halvec.release();
        return true;
    } catch (...) {
        PJ_Log("Halvec.txt", LOG_IMPOSSIBLE, "ZqDllInit", "unexpected exception");
        return false;
    }
}

extern "C" __attribute__((visibility("default"))) void ZqDllExit() {
    try {
        varnet::MutexLock lock(g_mutex);
        if (!g_halvec) return;
        AfxGetDataManager()->UnregisterModule(HALVEC_MODULE_NAME);
        g_halvec->ClearAll();
        delete g_halvec;
        g_halvec = nullptr;
    } catch (...) {
        PJ_Log("Halvec.txt", LOG_IMPOSSIBLE, "ZqDllExit", "unexpected exception");
    }
}
