// What the updater's jobs run against: the configuration store, the two HTTP layers, the clock, the
// folders, the main program's window and the process hooks. The program fills it with the real ones
// (MakeDefaultUpdaterEnv); tests put in temporary folders, a fake clock and their own hooks.
//
// Threads: the jobs run on one thread (the updater's). The HTTP request manager calls the observers on its
// own threads; those only touch the observers' guarded fields, the main window's Post and the log.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Win32Types.h"

class IConfigManager;
class IZqHttpRequestMgr;
class IZqHttpMgr;

// Messages posted to the main program's window (wParam, lParam as numbers).
enum {
    WM_RES_CHANGED = 1130,           // wParam: resource-type mask of the replaced catalogues
    WM_FORCE_UPDATE = 1132,          // wParam: 1 a forced download starts, 0 it has ended
    WM_FORCE_UPDATE_PROGRESS = 1133  // wParam: percent 0..100, lParam: seconds left
};

// The window property by which the main program's window is found.
constexpr const char kMainWndProperty[] = "VarnetMainWnd";

// The main program's current top window, reached across processes.
class IMainWindowLink {
public:
    virtual ~IMainWindowLink() = default;
    // True when a window carries the property now. Updater thread.
    virtual bool Find() = 0;
    // Posts to it; false when no window takes it. Any thread; returns within a short bounded time.
    virtual bool Post(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
};

// The link through the window runtime's published property (PostMessageToProperty).
std::unique_ptr<IMainWindowLink> MakePropertyMainWindowLink(const char* property = kMainWndProperty);

struct UpdaterEnv {
    IConfigManager* config = nullptr;
    IZqHttpRequestMgr* http = nullptr;  // requests and downloads
    IZqHttpMgr* syncHttp = nullptr;     // the statistics line
    IMainWindowLink* mainWindow = nullptr;

    // Folders, GBK with a trailing '/': installation (catalogues under "res/"), user data ("config.ini"),
    // logs, update downloads.
    std::string installDir;
    std::string userDir;
    std::string logDir;
    std::string downloadDir;

    // Seconds since 1970 UTC.
    std::function<int64_t()> now;
    // Pauses of the jobs (after failed tries, before the window search).
    std::function<void(DWORD ms)> sleep;
    // Longest wait for one try of a download (half an hour in the program; a catalogue picture's try is
    // shorter still, CResUpdateHaveImage::kPictureWaitMs).
    DWORD downloadWaitMs = 1800000;

    // Ends the running main program before an installer runs.
    std::function<void()> killMainProgram;
    // Runs the installer `file` (a checked plain name) of `folder`; false when it could not start.
    std::function<bool(const std::string& folder, const std::string& file)> launchInstaller;
    // Shows the update reminder modally: 1 install now, 2 later.
    std::function<int()> remindInstall;
    // Creation and modification time (seconds UTC) of a log file, native path; false when unknown.
    std::function<bool(const std::string& nativePath, int64_t& created, int64_t& modified)> fileTimes;

    // Test hook, called at named points of a file replacement ("replace-write" halfway through writing the
    // temporary file, "replace-rename" just before the rename) with the target's native path.
    std::function<void(const char* point, const std::string& nativePath)> fault;

    int64_t Now() const;
    int Today() const { return static_cast<int>(Now() / 86400); }
    void Pause(DWORD ms) const;
};

// Starts the installer `file` of `folder` as a program (made executable for its owner), in that folder;
// nothing waits for it. False when it is not a regular file or cannot start.
bool StartInstallerFile(const std::string& folder, const std::string& file);

// The program's environment: the process-wide managers, the system folders, the real clock, the
// property link (kept in `link`), the process hooks and the reminder dialog.
UpdaterEnv MakeDefaultUpdaterEnv(std::unique_ptr<IMainWindowLink>& link);

// Log lines of the updater go to "Trenby.txt".
#define TRENBY_LOG(level, module, ...) PJ_Log("Trenby.txt", (level), (module), __VA_ARGS__)
