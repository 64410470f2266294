#include "StartUp.h"

#include <glib.h>
#include <sys/stat.h>

#include <vector>

#include "GlobalData.h"
#include "LoginDlg.h"
#include "Micrel.h"
#include "Tovel.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"

bool RunSilentUpdate(const std::function<int(const std::string&, const std::string&)>& start) {
    IConfigManager* cfg = AfxGetConfigManager();
    bool silent = false;
    cfg->GetBool("UpdateData", "SiLentUpdate", silent, false);
    if (!silent) return false;
    std::string file;
    cfg->GetString("UpdateData", "InstallSoftware", file, "");
    // A bare file name of the download folder: no folder part, nothing that leaves it.
    if (file.empty() || file.find('/') != std::string::npos || file.find('\\') != std::string::npos || file == "." ||
        file == "..")
        return false;
    std::string folder = Dir::GetZqPath(113);
    std::string path = folder + file;
    struct stat st;
    std::string native = Dir::ToNativePath(path);
    if (lstat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IXUSR)) return false;
    std::string running, downloaded;
    cfg->GetString("config", "version", running, "");
    cfg->GetString("Update", "version", downloaded, "");
    if (!(VersionToNumber(running) < VersionToNumber(downloaded))) return false;
    // Quoted, so that the command line is the one file whatever its name holds.
    int rc = start("\"" + path + "\"", folder);
    if (rc == -1) {
        PJ_Log("Speed.txt", 2, "main", "RunSilentUpdate: the installer did not start");
        return false;
    }
    return true;
}

bool IsDebugLogLevel() {
    std::string level;
    AfxGetConfigManager()->GetString("LogMsg", "realloglevel", level);
    return level == "debug";
}

RoomAudioVolumes ReadRoomAudioSettings() {
    IConfigManager* cfg = AfxGetConfigManager();
    RoomAudioVolumes v;
    auto read = [&](const char* muteKey, const char* valueKey) {
        int mute = 0, value = 80;
        cfg->GetInt("RoomAudioSetSection", muteKey, mute);
        cfg->GetInt("RoomAudioSetSection", valueKey, value);
        if (mute == 1) return 0;
        return (unsigned)value >= 101u ? 80 : value;
    };
    v.playback = read("AudioMute", "AudioValue");
    v.microphone = read("MicMute", "MicValue");
    return v;
}

void LoadRoomAudioSettings() {
    RoomAudioVolumes v = ReadRoomAudioSettings();
    Tovel::SetVolume((BYTE)v.playback);
    Micrel::SetVolume((BYTE)v.microphone);
}

namespace {

// Runs a task once, from the loop after the window's first paint (the paint itself is not held up).
class AfterFirstPaint : public DuiLib::IMessageFilterUI {
public:
    explicit AfterFirstPaint(std::function<void()> task) : m_task(std::move(task)) {}
    ~AfterFirstPaint() override {
        if (m_idle) g_source_remove(m_idle);
    }
    LRESULT MessageHandler(UINT msg, WPARAM, LPARAM, bool&) override {
        if (msg == WM_PAINT && m_task && !m_idle) m_idle = g_idle_add(OnIdle, this);
        return 0;
    }
    void Run() {
        if (m_idle) g_source_remove(m_idle), m_idle = 0;
        if (!m_task) return;
        auto task = std::move(m_task);
        m_task = nullptr;
        task();
    }

private:
    static gboolean OnIdle(gpointer p) {
        auto* self = static_cast<AfterFirstPaint*>(p);
        self->m_idle = 0;
        self->Run();
        return G_SOURCE_REMOVE;
    }
    std::function<void()> m_task;
    guint m_idle = 0;
};

}  // namespace

int RunLoginDialog(CLoginDlg& login, bool tray, const std::function<void()>& afterDrawn) {
    const DWORD style = 0x80000000u | 0x10000000u | 0x04000000u | 0x02000000u | 0x00C00000u | 0x00080000u;
    int result = 2;
    AfterFirstPaint after(afterDrawn);
    DuiLib::CPaintManagerUI* pm = login.PaintManagerForBackend();
    if (pm) pm->AddMessageFilter(&after);
    if (login.Create(nullptr, "登录对话框", tray ? style & ~0x10000000u : style, 0, 0, 0, 410, 315)) {
        if (tray) after.Run();
        result = (int)login.ShowModal();
    }
    if (pm) pm->RemoveMessageFilter(&after);
    after.Run();
    if (::IsWindow(login.GetHWND())) ::DestroyWindow(login.GetHWND());
    return result;
}
