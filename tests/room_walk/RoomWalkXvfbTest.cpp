// The real program in a room on the test display, with a second client beside it: the program signs in as a
// guest and enters room 3003 from the home page; the peer (alice, in the room before it) talks and sends it a
// gift whose effect plays; the user types Chinese text, picks an emoticon and sends it, and the peer hears
// it; lines whose bodies carry script reach the program through the chat server (the peer sends them as they
// stand) and are shown as text or refused, running nothing and loading nothing: every script in them would
// load from a recording server, which must see no request. The program runs with debug logging, whose
// room-window lines say which pane took each line. Screenshots under the build folder. Skipped without
// VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include "RoomNoticeCodec.h"  // before the system headers: they define LOCK_READ

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
#include "UploadService.h"
#include "UITestDriver.h"
#include "WebService.h"
#include "ProgramDesktop.h"
#include "XvfbDesktop.h"
#include "XvfbTyping.h"
#include "Win32.h"
#include "ZqLib.h"
#include "ZqWindowBase.h"
#include "TestUtil.h"

using namespace DuiLib;

namespace fs = std::filesystem;

namespace {

using desktoptest::Click;
using desktoptest::FindTitle;
using desktoptest::FindWindow;
using desktoptest::Program;
using desktoptest::ReadFile;
using desktoptest::Screenshot;
using desktoptest::WaitFor;

std::string Utf8(const std::string& gbk) {
    return Charset::GbkToUtf8(gbk);
}

// A skin laid out headless; the room's own controls stand in as plain ones (they are leaves).
struct SkinLayout : desktoptest::SkinLayout {
    explicit SkinLayout(const char* file)
        : desktoptest::SkinLayout(file, [](const char*) -> CControlUI* { return new CControlUI; }) {}
};

// Centres of the buttons of colour `rgb` on a background of colour `bg` along row y of a window on the
// screen: stretches that hold the button colour and no three background pixels in a row, at least `minLen`
// pixels wide (a button's text inside is part of it).
std::vector<int> ButtonsOnRow(const RECT& rc, int y, uint32_t rgb, uint32_t bg, int minLen) {
    std::vector<int> out;
    GdkPixbuf* pb =
        gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top + y, rc.right - rc.left, 1);
    if (!pb) return out;
    const guchar* px = gdk_pixbuf_get_pixels(pb);
    const int n = gdk_pixbuf_get_n_channels(pb), w = gdk_pixbuf_get_width(pb);
    auto is = [&](int x, uint32_t c) {
        auto near = [](int a, int b) { return a - b < 8 && b - a < 8; };
        return near(px[x * n], int(c >> 16 & 0xFF)) && near(px[x * n + 1], int(c >> 8 & 0xFF)) &&
               near(px[x * n + 2], int(c & 0xFF));
    };
    int start = -1, last = -1, bgRun = 0;
    for (int x = 0; x <= w; ++x) {
        bool background = x == w || is(x, bg);
        bgRun = background ? bgRun + 1 : 0;
        if (x < w && is(x, rgb)) {
            if (start < 0) start = x;
            last = x;
        }
        if (start >= 0 && (bgRun >= 3 || x == w)) {
            if (last - start + 1 >= minLen) out.push_back((start + last) / 2);
            start = -1;
        }
    }
    g_object_unref(pb);
    return out;
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

// The local stack and the program on the test display, with the steps the walks share.
class RoomWalk : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay({"xdotool"}); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(gdk_init_check(nullptr, nullptr));
        Win32Init();
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        fs::create_directories(shots);
        int chatPort = chat.Start(0);
        ASSERT_NE(chatPort, 0);
        service.WithData([chatPort](testenv::SvcData& d) {
            d.chatPort = chatPort;
            d.giftPrices[10005] = 500;       // a gift with an effect in the catalogue
            d.rooms[3003].roles[1001] = 40;  // alice owns room 3003
        });
        ASSERT_NE(service.Start(0), 0);
        ASSERT_TRUE(web.Start());
        ASSERT_TRUE(uploads.Start());
    }
    void TearDown() override {
        program.Stop();  // a failed step must not leave the program running
        if (data.empty()) return;
        if (HasFailure()) {
            printf("the program's logs: %s/log\n", data.c_str());
            return;
        }
        fs::remove_all(data);
        fs::remove_all(data + "-install");
    }
    bool Exited() { return program.Exited(); }
    std::string Log(const char* file) { return program.Log(file); }

    // Starts Varnet with a data folder and an installation of its own (without the updater: nothing to
    // update here) and debug logging.
    void Launch() {
        const std::string tmpl = testsupport::MakeTempDir("varnet-walk");
        ASSERT_FALSE(tmpl.empty());
        data = tmpl;
        desktoptest::WriteUserIni(data, service, web, true, "UploadStreamServ=" + uploads.UploadUrl());
        desktoptest::MakeInstall(data + "-install", false);
        ASSERT_TRUE(program.Start(data, data + "-install", {{"VARNET_LOG_DEBUG", "1"}}));
    }
    // Signs in by clicking: as a guest when `name` is empty, otherwise with the account typed in.
    void SignIn(const std::string& name = "", const std::string& password = "") {
        RECT login;
        ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("登录对话框"), login); })) << "no login dialog";
        SkinLayout loginSkin("LoginSkin.xml");
        usleep(400000);
        if (name.empty()) {
            Click(login, loginSkin.At(410, 315, "AnonyUserBTN"));
        } else {
            Click(login, loginSkin.At(410, 315, "UserNameEdit"));
            Type(name);
            Click(login, loginSkin.At(410, 315, "PassWordEdit"));
            Type(password);
            Click(login, loginSkin.At(410, 315, "LoginBTN"));
        }
        ASSERT_TRUE(WaitFor([&] { return FindTitle(Utf8("泽秀美女视频"), lobby); })) << "no lobby";
        ASSERT_TRUE(WaitFor([&] { return desktoptest::HomePageLoaded(program); })) << "the home page did not load";
        usleep(500000);
    }
    // Enters room 3003 from the first link of the home page and waits for its window with the user list.
    void EnterRoom(size_t members) {
        Click(lobby, desktoptest::FirstRoomLink(lobbySkin));
        ASSERT_TRUE(chat.WaitMembers(3003, members, 20000)) << "the program did not join the room's chat";
        ASSERT_TRUE(WaitFor([&] { return FindWindow(".*[(]3003[)]$", room); })) << "no room window";
        // The user list has come (the room logic takes notices only then) and the panes have loaded.
        ASSERT_TRUE(WaitFor([&] { return Log("RoomManager.txt").find(Utf8("更新用户列表")) != std::string::npos; }))
            << "no user list";
        usleep(1500000);
        ASSERT_TRUE(FindWindow(".*[(]3003[)]$", room));
        rw = room.right - room.left, rh = room.bottom - room.top;
    }
    // Leaves the room by its close button, then quits by the lobby's, answering its question.
    void LeaveAndQuit(size_t membersAfter) {
        Click(room, {rw - 17, 26});
        EXPECT_TRUE(WaitFor([&] { return service.RequestCount("exitroom") >= 1; })) << "the room was not left";
        EXPECT_TRUE(chat.WaitMembers(3003, membersAfter, 10000));
        usleep(300000);
        desktoptest::QuitFromLobby(lobby, lobbySkin);
        EXPECT_TRUE(WaitFor([&] { return Exited(); }, 20000)) << "Varnet did not end";
    }
    static void Type(const std::string& gbk) {
        EXPECT_TRUE(desktoptest::TypeUtf8(Utf8(gbk)));
        usleep(200000);
    }

    const std::string shots = VARNET_BINARY_DIR "/screenshots";
    testenv::ChatServer chat;
    testenv::RoomService service;
    testenv::WebService web;
    testenv::UploadService uploads;
    std::string data;
    Program program;
    SkinLayout lobbySkin{"VarnetSkin.xml"};
    RECT lobby{}, room{};
    int rw = 0, rh = 0;
};

}  // namespace

