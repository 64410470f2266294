// Trenby: started by the main program at each of its starts, with the main program's command line.
#include <string>

#include "Trenby.h"
#include "UIlib.h"
#include "UpdaterEnv.h"
#include "ZqHttp.h"
#include "ZqHttpRequestMgr.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

int main(int argc, char** argv) {
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    DuiLib::CPaintManagerUI::SetInstance(nullptr);  // the reminder's skins lie beside the program
    LogInit("Varnet");
    InitZqHttpMgr();
    TRENBY_LOG(0, "_tWinMain", "WinMain InitZqHttpMgr");
    {
        std::unique_ptr<IMainWindowLink> link;
        UpdaterEnv env = MakeDefaultUpdaterEnv(link);
        RunTrenby(env, commandLine);
    }
    AfxReleaseHttpRequestMgr();
    UninitZqHttpMgr();
    AfxReleaseConfigManager();
    return 0;
}
