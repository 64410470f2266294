// The real program on the test display against the local room and web services and the chat server: sign
// in as a guest by clicking, see the lobby with the directory and the home page, click a room link in the
// page and see the room manager enter it (its room logic joins the room's chat channel), quit
// and see the process end after its shutdown; a second start meanwhile ends at once. Screenshots of the
// login dialog and the lobby go under the build folder. Beside it runs the local update service with a
// changed gift catalogue: the updater that the program starts finds it and the lobby reloads it. Skipped
// without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gdk/gdk.h>
#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "ChatServer.h"
#include "RoomNavListUI.h"
#include "RoomService.h"
#include "TestKeys.h"
#include "UITestDriver.h"
#include "UpdateService.h"
#include "WebService.h"
#include "XvfbDesktop.h"
#include "Win32.h"
#include "ZqWindowBase.h"
#include "TestUtil.h"

using namespace DuiLib;

namespace {

using desktoptest::Click;
using desktoptest::ReadFile;
using desktoptest::Screenshot;
using desktoptest::Shell;
using desktoptest::WaitFor;

// Screen rectangle of the top-level window with this (UTF-8) title; false when there is none.
bool FindWindow(const std::string& title, RECT& rc) {
    return desktoptest::FindWindow("^" + title + "$", rc);
}

std::string Utf8(const char* gbk) {
    return GbkToUtf8(gbk);
}

// A skin laid out headless at the program's size, to find where its controls are.
class SkinLayout : public WindowImplBase {
public:
    explicit SkinLayout(const char* file) : m_file(file) {}
    const char* GetWindowClassName() const override { return "SkinLayout"; }
    CControlUI* CreateControl(const char* cls) override {
        return EqualNoCase(cls, "Roomlist") ? new CRoomNavListUI(&m_PaintManager) : nullptr;
    }
    POINT Center(const char* name) {
        POINT pt{-1, -1};
        EXPECT_TRUE(UITest::CenterOf(this, name, pt)) << name;
        return pt;
    }

protected:
    CDuiString GetSkinFile() override { return m_file; }
    ZQ_SKIN_ANSWERS()
    CDuiString m_file;
};

POINT At(SkinLayout& skin, int w, int h, const char* name) {
    skin.Create(nullptr, "layout", 0, 0, 0, 0, w, h);
    skin.m_PaintManager.UpdateLayout();
    return skin.Center(name);
}

}  // namespace