TEST_F(RoomWalk, ChatGiftEmoticonAndHostileLinesInTheRealProgram) {
    // The recorder every hostile script would reach.
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
    Launch();
    SignIn();
    EnterRoom(2);
    uint32_t me = 0;
    service.WithData([&](testenv::SvcData& d) {
        for (const auto& [uid, u] : d.users)
            if (u.guest && d.rooms[3003].users.count(uid)) me = uid;
    });
    ASSERT_NE(me, 0u);
    auto log = [&](const char* file) { return Log(file); };

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
    EXPECT_TRUE(desktoptest::TypeUtf8(Utf8("你好世界")));
    usleep(300000);
    Click(room, faceBtn);
    RECT faces;
    ASSERT_TRUE(WaitFor([&] { return FindWindow("^VarnetChatFaceSelectPanel$", faces); }, 10000))
        << "no emoticon panel";
    usleep(800000);  // its pictures load
    Click(faces, {6 + 15, 38 + 15});
    EXPECT_TRUE(WaitFor(
        [&] {
            std::string ui = log("RoomUI.txt");
            return ui.find(Utf8("聊天选择表情 表情id=")) != std::string::npos &&
                   ui.find(Utf8("聊天选择表情 表情id=-")) == std::string::npos;
        },
        5000))
        << "no emoticon picked";
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
        for (const char* bad :
             {"<script", "onerror", "onload", "javascript:", "<iframe", "url(", "<link", "onmouseover"})
            EXPECT_EQ(shown[i].find(bad), std::string::npos) << shown[i];
    }
    usleep(1000000);  // anything that would load has had time to
    EXPECT_EQ(outsideLoads.load(), 0) << "a hostile line ran or loaded";
    WaitFor([&] { return !FindWindow("^VarnetGiftEffect$", effect); }, 15000);  // the chat unhidden
    Screenshot(room, shots + "/walk_room_chat.png");

    LeaveAndQuit(1);
    peer.ExitRoom();
    printf("screenshots: %s/walk_room_effect.png, %s/walk_room_chat.png\n", shots.c_str(), shots.c_str());
}

