#include "UpdaterEnv.h"

#include <sys/stat.h>

#include <ctime>

#include "UpdateTipDlg.h"
#include "Win32.h"
#include "ZqHttp.h"
#include "ZqHttpRequestMgr.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

int64_t UpdaterEnv::Now() const {
    return now ? now() : static_cast<int64_t>(std::time(nullptr));
}

void UpdaterEnv::Pause(DWORD ms) const {
    if (sleep) sleep(ms);
    else ::Sleep(ms);
}

namespace {

class PropertyMainWindowLink final : public IMainWindowLink {
public:
    explicit PropertyMainWindowLink(const char* property) : m_property(property) {}
    bool Find() override { return !FindWindowPropertySocket(m_property.c_str()).empty(); }
    bool Post(UINT msg, WPARAM wParam, LPARAM lParam) override {
        return PostMessageToProperty(m_property.c_str(), msg, wParam, lParam, 200) != FALSE;
    }

private:
    std::string m_property;
};

}  // namespace

bool StartInstallerFile(const std::string& folder, const std::string& file) {
    std::string dir = Dir::ToNativePath(folder);
    std::string path = dir + Charset::GbkToUtf8(file);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if ((st.st_mode & S_IXUSR) == 0) chmod(path.c_str(), st.st_mode | S_IXUSR);
    return StartProcess(path, {}, dir) > 0;
}

std::unique_ptr<IMainWindowLink> MakePropertyMainWindowLink(const char* property) {
    return std::make_unique<PropertyMainWindowLink>(property ? property : kMainWndProperty);
}

UpdaterEnv MakeDefaultUpdaterEnv(std::unique_ptr<IMainWindowLink>& link) {
    link = MakePropertyMainWindowLink(kMainWndProperty);
    UpdaterEnv env;
    env.config = AfxGetConfigManager();
    env.http = AfxGetHttpRequestMgr();
    env.syncHttp = GetZqHttpMgr();
    env.mainWindow = link.get();
    env.installDir = Dir::GetZqPath(100);
    env.userDir = Dir::GetZqPath(107);
    env.logDir = Dir::GetZqPath(110);
    env.downloadDir = Dir::GetZqPath(113);
    env.killMainProgram = [] { KillProcessByName("Varnet"); };  // the main program's executable name
    env.launchInstaller = StartInstallerFile;
    env.remindInstall = ShowUpdateTipDlg;
    return env;
}
