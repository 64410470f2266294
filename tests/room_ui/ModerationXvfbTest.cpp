// The real program on the test display against the local room, web and chat services: the owner signs in,
// enters the room, right-clicks another user's row in the members list, opens the user's details, mutes him
// and kicks him; the other user is a chat client of this test and sees both. Screenshots of the menu and of
// the details popup go under the build folder. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gdk/gdk.h>
#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "ChatServer.h"
#include "ChatTestClient.h"
#include "Pingla.h"
#include "RoomService.h"
#include "TestKeys.h"
#include "UITestDriver.h"
#include "UpdateService.h"
#include "UserListUI.h"
#include "WebService.h"
#include "Win32.h"
#include "ZqWindowBase.h"
#include "TestUtil.h"
#include "XvfbDesktop.h"

using namespace DuiLib;

namespace {

using desktoptest::ReadFile;
using desktoptest::Screenshot;
using desktoptest::WaitFor;

// The visible top-level window whose (UTF-8) title is exactly `title` (a pattern); false when none.
bool FindTitle(const std::string& title, RECT& rc) {
    return desktoptest::FindWindow("^" + title + "$", rc);
}

std::string Utf8(const char* gbk) {
    return GbkToUtf8(gbk);
}

void Xdo(const std::string& args) {
    EXPECT_EQ(system(("xdotool " + args + " >/dev/null 2>&1").c_str()), 0) << args;
}

void Click(const RECT& wnd, POINT pt, int button = 1) {
    Xdo("mousemove " + std::to_string(wnd.left + pt.x) + " " + std::to_string(wnd.top + pt.y));
    usleep(150000);
    Xdo("click " + std::to_string(button));
}

// A skin laid out headless at a size, to find where its controls are.
class SkinLayout : public WindowImplBase {
public:
    explicit SkinLayout(const char* file) : m_file(file) {}
    const char* GetWindowClassName() const override { return "SkinLayout"; }
    CControlUI* CreateControl(const char* cls) override {
        if (std::string(cls) == "CUserListUI") return new roomui::CUserListUI;
        return new CControlUI;  // the other custom controls only take their place
    }
    RECT Layout(int w, int h, const char* name) {
        Create(nullptr, "layout", 0, 0, 0, 0, w, h);
        if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("RightUserListTab"))) tab->SelectItem(1);
        m_PaintManager.UpdateLayout();
        CControlUI* c = m_PaintManager.FindControl(name);
        EXPECT_NE(c, nullptr) << name;
        return c ? c->GetPos() : RECT{};
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

POINT At(const char* skin, int w, int h, const char* name) {
    SkinLayout layout(skin);
    layout.Create(nullptr, "layout", 0, 0, 0, 0, w, h);
    layout.m_PaintManager.UpdateLayout();
    POINT pt{-1, -1};
    EXPECT_TRUE(UITest::CenterOf(&layout, name, pt)) << name;
    return pt;
}

// Offsets in the user menu: 2 px inset, 28 px items, 9 px group breaks (after ids 1, 4, 8 and 12).
int MenuItemY(int id) {
    int breaks = (id > 1) + (id > 4) + (id > 8) + (id > 12);
    return 2 + id * 28 + breaks * 9 + 14;
}

}  // namespace

