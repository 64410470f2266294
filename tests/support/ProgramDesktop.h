// What the tests that run the program Varnet on the test display against the local stack share: a fixture
// that skips without VARNET_TEST_DISPLAY, its user data and installation, the running program (killed when a
// step fails), skins laid out headless to find where their controls are, and the lobby's common steps.
// Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <gdk/gdk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "RoomService.h"
#include "TestKeys.h"
#include "UITestDriver.h"
#include "WebService.h"
#include "Win32.h"
#include "XvfbDesktop.h"
#include "ZqLib.h"
#include "ZqWindowBase.h"
#include "TestUtil.h"

namespace desktoptest {

inline std::string Utf8(const char* gbk) {
    return Charset::GbkToUtf8(gbk);
}

// The visible top-level window whose (UTF-8) title is exactly `title` (a pattern); false when none.
inline bool FindTitle(const std::string& title, RECT& rc) {
    return FindWindow("^" + title + "$", rc);
}

inline void Xdo(const std::string& args) {
    EXPECT_EQ(system(("xdotool " + args + " >/dev/null 2>&1").c_str()), 0) << args;
}

// Moves the pointer to `pt` of the window at `wnd` and clicks `button` there after the pointer rested.
inline void ClickRested(const RECT& wnd, POINT pt, int button = 1) {
    Xdo("mousemove " + std::to_string(wnd.left + pt.x) + " " + std::to_string(wnd.top + pt.y) + " sleep 0.2 click " +
        std::to_string(button));
}

inline POINT Mid(const RECT& r) {
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A skin laid out headless at a size, to find where its controls are. `make` makes the skin's custom
// controls (null: the skin's own fallback).
class SkinLayout : public DuiLib::WindowImplBase {
public:
    using Maker = std::function<DuiLib::CControlUI*(const char* cls)>;
    explicit SkinLayout(const char* file, Maker make = {}) : m_file(file), m_make(std::move(make)) {}
    const char* GetWindowClassName() const override { return "SkinLayout"; }
    DuiLib::CControlUI* CreateControl(const char* cls) override { return m_make ? m_make(cls) : nullptr; }
    // Lays the skin out at w x h (made at the first call).
    void LayOut(int w, int h) {
        if (!GetHWND()) Create(nullptr, "layout", 0, 0, 0, 0, w, h);
        m_PaintManager.UpdateLayout();
    }
    DuiLib::CControlUI* Find(const char* name) {
        DuiLib::CControlUI* c = m_PaintManager.FindControl(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    RECT Rect(const char* name) {
        DuiLib::CControlUI* c = Find(name);
        return c ? c->GetPos() : RECT{0, 0, 0, 0};
    }
    POINT Center(const char* name) {
        POINT pt{-1, -1};
        EXPECT_TRUE(DuiLib::UITest::CenterOf(this, name, pt)) << name;
        return pt;
    }
    // Lays out at w x h and gives the centre of `name`.
    POINT At(int w, int h, const char* name) {
        LayOut(w, h);
        return Center(name);
    }

protected:
    DuiLib::CDuiString GetSkinFile() override { return m_file; }
    ZQ_SKIN_ANSWERS()
    DuiLib::CDuiString m_file;
    Maker m_make;
};

// The centre of `name` in `skin` laid out at w x h.
inline POINT At(const char* skin, int w, int h, const char* name, SkinLayout::Maker make = {}) {
    SkinLayout layout(skin, std::move(make));
    return layout.At(w, h, name);
}

// The lobby's skin at the program's size with the home page shown; its first room link (at 10,10 of the
// page, 140 x 60) enters room 3003 of the local web service's page.
inline POINT FirstRoomLink(SkinLayout& lobbySkin) {
    if (!lobbySkin.GetHWND()) lobbySkin.Create(nullptr, "layout", 0, 0, 0, 0, 800, 572);
    if (auto* c = lobbySkin.Find("horLoadingWebUI")) c->SetVisible(false);
    if (auto* c = lobbySkin.Find("horMainFrameHtml")) c->SetVisible(true);
    lobbySkin.LayOut(800, 572);
    RECT page = lobbySkin.Rect("horMainFrameHtml");
    return POINT{page.left + 10 + 70, page.top + 10 + 30};
}

// The user.ini of user data at `data` pointing at the local services; `loginPages`: also the web login and
// register pages; `moreServers`: further "key=value" lines of the server list.
inline void WriteUserIni(const std::string& data, testenv::RoomService& service, testenv::WebService& web,
                         bool loginPages, const std::string& moreServers = "") {
    std::ofstream ini(data + "/user.ini");
    ini << "[ZqServerList]\nLiveServer=" << service.Endpoint()
        << "\nHomePageUrl=" << web.Url(testenv::WebService::kHomePath)
        << "\nDnsLookup=" << web.Url(testenv::WebService::kIpListPath) << "\nRegSvr=" << web.Server().BaseUrl();
    if (loginPages)
        ini << "\nThirdPartUrl=" << web.Url(testenv::WebService::kLoginPath)
            << "\nWebRegisterSvr=" << web.Url(testenv::WebService::kRegisterPath);
    ini << "\nCrashReportSvr=" << web.Url(testenv::WebService::kCrashPath);
    if (!moreServers.empty()) ini << "\n" << moreServers;
    ini << "\n[Sign]\nKeyA=" << testenv::kRoomServiceKeyA << "\nKeyB=" << testenv::kRoomServiceKeyB
        << "\n[config]\nversion=1.0.0.1\n";
}

// An installation of its own at `install`: links to the build's programs and a copy of their resources (the
// updater writes its catalogue there); without `updater`, links to everything but the updater.
inline void MakeInstall(const std::filesystem::path& install, bool updater = true) {
    namespace fs = std::filesystem;
    const fs::path bin = VARNET_BINARY_DIR "/bin";
    const char* skipped = updater ? "res" : "Trenby";
    fs::create_directories(install);
    for (const auto& e : fs::directory_iterator(bin))
        if (e.path().filename() != skipped) fs::create_symlink(e.path(), install / e.path().filename());
    if (updater) fs::copy(bin / "res", install / "res", fs::copy_options::recursive);
}

// The program bin/Varnet with user data `data` and installation `install`; a program still running when the
// object goes (a failed step) is stopped, and killed when it does not end within 5 s.
class Program {
public:
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() { Stop(); }

    // Ends a program still running: stopped, and killed when it does not end within 5 s.
    void Stop() {
        if (m_pid <= 0 || Exited()) return;
        kill(m_pid, SIGTERM);
        if (!WaitFor([this] { return Exited(); }, 5000)) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_reaped = true;
        }
    }

    // Starts it with `env` set besides the folders and the command-line argument `arg` (none when empty);
    // false when it could not be forked.
    bool Start(const std::string& data, const std::string& install,
               const std::vector<std::pair<std::string, std::string>>& env = {}, const std::string& arg = "") {
        m_data = data;
        std::filesystem::create_directories(data + "/run");
        std::filesystem::permissions(data + "/run", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        m_pid = fork();
        if (m_pid == 0) {
            setenv("VARNET_DATA_DIR", data.c_str(), 1);
            setenv("VARNET_INSTALL_DIR", install.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (data + "/run").c_str(), 1);
            setenv("NO_AT_BRIDGE", "1", 1);
            for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
            if (arg.empty()) execl(VARNET_BINARY_DIR "/bin/Varnet", "Varnet", (char*)nullptr);
            else execl(VARNET_BINARY_DIR "/bin/Varnet", "Varnet", arg.c_str(), (char*)nullptr);
            _exit(127);
        }
        return m_pid > 0;
    }
    pid_t Pid() const { return m_pid; }
    bool Exited() { return m_reaped || (m_reaped = waitpid(m_pid, &m_status, WNOHANG) == m_pid); }
    // The wait status once Exited(); -1 before.
    int Status() const { return m_status; }
    // The text of the program's log file `file`.
    std::string Log(const char* file) const { return ReadFile(m_data + "/log/" + file); }

private:
    std::string m_data;
    pid_t m_pid = -1;
    int m_status = -1;
    bool m_reaped = false;
};

// Types `user` and `password` into the login dialog at `login` and clicks its login button.
inline void SignIn(const RECT& login, const char* user, const char* password) {
    SkinLayout skin("LoginSkin.xml");
    skin.LayOut(410, 315);
    for (auto [field, text] : {std::pair{"UserNameEdit", user}, std::pair{"PassWordEdit", password}}) {
        ClickRested(login, skin.Center(field));
        Xdo("key ctrl+a");
        Xdo(std::string("type --delay 30 '") + text + "'");
    }
    ClickRested(login, skin.Center("LoginBTN"));
}

// The home page of the lobby has loaded (its log says so).
inline bool HomePageLoaded(const Program& program) {
    return program.Log("VarnetFrame.txt").find(Utf8("第一次加载成功，通知主窗体")) != std::string::npos;
}

// Clicks the lobby's close button and confirms the prompt; false when no prompt came.
inline bool QuitFromLobby(const RECT& lobby, SkinLayout& lobbySkin) {
    ClickRested(lobby, lobbySkin.Center("CloseBTN"));
    RECT tip;
    if (!WaitFor([&] { return FindTitle(Utf8("泽嘉提示"), tip); })) return false;
    usleep(200000);
    ClickRested(tip, At("SoftCloseTipSkin.xml", 300, 150, "btnOK"));
    return true;
}

// The tests of the program on the test display: skipped without VARNET_TEST_DISPLAY or xdotool; `shots`
// is the folder of their screenshots.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay({"xdotool"}); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(gdk_init_check(nullptr, nullptr));
        Win32Init();
        DuiLib::CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        std::filesystem::create_directories(shots);
    }

    const std::string shots = VARNET_BINARY_DIR "/screenshots";
};

}  // namespace desktoptest