// The owner (alice) opens the room management dialog of her room, renames the room and adds a notice with a
// picture chosen in the desktop's file dialog and uploaded; a second client in the room reads the new name
// and notice from the room service and fetches the picture.
TEST_F(RoomWalk, OwnerEditsTheRoomAndAPeerSeesTheNewNotice) {
    const std::string picture = VARNET_BINARY_DIR "/screenshots/walk_notice_picture.png";
    fs::copy_file(VARNET_SOURCE_DIR "/res/gift/10005.png", picture, fs::copy_options::overwrite_existing);
    testenv::PeerClient peer(service.Endpoint());
    ASSERT_TRUE(peer.SignIn("bob", "pw")) << peer.LastError();
    ASSERT_TRUE(peer.EnterRoom(3003)) << peer.LastError();
    Launch();
    SignIn("alice", "secret");
    EnterRoom(2);

    // The management button (right 17 by the owner's role) asks for the room's data; the dialog opens. It
    // follows the name labels, whose widths are the texts': it is the second light-blue button of the title.
    Screenshot(room, shots + "/walk_room_owner.png");
    std::vector<int> buttons = ButtonsOnRow(room, 25, 0x4A92F0, 0x2F7FE8, 40);
    ASSERT_GE(buttons.size(), 2u) << "no management button";
    Click(room, {buttons[1], 25});
    RECT dlg;
    ASSERT_TRUE(WaitFor([&] { return FindWindow("^" + Utf8("房间管理") + "$", dlg); }, 10000))
        << "no management dialog";
    EXPECT_GE(service.RequestCount("getroominfo"), 1);
    usleep(500000);
    SkinLayout dlgSkin("RoomManagerWnd.xml");
    POINT name = dlgSkin.At(390, 360, "RoomNameEdit");
    Click(dlg, name);
    EXPECT_EQ(system("xdotool key ctrl+a BackSpace >/dev/null 2>&1"), 0);
    Type("新的大厅");
    Click(dlg, dlgSkin.At(390, 360, "RoomManageNoticeOption"));
    usleep(300000);
    static_cast<CTabLayoutUI*>(dlgSkin.m_PaintManager.FindControl("RoomSetNoticeTabLayout"))->SelectItem(1);
    Click(dlg, dlgSkin.At(390, 360, "NoticeContentRichEdit"));
    Type("今晚八点有演出");
    // The picture: typed into the file dialog's location, then opened.
    Click(dlg, dlgSkin.At(390, 360, "UploadRoomImgBTN"));
    RECT chooser;
    ASSERT_TRUE(WaitFor([&] { return FindWindow("^" + Utf8("选择图片") + "$", chooser); }, 10000)) << "no file dialog";
    usleep(800000);
    EXPECT_EQ(system("xdotool key ctrl+l >/dev/null 2>&1"), 0);
    usleep(300000);
    EXPECT_EQ(system(("xdotool type --delay 20 '" + picture + "' >/dev/null 2>&1").c_str()), 0);
    usleep(300000);
    EXPECT_EQ(system("xdotool key Return >/dev/null 2>&1"), 0);
    ASSERT_TRUE(WaitFor([&] { return uploads.Pictures().size() == 1; }, 10000)) << "nothing was uploaded";
    usleep(800000);  // the answer reaches the dialog
    Screenshot(dlg, shots + "/walk_room_manager.png");
    Click(dlg, dlgSkin.At(390, 360, "RoomManageOKBTN"));
    ASSERT_TRUE(WaitFor([&] { return service.RequestCount("updateroominfo") == 1; }, 10000)) << "no room update sent";

    // The second client reads the room as the service now has it, and the picture is there to fetch.
    const std::string url = uploads.Pictures()[0].url;
    Json::Value reply;
    ASSERT_TRUE(peer.Command("getroominfo", {}, &reply)) << peer.LastError();
    EXPECT_EQ(UrlEncode::Decode(reply["name"].asString()), "新的大厅");
    bool seen = false;
    for (int i = 1; i <= 5; ++i) {
        RoomNoticeInfo n = roompopups::DecodeRoomNotice(UrlEncode::Decode(reply["msg" + std::to_string(i)].asString()));
        if (n.text == "今晚八点有演出") {
            seen = true;
            EXPECT_EQ(n.picture, url);
        }
    }
    EXPECT_TRUE(seen) << "the second client does not see the new notice";
    httplib::Client http(uploads.Http().BaseUrl());
    auto got = http.Get(url.substr(uploads.Http().BaseUrl().size()));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->body, uploads.Pictures()[0].content);
    EXPECT_EQ(uploads.Pictures()[0].content, ReadFile(picture));
    LeaveAndQuit(1);
    peer.ExitRoom();
    printf("screenshot: %s/walk_room_manager.png\n", shots.c_str());
}