TEST(ModerationProgram, OwnerMutesAndKicksAnotherClientWhoSeesIt) {
    const char* display = getenv("VARNET_TEST_DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "VARNET_TEST_DISPLAY is not set";
    if (system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
    setenv("DISPLAY", display, 1);
    ASSERT_TRUE(gdk_init_check(nullptr, nullptr));
    Win32Init();
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    const std::string shots = VARNET_BINARY_DIR "/screenshots";
    std::filesystem::create_directories(shots);

    // The stack: the room service's moderation notices go out through the chat server.
    testenv::ChatServer chat;
    int chatPort = chat.Start(0);
    ASSERT_NE(chatPort, 0);
    testenv::RoomService service;
    service.SetNoticeSink([&chat](int rid, const std::string& cmd, const std::string& body) {
        chat.PushNotice(uint32_t(rid), cmd, body);
    });
    service.WithData([chatPort](testenv::SvcData& d) {
        d.chatPort = chatPort;
        d.users[1002].sid = 7002;
        d.users[1002].level = 300;
        testenv::SvcRoom& room = d.rooms[3003];
        room.users = {1002};
        room.mics.clear();
        room.roles = {{1001, 40}};
    });
    ASSERT_NE(service.Start(0), 0);
    testenv::WebService web;
    ASSERT_TRUE(web.Start());
    testenv::UpdateService updates;
    updates.SetConfigText(updates.ConfigIni("Varnet_1.0.0.1_release", ""));
    ASSERT_TRUE(updates.Start());

    // Bob, the other user: a chat client in the room's channel.
    CPingla bob;
    testsupport::ChatInbox inbox;
    ASSERT_TRUE(testsupport::JoinRoomChat(service, bob, inbox, 1002, 7002, 3003, "1002_chat"));

    const std::string data = testsupport::MakeTempDir("varnet-moderation");
    ASSERT_FALSE(data.empty());
    {
        std::ofstream ini(data + "/user.ini");
        ini << "[ZqServerList]\nLiveServer=" << service.Endpoint()
            << "\nHomePageUrl=" << web.Url(testenv::WebService::kHomePath)
            << "\nDnsLookup=" << web.Url(testenv::WebService::kIpListPath) << "\nRegSvr=" << web.Server().BaseUrl()
            << "\nCrashReportSvr=" << web.Url(testenv::WebService::kCrashPath)
            << "\n[Sign]\nKeyA=" << testenv::kRoomServiceKeyA << "\nKeyB=" << testenv::kRoomServiceKeyB
            << "\n[config]\nversion=1.0.0.1\n";
        std::ofstream cfg(data + "/config.ini");
        cfg << updates.ConfigIni("Varnet_1.0.0.1_release", "");
    }
    namespace fs = std::filesystem;
    const fs::path bin = VARNET_BINARY_DIR "/bin", install = data + "-install";
    fs::create_directories(install);
    for (const auto& e : fs::directory_iterator(bin))
        if (e.path().filename() != "res") fs::create_symlink(e.path(), install / e.path().filename());
    fs::copy(bin / "res", install / "res", fs::copy_options::recursive);
    fs::create_directories(data + "/run");
    fs::permissions(data + "/run", fs::perms::owner_all, fs::perm_options::replace);
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

    // Sign in as the owner.
    RECT login;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("登录对话框"), login); })) << "no login dialog";
    usleep(400000);
    Click(login, At("LoginSkin.xml", 410, 315, "UserNameEdit"));
    Xdo("key ctrl+a");
    Xdo("type --delay 30 alice");
    Click(login, At("LoginSkin.xml", 410, 315, "PassWordEdit"));
    Xdo("key ctrl+a");
    Xdo("type --delay 30 secret");
    Click(login, At("LoginSkin.xml", 410, 315, "LoginBTN"));
    ASSERT_TRUE(WaitFor([&] { return service.RequestCount("login") >= 1; })) << "no login request";
    RECT lobby;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("泽秀美女视频"), lobby); })) << "no lobby";
    ASSERT_TRUE(WaitFor([&] {
        return log("VarnetFrame.txt").find(Utf8("第一次加载成功，通知主窗体")) != std::string::npos;
    })) << "the home page did not load";
    usleep(500000);

    // The first room link of the home page enters room 3003.
    SkinLayout lobbySkin("VarnetSkin.xml");
    lobbySkin.Create(nullptr, "layout", 0, 0, 0, 0, 800, 572);
    lobbySkin.m_PaintManager.FindControl("horLoadingWebUI")->SetVisible(false);
    lobbySkin.m_PaintManager.FindControl("horMainFrameHtml")->SetVisible(true);
    lobbySkin.m_PaintManager.UpdateLayout();
    RECT page = lobbySkin.m_PaintManager.FindControl("horMainFrameHtml")->GetPos();
    Click(lobby, {page.left + 10 + 70, page.top + 10 + 30});
    ASSERT_TRUE(chat.WaitMembers(3003, 2, 20000)) << "the owner's room did not join the chat";
    RECT room;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(".*[(]3003[)]", room); })) << "no room window";
    ASSERT_TRUE(WaitFor([&] { return service.RequestCount("getroomuser") >= 1; }));
    usleep(1500000);  // maximised, the lists filled and drawn
    ASSERT_TRUE(FindTitle(".*[(]3003[)]", room));

    // Bob's row: the second of the members list (the owner's rank comes first).
    SkinLayout roomSkin("RoomSkin.xml");
    RECT list = roomSkin.Layout(room.right - room.left, room.bottom - room.top, "UserMemberList");
    ASSERT_GT(list.bottom - list.top, 50);
    const POINT bobRow{list.left + 60, list.top + 25 + 12};
    auto menu = [&](int id, const char* shot) {
        // The test display has no window manager: the keyboard focus goes back to the room window (after a
        // menu or a popup went) as a desktop would give it back; a menu ends when it loses the focus.
        Xdo("search --onlyvisible --name '.*[(]3003[)]$' windowfocus --sync");
        usleep(200000);
        Click(room, bobRow, 3);
        RECT m;
        bool shown = WaitFor([&] { return FindTitle("ZqMenu", m); }, 5000);
        if (!shown) Screenshot(RECT{0, 0, 1280, 1024}, shots + "/right_column_no_menu.png");
        ASSERT_TRUE(shown) << "no menu";
        usleep(300000);
        if (shot) {
            RECT both{room.left + list.left - 20, room.top + list.top - 40, m.right + 10, m.bottom + 10};
            Screenshot(both, shots + "/" + shot);
        }
        Click(m, {60, MenuItemY(id)});
        EXPECT_TRUE(WaitFor([&] { return !FindTitle("ZqMenu", m); }, 5000)) << "the menu stayed";
    };

    // The details of the right-clicked user.
    menu(13, "right_column_menu.png");
    RECT card;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("查看他人信息对话框"), card); })) << "no details popup";
    EXPECT_EQ(service.RequestCount("getuserinfo"), 1);
    EXPECT_NE(service.Queries("getuserinfo").at(0).find("tid=1002"), std::string::npos);
    usleep(500000);
    Screenshot(card, shots + "/right_column_user_details.png");
    Click(card, At("CheckUserInfoWnd.xml", 350, 260, "UserInfoOK"));
    EXPECT_TRUE(WaitFor([&] { return !FindTitle(Utf8("查看他人信息对话框"), card); }, 5000)) << "the popup stayed";

    // Mute: the service holds it and bob's client is told.
    menu(5, nullptr);
    EXPECT_TRUE(WaitFor([&] { return inbox.Has("notifyop type=2\ntid=1002\nfid=1001"); }))
        << "bob was not told of the mute";
    bool muted = false;
    service.WithData([&](testenv::SvcData& d) { muted = d.rooms[3003].muted.count(1002) > 0; });
    EXPECT_TRUE(muted);
    EXPECT_TRUE(WaitFor([&] { return log("RoomLogic.txt").find("cmd=notifyop") != std::string::npos; }))
        << "the owner's room did not get the notice";

    // Kick: bob is told and leaves the room; the owner's list drops him.
    menu(7, nullptr);
    EXPECT_TRUE(WaitFor([&] { return inbox.Has("notifyop type=1\ntid=1002\nfid=1001"); }))
        << "bob was not told of the kick";
    EXPECT_TRUE(WaitFor([&] { return inbox.Has("notifyexit id=1002\n"); }));
    bool gone = false;
    service.WithData([&](testenv::SvcData& d) { gone = d.rooms[3003].users.count(1002) == 0; });
    EXPECT_TRUE(gone);
    EXPECT_EQ(service.RequestCount("oproomuserchat"), 1);
    EXPECT_EQ(service.RequestCount("kickroom"), 1);
    EXPECT_EQ(service.BadSignatures(), 0);
    usleep(800000);
    Screenshot(room, shots + "/right_column_after_kick.png");

    // Leave the room and quit.
    Click(room, {room.right - room.left - 17, 26});
    EXPECT_TRUE(WaitFor([&] { return service.RequestCount("exitroom") == 1; })) << "the room was not left";
    usleep(300000);
    Click(lobby, lobbySkin.Center("CloseBTN"));
    RECT tip;
    ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("泽嘉提示"), tip); })) << "no close prompt";
    usleep(200000);
    Click(tip, At("SoftCloseTipSkin.xml", 300, 150, "btnOK"));
    EXPECT_TRUE(WaitFor(exited, 20000)) << "Varnet did not end";
    bob.Close();
    updates.Stop();
    fs::remove_all(data);
    fs::remove_all(install);
    printf("screenshots: %s/right_column_menu.png, %s/right_column_user_details.png, %s/right_column_after_kick.png\n",
           shots.c_str(), shots.c_str(), shots.c_str());
}
