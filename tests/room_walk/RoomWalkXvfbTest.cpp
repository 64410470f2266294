// The real program in a room on the test display, with a second client beside it: the program signs in as a
// guest and enters room 3003 from the home page; the peer (alice, in the room before it) talks and sends it a
// gift whose effect plays; the user types Chinese text, picks an emoticon and sends it, and the peer hears
// it; lines whose bodies carry script reach the program through the chat server (the peer sends them as they
// stand) and are shown as text or refused, running nothing and loading nothing: every script in them would
// load from a recording server, which must see no request. The program runs with debug logging, whose
// room-window lines say which pane took each line. Screenshots under the build folder. Skipped without
// VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gdk/gdk.h>
#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "ChatServer.h"
#include "HttpTestServer.h"
#include "PeerClient.h"
#include "RoomService.h"
#include "TestKeys.h"
#include "UITestDriver.h"
#include "WebService.h"
#include "Win32.h"
#include "ZqLib.h"
#include "ZqWindowBase.h"

namespace fs = std::filesystem;

namespace {

std::string Shell(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// Screen rectangle of the first visible top-level window whose (UTF-8) title matches; false when none.
bool FindWindow(const std::string& title, RECT& rc) {
    std::istringstream in(Shell("xdotool search --onlyvisible --name '" + title + "'"));
    std::string id;
    if (!(in >> id)) return false;
    std::istringstream g(Shell("xdotool getwindowgeometry --shell " + id));
    int x = -1, y = -1, w = 0, h = 0;
    for (std::string line; std::getline(g, line);) {
        if (line.rfind("X=", 0) == 0) x = atoi(line.c_str() + 2);
        if (line.rfind("Y=", 0) == 0) y = atoi(line.c_str() + 2);
        if (line.rfind("WIDTH=", 0) == 0) w = atoi(line.c_str() + 6);
        if (line.rfind("HEIGHT=", 0) == 0) h = atoi(line.c_str() + 7);
    }
    rc = {x, y, x + w, y + h};
    return x >= 0 && w > 0;
}

template <class F>
bool WaitFor(F done, int ms = 20000) {
    gint64 end = g_get_monotonic_time() + (gint64)ms * 1000;
    while (g_get_monotonic_time() < end) {
        if (done()) return true;
        usleep(50000);
    }
    return done();
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Utf8(const std::string& gbk) { return Charset::GbkToUtf8(gbk); }

// A skin laid out headless at a size, to find where its controls are; the room's own controls stand in as
// plain ones (they are leaves).
class SkinLayout : public WindowImplBase {
public:
    explicit SkinLayout(const char* file) : m_file(file) {}
    const char* GetWindowClassName() const override { return "SkinLayout"; }
    CControlUI* CreateControl(const char*) override { return new CControlUI; }
    POINT At(int w, int h, const char* name) {
        if (!GetHWND()) Create(nullptr, "layout", 0, 0, 0, 0, w, h);
        m_PaintManager.UpdateLayout();
        return Center(name);
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

void Click(const RECT& wnd, POINT pt) {
    std::string cmd = "xdotool mousemove " + std::to_string(wnd.left + pt.x) + " " + std::to_string(wnd.top + pt.y) +
                      " click 1";
    EXPECT_EQ(system((cmd + " >/dev/null 2>&1").c_str()), 0);
}

void Screenshot(const RECT& rc, const std::string& file) {
    GdkPixbuf* pb =
        gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    ASSERT_NE(pb, nullptr);
    EXPECT_TRUE(gdk_pixbuf_save(pb, file.c_str(), "png", nullptr, nullptr));
    g_object_unref(pb);
}

// The room window's debug lines of one pane: "flags=<f> ..." with the line's markup (UTF-8).
std::vector<std::string> PaneLines(const std::string& log, int flag) {
    std::vector<std::string> out;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        size_t at = line.find("CRoomUI::ChatLine: flags=");
        if (at == std::string::npos) continue;
        int flags = atoi(line.c_str() + at + 25);
        if (flags & flag) out.push_back(line.substr(line.find("html=") + 5));
    }
    return out;
}

bool AnyHas(const std::vector<std::string>& lines, const std::string& what) {
    for (const auto& l : lines)
        if (l.find(what) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(RoomWalk, ChatGiftEmoticonAndHostileLinesInTheRealProgram) {
    const char* display = getenv("VARNET_TEST_DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "VARNET_TEST_DISPLAY is not set";
    if (system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
    setenv("DISPLAY", display, 1);
    ASSERT_TRUE(gdk_init_check(nullptr, nullptr));
    Win32Init();
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    const std::string shots = VARNET_BINARY_DIR "/screenshots";
    fs::create_directories(shots);

    // The stack: chat server, room service, web pages, and the recorder every hostile script would reach.
    testenv::ChatServer chat;
    int chatPort = chat.Start(0);
    ASSERT_NE(chatPort, 0);
    testenv::RoomService service;
    service.WithData([chatPort](testenv::SvcData& d) {
        d.chatPort = chatPort;
        d.giftPrices[10005] = 500;   // a gift with an effect in the catalogue
    });
    ASSERT_NE(service.Start(0), 0);
    testenv::WebService web;
    ASSERT_TRUE(web.Start());
    testenv::HttpTestServer recorder;
    std::atomic<int> outsideLoads{0};
    recorder.Get(".*", [&](const httplib::Request&, httplib::Response& res) {
        ++outsideLoads;
        res.set_content("x", "text/plain");
    });
    ASSERT_TRUE(recorder.Start());

    // The peer is in the room before the program comes.
    testenv::PeerClient peer(service.Endpoint());
    ASSERT_TRUE(peer.SignIn("alice", "secret")) << peer.LastError();
    ASSERT_TRUE(peer.EnterRoom(3003)) << peer.LastError();

    char tmpl[] = "/tmp/varnet-walk-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string data = tmpl;
    {
        std::ofstream ini(data + "/user.ini");
        ini << "[ZqServerList]\nLiveServer=" << service.Endpoint()
            << "\nHomePageUrl=" << web.Url(testenv::WebService::kHomePath)
            << "\nDnsLookup=" << web.Url(testenv::WebService::kIpListPath) << "\nRegSvr=" << web.Server().BaseUrl()
            << "\nThirdPartUrl=" << web.Url(testenv::WebService::kLoginPath)
            << "\nWebRegisterSvr=" << web.Url(testenv::WebService::kRegisterPath)
            << "\nCrashReportSvr=" << web.Url(testenv::WebService::kCrashPath) << "\n[Sign]\nKeyA=" << testenv::kRoomServiceKeyA
            << "\nKeyB=" << testenv::kRoomServiceKeyB << "\n[config]\nversion=1.0.0.1\n";
    }
    // An installation of its own without the updater (nothing to update here).
    const fs::path bin = VARNET_BINARY_DIR "/bin", install = data + "-install";
    fs::create_directories(install);
    for (const auto& e : fs::directory_iterator(bin))
        if (e.path().filename() != "Trenby") fs::create_symlink(e.path(), install / e.path().filename());
    fs::create_directories(data + "/run");
    fs::permissions(data + "/run", fs::perms::owner_all, fs::perm_options::replace);

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("VARNET_DATA_DIR", data.c_str(), 1);
        setenv("VARNET_INSTALL_DIR", install.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (data + "/run").c_str(), 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("VARNET_LOG_DEBUG", "1", 1);
        execl(VARNET_BINARY_DIR "/bin/Varnet", "Varnet", (char*)nullptr);
        _exit(127);
    }
    int status = -1;
    bool reaped = false;
    auto exited = [&] { return reaped || (reaped = waitpid(pid, &status, WNOHANG) == pid); };
    struct Reaper {   // a failed step must not leave the program running
        pid_t pid;
        std::function<bool()> exited;
        ~Reaper() {
            if (exited()) return;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reaper{pid, exited};
    auto log = [&](const char* file) { return ReadFile(data + "/log/" + file); };

    // Sign in as a guest, enter room 3003 from the first link of the home page.
    RECT login;
    ASSERT_TRUE(WaitFor([&] { return FindWindow("^" + Utf8("登录对话框") + "$", login); })) << "no login dialog";
    SkinLayout loginSkin("LoginSkin.xml");
    POINT guestBtn = loginSkin.At(410, 315, "AnonyUserBTN");
    usleep(400000);
    Click(login, guestBtn);
    RECT lobby;
    ASSERT_TRUE(WaitFor([&] { return FindWindow("^" + Utf8("泽秀美女视频") + "$", lobby); })) << "no lobby";
    ASSERT_TRUE(WaitFor([&] { return log("VarnetFrame.txt").find(Utf8("第一次加载成功，通知主窗体")) != std::string::npos; }))
        << "the home page did not load";
    usleep(500000);
    SkinLayout lobbySkin("VarnetSkin.xml");
    lobbySkin.Create(nullptr, "layout", 0, 0, 0, 0, 800, 572);
    lobbySkin.m_PaintManager.FindControl("horLoadingWebUI")->SetVisible(false);
    lobbySkin.m_PaintManager.FindControl("horMainFrameHtml")->SetVisible(true);
    lobbySkin.m_PaintManager.UpdateLayout();
    RECT page = lobbySkin.m_PaintManager.FindControl("horMainFrameHtml")->GetPos();
    Click(lobby, {page.left + 10 + 70, page.top + 10 + 30});
    ASSERT_TRUE(chat.WaitMembers(3003, 2, 20000)) << "the program did not join the room's chat";
    RECT room;
    ASSERT_TRUE(WaitFor([&] { return FindWindow(".*[(]3003[)]$", room); })) << "no room window";
    uint32_t me = 0;
    service.WithData([&](testenv::SvcData& d) {
        for (const auto& [uid, u] : d.users)
            if (u.guest && d.rooms[3003].users.count(uid)) me = uid;
    });
    ASSERT_NE(me, 0u);
    // The user list has come (the room logic takes notices only then) and the panes have loaded.
    ASSERT_TRUE(WaitFor([&] { return log("RoomManager.txt").find(Utf8("更新用户列表")) != std::string::npos; }))
        << "no user list";
    usleep(1500000);
    ASSERT_TRUE(FindWindow(".*[(]3003[)]$", room));   // maximised by now
    const int rw = room.right - room.left, rh = room.bottom - room.top;

    // The peer talks: its line reaches the public pane.
    ASSERT_TRUE(peer.Say("大家好，我是爱丽丝")) << peer.LastError();
    EXPECT_TRUE(WaitFor([&] { return AnyHas(PaneLines(log("RoomUI.txt"), 1), Utf8("大家好，我是爱丽丝")); }))
        << "the peer's line did not reach the public pane";

    // The peer's gift to the user: charged by the service, announced by the chat server, its effect plays.
    int64_t balance = -1;
    ASSERT_TRUE(peer.SendGift(me, 10005, 1, &balance)) << peer.LastError();
    EXPECT_EQ(balance, 5000000000LL - 500);
    chat.PushNotice(3003, "notifygift",
                    "fid=1001\ntid=" + std::to_string(me) + "\ngid=10005\ncnt=1\nhiscnt=1\nword=\n");
    RECT effect;
    EXPECT_TRUE(WaitFor([&] { return FindWindow("^VarnetGiftEffect$", effect); }, 10000)) << "no gift effect";
    usleep(300000);
    Screenshot(room, shots + "/walk_room_effect.png");

    // The user types Chinese text, picks an emoticon, sends: the line is in the own pane and the peer hears it.
    SkinLayout roomSkin("RoomSkin.xml");
    POINT input = roomSkin.At(rw, rh, "controlRichEditRect");
    POINT faceBtn = roomSkin.At(rw, rh, "btnChatFace");
    POINT sendBtn = roomSkin.At(rw, rh, "btnChatSend");
    Click(room, input);
    usleep(300000);
    EXPECT_EQ(system(("xdotool type --delay 60 '" + Utf8("你好世界") + "' >/dev/null 2>&1").c_str()), 0);
    usleep(300000);
    Click(room, faceBtn);
    RECT faces;
    ASSERT_TRUE(WaitFor([&] { return FindWindow("^VarnetChatFaceSelectPanel$", faces); }, 10000)) << "no emoticon panel";
    usleep(800000);   // its pictures load
    Click(faces, {6 + 15, 38 + 15});
    EXPECT_TRUE(WaitFor([&] {
        std::string ui = log("RoomUI.txt");
        return ui.find(Utf8("聊天选择表情 表情id=")) != std::string::npos &&
               ui.find(Utf8("聊天选择表情 表情id=-")) == std::string::npos;
    }, 5000)) << "no emoticon picked";
    usleep(300000);
    Click(room, sendBtn);
    auto fromMe = [&](const testenv::PeerClient::Line& l) {
        return l.senderChatId == std::to_string(me) + "_chat" && l.text.find("你好世界") != std::string::npos;
    };
    ASSERT_TRUE(peer.WaitLine(fromMe, 10000)) << "the peer did not hear the user";
    for (const auto& l : peer.Lines()) {
        if (fromMe(l)) {
            EXPECT_NE(l.text.find("[:"), std::string::npos) << Utf8(l.text);
        }
    }
    EXPECT_TRUE(WaitFor([&] { return AnyHas(PaneLines(log("RoomUI.txt"), 2), Utf8("你好世界")); }))
        << "the user's line did not reach the own pane";

    // Hostile lines through the chat server; a plain line after them shows when all have been handled.
    const std::string r = recorder.BaseUrl();
    const std::string hostile[] = {
        "<script>new Image().src='" + r + "/script'</script>",
        "<img src=\"" + r + "/img.png\">",
        "<img src=\"x\" onerror=\"new Image().src='" + r + "/onerror'\">",
        "<svg onload=\"fetch('" + r + "/svg')\"></svg>",
        "<iframe src=\"" + r + "/frame\"></iframe>",
        "<div style=\"background:url(" + r + "/bg.png)\">bg</div>",
        "<a href=\"javascript:fetch('" + r + "/href')\">x</a>",
        "<FONT color=red onmouseover=\"fetch('" + r + "/font')\">hover</FONT>",
        "<IMG src=\"javascript:fetch('" + r + "/js')\">",
        "<link rel=\"stylesheet\" href=\"" + r + "/style.css\">",
    };
    size_t before = PaneLines(log("RoomUI.txt"), 1).size();
    for (const auto& h : hostile) ASSERT_TRUE(peer.Say(h)) << peer.LastError();
    ASSERT_TRUE(peer.Say("结束了"));
    ASSERT_TRUE(WaitFor([&] { return AnyHas(PaneLines(log("RoomUI.txt"), 1), Utf8("结束了")); }))
        << "the closing line did not come";
    std::vector<std::string> shown = PaneLines(log("RoomUI.txt"), 1);
    EXPECT_GE(shown.size(), before + std::size(hostile) + 1);
    for (size_t i = before; i < shown.size(); ++i) {
        // Refused (the tip in place of the line), or shown with no markup that could run or load.
        for (const char* bad : {"<script", "onerror", "onload", "javascript:", "<iframe", "url(", "<link", "onmouseover"})
            EXPECT_EQ(shown[i].find(bad), std::string::npos) << shown[i];
    }
    usleep(1000000);   // anything that would load has had time to
    EXPECT_EQ(outsideLoads.load(), 0) << "a hostile line ran or loaded";
    WaitFor([&] { return !FindWindow("^VarnetGiftEffect$", effect); }, 15000);   // the chat unhidden
    Screenshot(room, shots + "/walk_room_chat.png");

    // Leave the room, quit the program.
    Click(room, {rw - 17, 26});
    EXPECT_TRUE(WaitFor([&] { return service.RequestCount("exitroom") >= 1; })) << "the room was not left";
    EXPECT_TRUE(chat.WaitMembers(3003, 1, 10000));
    usleep(300000);
    Click(lobby, lobbySkin.Center("CloseBTN"));
    RECT tip;
    if (WaitFor([&] { return FindWindow("^" + Utf8("泽嘉提示") + "$", tip); })) {
        SkinLayout tipSkin("SoftCloseTipSkin.xml");
        usleep(200000);
        Click(tip, tipSkin.At(300, 150, "btnOK"));
    }
    EXPECT_TRUE(WaitFor(exited, 20000)) << "Varnet did not end";
    peer.ExitRoom();
    if (!::testing::Test::HasFailure()) {
        fs::remove_all(data);
        fs::remove_all(install);
    } else {
        printf("the program's logs: %s/log\n", data.c_str());
    }
    printf("screenshots: %s/walk_room_effect.png, %s/walk_room_chat.png\n", shots.c_str(), shots.c_str());
}
