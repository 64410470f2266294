// Varnet: the main program. Starts up in a fixed order, shows the login dialog, then the lobby with the
// message loop, and shuts down in a fixed order (also after a cancelled login).
//   Varnet [/trayrun]
#include <glib-unix.h>
#include <glib.h>
#include <malloc.h>
#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>

#include "CrashHandler.h"
#include "GlobalData.h"
#include "Grabbel.h"
#include "LoginDlg.h"
#include "MsgClientThread.h"
#include "RoomChatIPCheck.h"
#include "RoomManager.h"
#include "RoomWindow.h"
#include "StartUp.h"
#include "TrayIcon.h"
#include "UIBackendGtk.h"
#include "UpdateClientID.h"
#include "VarnetFrameWnd.h"
#include "WebView.h"
#include "Win32.h"
#include "ZqHttp.h"
#include "ZqLib.h"
#include "ZQCommands.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace {
const char kSpeed[] = "Speed.txt";
const DWORD kFrameStyle = 0x10000000u | 0x00CF0000u;    // WS_VISIBLE | WS_OVERLAPPEDWINDOW
const DWORD kFrameExStyle = 0x00040000u | 0x00020000u;  // WS_EX_APPWINDOW | WS_EX_STATICEDGE

int StartInstaller(const std::string& cmdline, const std::string& folder) {
    return utility::win32exec(cmdline, folder, false);
}

// SIGTERM and SIGINT end the innermost UI loop, and so every loop out to the message loop (a modal loop
// posts the quit again for the loop outside it); the lobby then closes in order as its close button does.
gboolean OnQuitSignal(gpointer signal) {
    PJ_Log(kSpeed, 0, "main", "signal %d: quitting", GPOINTER_TO_INT(signal));
    ::PostQuitMessage(0);
    return G_SOURCE_CONTINUE;
}
}  // namespace

int main(int argc, char** argv) {
    // Two malloc arenas for every thread: the short-lived threads of the start-up (the toolkit's font
    // matching, the address-list lookup) would otherwise leave one arena each, its pages mostly unused.
    mallopt(M_ARENA_MAX, 2);
    InstallCrashHandler();
    std::string cmdline;
    for (int i = 1; i < argc; ++i) cmdline += (i > 1 ? " " : "") + std::string(argv[i]);
    bool tray = cmdline.find("/trayrun") != std::string::npos;

    // 1. The UI library and where skins come from.
    std::string install = Dir::GetZqPath(100);
    CPaintManagerUI::SetInstance(nullptr);
    CPaintManagerUI::SetInstancePath(install.c_str());
    CPaintManagerUI::SetResourcePath((install + "Skin/").c_str());
    CPaintManagerUI::SetResourceZip("VarnetSkin.zip");
    // 2. Process state (its icon once the window runtime is up).
    CGlobalDataApp& global = CGlobalDataApp::GetInstance();
    global.SetCommandLine(cmdline);
    SetCameraCountProvider(&Grabbel::CameraCount);  // the enter-room request counts the cameras
    // 3. The window runtime on this thread and the display.
    if (!Win32Init() || !UIBackendGtkInit()) {
        std::fprintf(stderr, "Varnet: cannot open the display\n");
        return 1;
    }
    global.LoadAppIcon();
    // The crash handler stays in place: the libraries that take signals (the toolkit now, the web engine and
    // the sound system later) may have replaced it; the UI loop puts it back now and then.
    KeepCrashHandler();
    g_timeout_add_seconds(
        2,
        [](gpointer) -> gboolean {
            if (int n = KeepCrashHandler()) PJ_Log(kSpeed, 0, "main", "crash handlers put back: %d", n);
            return G_SOURCE_CONTINUE;
        },
        nullptr);
    for (int sig : {SIGTERM, SIGINT}) g_unix_signal_add(sig, OnQuitSignal, GINT_TO_POINTER(sig));
    webview::SetDefaultEngine(webview::Engine::WebKit);
    // "/trayrun" starts hidden in the tray; a desktop without any tray shows the login dialog instead.
    if (EnableDesktopTray() == DesktopTray::NoTray && tray) {
        std::fprintf(stderr, "Varnet: the desktop has no tray; the login dialog is shown\n");
        tray = false;
    }
    // 4. A newer downloaded installer takes over.
    if (RunSilentUpdate(StartInstaller)) {
        CPaintManagerUI::Term();
        return 0;
    }
    // 6. Logging and the HTTP manager.
    LogInit("Varnet");
    std::string version;
    AfxGetConfigManager()->GetString("config", "version", version, "");
    LogSetVersion(version);
    PJ_Log(kSpeed, 0, "main", "WinMain LogInit");
    InitZqHttpMgr();
    PJ_Log(kSpeed, 0, "main", "WinMain InitZqHttpMgr");
    // 7. Installation-ID registration.
    {
        CUpdateClientID reg;
        reg.CheckFirstStart();
        if (reg.CheckApplyID()) reg.GetIDFromServer();
    }
    // 8. The request worker.
    CMsgClientThread& worker = CMsgClientThread::GetInstance();
    if (worker.Start() == 0) PJ_Log(kSpeed, 2, "main", "WinMain request worker not started");
    PJ_Log(kSpeed, 0, "main", "WinMain InitIEProxy");
    // 10. LogMsg/realloglevel "debug": the crash handler's fuller dump type (detailed logging stays with
    // VARNET_LOG_DEBUG).
    if (IsDebugLogLevel()) {
        PJ_Log(kSpeed, 0, "main", "WinMain full crash dumps");
        SetCrashDumpType(1);
    }
    // 12. Saved volumes.
    LoadRoomAudioSettings();

    // 14. Login. 11. DNS pre-resolution and 13. the updater once the dialog stands: neither is waited for,
    // and the dialog comes up without them (and without loading the HTTP library for them).
    auto login = std::make_unique<CLoginDlg>(nullptr, tray ? CLoginDlg::kModeTray : CLoginDlg::kModeNormal);
    int result = RunLoginDialog(*login, tray, [&global] {
        CRoomChatIPCheck::GetInstance()->Start();
        global.StartUpdater();
    });
    PJ_Log(kSpeed, 0, "main", "WinMain login result %d", result);
    // 15. The lobby and the message loop.
    if (result == 1) {
        roomui::CRoomUI roomWindow;  // outlives the frame and its room manager
        auto frame = std::make_unique<CVarnetFrameWnd>(std::make_unique<CRoomManager>(&roomWindow));
        if (frame->Create(nullptr, "泽秀美女视频", kFrameStyle, kFrameExStyle, 0, 0, 800, 572)) {
            frame->CenterWindow();
            CPaintManagerUI::MessageLoop();
            frame->CloseInOrder();  // nothing when the lobby was closed by the user
        }
        if (::IsWindow(frame->GetHWND())) ::DestroyWindow(frame->GetHWND());
        frame.reset();
    }

    // Shutdown.
    worker.Stop();
    PJ_Log(kSpeed, 0, "main", "WinMain request worker stopped");
    AfxGetDataManager()->ReleaseModules();
    AfxGetDataDllManager()->FreeDataDlls();
    CRoomChatIPCheck::GetInstance()->Stop();
    UninitZqHttpMgr();
    CPaintManagerUI::Term();
    PJ_Log(kSpeed, 0, "main", "WinMain shutdown done");
    AfxReleaseConfigManager();
    login.reset();
    return 0;
}
