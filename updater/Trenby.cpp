#include "Trenby.h"

#include "ClientDataUpdate.h"
#include "DownloadSoftware.h"
#include "ResUpdate.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

void RunTrenby(UpdaterEnv& env, const std::string& commandLine) {
    CClientDataUpdate dataUpdate(env);
    CLogStatistics statistics(env);
    CDownloadSoftware download(env);

    if (dataUpdate.CheckDownloadConfig() && dataUpdate.DownloadServerConfig() == 1) env.config->Reload();
    statistics.SendStartLog(commandLine);
    download.Update();
    {
        CResUpdateMgr resources(env);
        resources.Update();
    }
    DeleteOldLogFiles(env);
}