TEST(VarnetProgram, GuestLobbyRoomEntryAndQuit) {
    const char* display = getenv("VARNET_TEST_DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "VARNET_TEST_DISPLAY is not set";
    if (system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
    setenv("DISPLAY", display, 1);
    ASSERT_TRUE(gdk_init_check(nullptr, nullptr));
    Win32Init();
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    const std::string shots = VARNET_BINARY_DIR "/screenshots";
    std::filesystem::create_directories(shots);

    testenv::ChatServer chat;
    int chatPort = chat.Start(0);
    ASSERT_NE(chatPort, 0);
    testenv::RoomService service;
    service.WithData([chatPort](testenv::SvcData& d) { d.chatPort = chatPort; });
    ASSERT_NE(service.Start(0), 0);
    testenv::WebService web;
    ASSERT_TRUE(web.Start());
    const std::string webRoot = web.Server().BaseUrl();
    const std::string tmpl = testsupport::MakeTempDir("varnet-xvfb");
    ASSERT_FALSE(tmpl.empty());
    const std::string data = tmpl;
    {
        std::ofstream ini(data + "/user.ini");
        ini << "[ZqServerList]\nLiveServer=" << service.Endpoint()
            << "\nHomePageUrl=" << web.Url(testenv::WebService::kHomePath)
            << "\nDnsLookup=" << web.Url(testenv::WebService::kIpListPath) << "\nRegSvr=" << webRoot
            << "\nThirdPartUrl=" << web.Url(testenv::WebService::kLoginPath)
            << "\nWebRegisterSvr=" << web.Url(testenv::WebService::kRegisterPath)
            << "\nCrashReportSvr=" << web.Url(testenv::WebService::kCrashPath)
            << "\n[Sign]\nKeyA=" << testenv::kRoomServiceKeyA << "\nKeyB=" << testenv::kRoomServiceKeyB
            << "\n[config]\nversion=1.0.0.1\n";
    }
    // An installation of its own (the updater writes its catalogue), with the build's programs.
    namespace fs = std::filesystem;
    const fs::path bin = VARNET_BINARY_DIR "/bin", install = data + "-install";
    fs::create_directories(install);
    for (const auto& e : fs::directory_iterator(bin))
        if (e.path().filename() != "res") fs::create_symlink(e.path(), install / e.path().filename());
    fs::copy(bin / "res", install / "res", fs::copy_options::recursive);
    fs::create_directories(data + "/run");
    fs::permissions(data + "/run", fs::perms::owner_all, fs::perm_options::replace);
    // The update service holds back its catalogue version until the lobby is up, so that the lobby is the
    // window the updater tells.
    testenv::UpdateService updates;
    ASSERT_TRUE(testenv::PrepareChangedGiftCatalogue((bin / "res").string(), data + "-served"));
    updates.SetCatalogueFolder(data + "-served");
    ASSERT_TRUE(updates.Start());
    std::atomic<bool> lobbyUp{false};
    updates.Http().Get("/conf/version.conf", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 120 && !lobbyUp; ++i) updates.Http().Sleep(100);
        std::string text = ReadFile(data + "-served/version.conf");
        const std::string from = testenv::UpdateService::kPlaceholderHost;
        for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), updates.BaseUrl());
        res.set_content(text, "text/plain");
    });
    updates.SetConfigText(updates.ConfigIni("Varnet_1.0.0.1_release", ""));
    {
        std::ofstream ini(data + "/config.ini");
        ini << updates.ConfigIni("Varnet_1.0.0.1_release", "");
    }
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("VARNET_DATA_DIR", data.c_str(), 1);
        setenv("VARNET_INSTALL_DIR", install.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (data + "/run").c_str(), 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        execl(VARNET_BINARY_DIR "/bin/Varnet", "Varnet", (char*)nullptr);
        _exit(127);
    }
    int status = -1;
    bool reaped = false;
    auto exited = [&] { return reaped || (reaped = waitpid(pid, &status, WNOHANG) == pid); };
    // A failed step must not leave the program running.
    struct Reaper {
        pid_t pid;
        std::function<bool()> exited;
        ~Reaper() {
            if (exited()) return;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reaper{pid, exited};
    auto log = [&](const char* file) { return ReadFile(data + "/log/" + file); };

    RECT login;
    ASSERT_TRUE(WaitFor([&] { return FindWindow(Utf8("登录对话框"), login); })) << "no login dialog";
    SkinLayout loginSkin("LoginSkin.xml");
    POINT guest = At(loginSkin, 410, 315, "AnonyUserBTN");
    usleep(400000);  // drawn
    Screenshot(login, shots + "/varnet_login.png");
    Click(login, guest);

    RECT lobby;
    ASSERT_TRUE(WaitFor([&] { return FindWindow(Utf8("泽秀美女视频"), lobby); })) << "no lobby";
    ASSERT_TRUE(WaitFor([&] {
        return log("VarnetFrame.txt").find(Utf8("主窗口更新栏目条目信息_完成")) != std::string::npos;
    })) << "the directory did not arrive";
    ASSERT_TRUE(WaitFor([&] {
        return log("VarnetFrame.txt").find(Utf8("第一次加载成功，通知主窗体")) != std::string::npos;
    })) << "the home page did not load";
    EXPECT_TRUE(WaitFor([&] { return log("VarnetFrame.txt").find("ParamGot?uid=") != std::string::npos; }))
        << "the home page did not get the user's parameters";
    usleep(800000);  // drawn
    Screenshot(lobby, shots + "/varnet_lobby.png");
    EXPECT_EQ(service.RequestCount("getanonyuser"), 1);
    EXPECT_EQ(service.RequestCount("getallnav"), 1);
    // The updater started with the program finds the changed gift catalogue; the lobby reloads it.
    lobbyUp = true;
    EXPECT_TRUE(WaitFor([&] { return log("VarnetFrame.txt").find(Utf8("资源更新 mask=0x2")) != std::string::npos; }))
        << "the lobby was not told of the changed catalogue";
    EXPECT_TRUE(fs::exists(install / "res/gift/19999.png"));
    std::string trenby = log("Trenby.txt");
    EXPECT_EQ(updates.StatLines().size(), 1u);
    // A second start with the same user data ends at once.
    std::string second =
        Shell("VARNET_DATA_DIR=" + data + " VARNET_INSTALL_DIR=" + install.string() + " XDG_RUNTIME_DIR=" + data +
              "/run timeout 10 " VARNET_BINARY_DIR "/bin/Varnet; echo rc=$?");
    EXPECT_NE(second.find("rc=0"), std::string::npos) << second;

    // The first room link of the home page (at 10,10 of the page, 140 x 60) enters room 3003.
    SkinLayout lobbySkin("VarnetSkin.xml");
    lobbySkin.Create(nullptr, "layout", 0, 0, 0, 0, 800, 572);
    lobbySkin.m_PaintManager.FindControl("horLoadingWebUI")->SetVisible(false);
    lobbySkin.m_PaintManager.FindControl("horMainFrameHtml")->SetVisible(true);
    lobbySkin.m_PaintManager.UpdateLayout();
    RECT page = lobbySkin.m_PaintManager.FindControl("horMainFrameHtml")->GetPos();
    Click(lobby, {page.left + 10 + 70, page.top + 10 + 30});
    EXPECT_TRUE(chat.WaitMembers(3003, 1, 20000)) << "the room logic did not join the room's chat";
    EXPECT_TRUE(WaitFor([&] { return log("RoomManager.txt").find(Utf8("创建房间界面-end")) != std::string::npos; }))
        << "the room manager did not take the enter result";
    EXPECT_EQ(service.RequestCount("enterroom"), 1);

    // The room window opens in front of the lobby; its close button leaves the room.
    RECT room;
    ASSERT_TRUE(WaitFor([&] { return FindWindow(".*[(]3003[)]", room); })) << "no room window";
    usleep(500000);
    Screenshot(room, shots + "/varnet_room.png");
    Click(room, {room.right - room.left - 17, 26});
    EXPECT_TRUE(WaitFor([&] { return service.RequestCount("exitroom") == 1; })) << "the room was not left";
    EXPECT_TRUE(chat.WaitMembers(3003, 0, 10000)) << "leaving the room did not end its chat";
    usleep(300000);

    // Quit: the close button asks first.
    Click(lobby, lobbySkin.Center("CloseBTN"));
    RECT tip;
    ASSERT_TRUE(WaitFor([&] { return FindWindow(Utf8("泽嘉提示"), tip); })) << "no close prompt";
    SkinLayout tipSkin("SoftCloseTipSkin.xml");
    usleep(200000);
    Click(tip, At(tipSkin, 300, 150, "btnOK"));
    bool ended = WaitFor(exited, 20000);
    ASSERT_TRUE(ended) << "Varnet did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string speed = log("Speed.txt");
    EXPECT_NE(speed.find("WinMain request worker stopped"), std::string::npos);
    EXPECT_NE(speed.find("WinMain shutdown done"), std::string::npos);
    EXPECT_EQ(service.RequestCount("logout"), 1);  // sent by the stopping worker before it ended
    EXPECT_TRUE(chat.WaitMembers(3003, 0, 5000));  // the chat connection ended with the program
    updates.Stop();
    std::filesystem::remove_all(data);
    std::filesystem::remove_all(install);
    std::filesystem::remove_all(data + "-served");
    printf("screenshots: %s/varnet_login.png, %s/varnet_lobby.png, %s/varnet_room.png\n", shots.c_str(), shots.c_str(),
           shots.c_str());
    for (const char* what : {"的资源需要更新", "本地需要删除", "发送"})
        for (size_t at = 0; (at = trenby.find(Utf8(what), at)) != std::string::npos; ++at) {
            size_t begin = trenby.rfind('\n', at);
            std::string line = trenby.substr(begin == std::string::npos ? 0 : begin + 1);
            line = line.substr(0, line.find('\n'));
            size_t text = line.find(": ");  // after "<time> [<thread>] <level> <module>"
            printf("updater: %s\n", line.substr(text == std::string::npos ? 0 : text + 2).c_str());
        }
}
